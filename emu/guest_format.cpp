#include "guest_format.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "win32_process.h"

namespace emu {

std::string FormatGuest(Process& p, const std::string& format, std::uint32_t args) {
    std::string out;
    auto next32 = [&] {
        std::uint32_t v = p.cpu().Read32(args);
        args += 4;
        return v;
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        std::string directive = "%";
        while (++i < format.size() && std::strchr("-+ #0", format[i])) directive.push_back(format[i]);
        auto number = [&] {
            if (i < format.size() && format[i] == '*') {
                directive += std::to_string(std::int32_t(next32()));
                ++i;
            }
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) directive.push_back(format[i++]);
        };
        number();
        if (i < format.size() && format[i] == '.') {
            directive.push_back('.');
            ++i;
            number();
        }
        bool wide64 = false, wideChar = false;
        for (; i < format.size() && std::strchr("hlLIjzt0123456", format[i]); ++i) {
            if (format.compare(i, 2, "ll") == 0 || format.compare(i, 3, "I64") == 0) wide64 = true;
            if (format[i] == 'l') wideChar = true;
            if (format.compare(i, 3, "I64") == 0 || format.compare(i, 3, "I32") == 0) i += 2;
        }
        if (i >= format.size()) break;
        char conv = format[i];
        char buf[512];
        switch (conv) {
            case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': {
                std::uint64_t v = next32();
                if (wide64) v |= std::uint64_t(next32()) << 32;
                else if (conv == 'd' || conv == 'i') v = std::uint64_t(std::int64_t(std::int32_t(v)));
                std::snprintf(buf, sizeof buf, (directive + "ll" + conv).c_str(), v);
                out += buf;
                break;
            }
            case 'c': std::snprintf(buf, sizeof buf, (directive + 'c').c_str(), int(next32() & 0xFF)); out += buf; break;
            case 'p': std::snprintf(buf, sizeof buf, "%08X", next32()); out += buf; break;
            case 's': case 'S': {
                std::uint32_t s = next32();
                std::string text;
                if (!s) text = "(null)";
                else if (conv == 'S' || wideChar)
                    for (char16_t c : p.cpu().ReadWString(s)) text.push_back(c < 0x80 ? char(c) : '?');
                else text = p.cpu().ReadCString(s);
                std::snprintf(buf, sizeof buf, (directive + 's').c_str(), text.c_str());
                out += buf;
                break;
            }
            case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': {
                std::uint64_t bits = next32();
                bits |= std::uint64_t(next32()) << 32;
                double d;
                std::memcpy(&d, &bits, 8);
                std::snprintf(buf, sizeof buf, (directive + conv).c_str(), d);
                out += buf;
                break;
            }
            case 'n': next32(); break;  // never writes through the pointer
            default: out.push_back(conv);
        }
    }
    return out;
}

}  // namespace emu
