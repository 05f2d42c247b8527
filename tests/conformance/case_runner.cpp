#include "case_runner.h"

#include <sstream>

#include "sim_driver.h"

namespace conformance {
namespace {

void ApplyDirective(const Step& s, simdrv::Driver& driver) {
    const std::string& t = s.text;
    if (t == "driver present") driver.SetPresent(true);
    else if (t == "driver absent") driver.SetPresent(false);
    else if (t == "driver refuses registrations") driver.SetRefuseRegistrations(true);
    else if (t == "driver accepts registrations") driver.SetRefuseRegistrations(false);
    else if (t == "driver fails requests") driver.SetFailRequests(true);
    else if (t == "driver serves requests") driver.SetFailRequests(false);
    else if (t.rfind("script ", 0) == 0) {
        const auto colon = t.find(':');
        if (colon == std::string::npos) throw std::runtime_error("script needs 'port: bytes'");
        std::istringstream bytes(t.substr(colon + 1));
        std::vector<std::uint8_t> values;
        // "02*200" is the byte 0x02 two hundred times.
        for (std::string b; bytes >> b;) {
            const auto star = b.find('*');
            const int times = star == std::string::npos ? 1 : std::stoi(b.substr(star + 1));
            values.insert(values.end(), times, static_cast<std::uint8_t>(std::stoul(b.substr(0, star), nullptr, 16)));
        }
        driver.ScriptPort(ParseNumber(t.substr(7, colon - 7)), values);
    } else {
        throw std::runtime_error("unknown directive: " + t);
    }
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += "    " + l + "\n";
    return s.empty() ? "    (nothing)\n" : s;
}

std::string Hex(std::uint32_t v) {
    std::ostringstream s;
    s << "0x" << std::hex << std::uppercase << v;
    return s.str();
}

}  // namespace

std::string RunCase(const Case& c, Library& library) {
    simdrv::Driver& driver = simdrv::TheDriver();
    driver.Reset();
    std::ostringstream report;
    bool loaded = false;
    for (const Step& s : c.steps) {
        const std::string where = c.file + ":" + std::to_string(s.line) + " " + s.text;
        driver.ClearLog();
        std::optional<std::uint32_t> got;
        try {
            switch (s.kind) {
            case Step::Kind::Directive: ApplyDirective(s, driver); continue;
            case Step::Kind::Load: library.Load(); loaded = true; break;
            case Step::Kind::Unload: library.Unload(); loaded = false; break;
            case Step::Kind::CheckHandles: got = static_cast<std::uint32_t>(driver.OpenHandleCount()); break;
            case Step::Kind::CheckRanges: got = static_cast<std::uint32_t>(driver.RegisteredRangeCount()); break;
            case Step::Kind::Call: {
                const ExportInfo& e = *FindExport(s.exportName);
                const std::uint32_t r = library.Call(e, s.args);
                if (e.returnsValue) got = r;
                break;
            }
            }
        } catch (const std::exception& ex) {
            report << where << "\n  " << library.Name() << " failed: " << ex.what() << "\n";
            break;
        }
        if (s.result && got != s.result)
            report << where << "\n  result " << (got ? Hex(*got) : "none") << ", expected "
                   << Hex(*s.result) << "\n";
        const auto actual = driver.Transcript();
        if (s.checkTranscript && actual != s.transcript)
            report << where << "\n  expected:\n" << Lines(s.transcript) << "  actual (" << library.Name()
                   << "):\n" << Lines(actual);
    }
    if (loaded) {
        try {
            library.Unload();
        } catch (const std::exception& ex) {
            report << c.file << ": unload after the case: " << ex.what() << "\n";
        }
    }
    return report.str();
}

}  // namespace conformance
