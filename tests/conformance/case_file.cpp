#include "case_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "export_list.h"

namespace conformance {
namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
    throw std::runtime_error(file + ":" + std::to_string(line) + ": " + what);
}

Step ParseCall(const std::string& text, const std::string& file, int line) {
    static const std::regex call(R"(^([A-Za-z]+)\(([^)]*)\)\s*(=\s*(\S+))?$)");
    std::smatch m;
    if (!std::regex_match(text, m, call)) Fail(file, line, "not a step: " + text);
    Step s;
    s.kind = Step::Kind::Call;
    s.exportName = m[1];
    const ExportInfo* e = FindExport(s.exportName);
    if (!e) Fail(file, line, "no such export: " + s.exportName);
    std::string args = m[2];
    std::replace(args.begin(), args.end(), ',', ' ');
    std::istringstream in(args);
    for (std::string a; in >> a;) s.args.push_back(ParseNumber(a));
    if (static_cast<int>(s.args.size()) != e->argCount)
        Fail(file, line, s.exportName + " takes " + std::to_string(e->argCount) + " arguments");
    if (m[4].matched) {
        if (!e->returnsValue) Fail(file, line, s.exportName + " returns no value");
        s.result = ParseNumber(m[4]);
    }
    return s;
}

Step ParseStep(const std::string& text, const std::string& file, int line) {
    Step s;
    s.text = text;
    s.line = line;
    if (text == "load" || text == "loaded") {
        s.kind = Step::Kind::Load;
        s.checkTranscript = text == "load";
    } else if (text == "unload" || text == "unloaded") {
        s.kind = Step::Kind::Unload;
        s.checkTranscript = text == "unload";
    } else if (text.rfind("handles ", 0) == 0 || text.rfind("ranges ", 0) == 0) {
        s.kind = text[0] == 'h' ? Step::Kind::CheckHandles : Step::Kind::CheckRanges;
        s.result = ParseNumber(text.substr(text.find(' ') + 1));
    } else if (text.rfind("driver ", 0) == 0 || text.rfind("script ", 0) == 0) {
        s.kind = Step::Kind::Directive;
    } else {
        Step call = ParseCall(text, file, line);
        call.text = text;
        call.line = line;
        return call;
    }
    return s;
}

}  // namespace

std::uint32_t ParseNumber(const std::string& text) {
    std::size_t used = 0;
    const long long v = std::stoll(text, &used, 0);
    if (used != text.size()) throw std::runtime_error("not a number: " + text);
    return static_cast<std::uint32_t>(v);
}

std::vector<Case> ReadCaseFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    const std::string file = std::filesystem::path(path).filename().string();
    std::vector<Case> cases;
    std::string raw;
    for (int line = 1; std::getline(in, raw); ++line) {
        const std::string text = Trim(raw);
        if (text.empty() || text[0] == '#') continue;
        if (text.rfind("case:", 0) == 0) {
            cases.push_back(Case{Trim(text.substr(5)), file, line, {}});
            continue;
        }
        if (cases.empty()) Fail(file, line, "a step before the first case");
        std::vector<Step>& steps = cases.back().steps;
        if (std::isspace(static_cast<unsigned char>(raw[0]))) {
            if (steps.empty() || steps.back().kind == Step::Kind::Directive)
                Fail(file, line, "a transcript line must follow a call, load or unload");
            static const std::regex repeat(R"(^(.*\S)\s+x(\d+)$)");
            std::smatch m;
            if (std::regex_match(text, m, repeat))
                steps.back().transcript.insert(steps.back().transcript.end(), std::stoi(m[2]), m[1]);
            else
                steps.back().transcript.push_back(text);
            continue;
        }
        steps.push_back(ParseStep(text, file, line));
    }
    return cases;
}

std::vector<Case> ReadCaseFolder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".case") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<Case> all;
    for (const auto& f : files) {
        auto cases = ReadCaseFile(f);
        all.insert(all.end(), cases.begin(), cases.end());
    }
    return all;
}

}  // namespace conformance
