// Conformance cases as text: export calls, each followed by the driver
// transcript it must cause. One table serves every build of the library.
//
//   case: relay 23 sits in group 2
//   driver present | driver absent | driver refuses registrations | driver fails requests
//   script 0x30B: 02*3 00         reads of port 0x30B return these bytes, then the last
//   load                          process attach; indented lines below = its transcript
//   loaded                        process attach, transcript not checked
//   SetBaseAdrs(0, 0x300)         an export call ...
//     reg h1 [io 0x300 len 32] -> card 1      ... and exactly the calls it must cause
//   RelayChanGet(0, 13) = 0x20    a call whose result is checked too
//     R h1 0x309 -> 0x20
//     R h1 0x30B -> 0x02 x201     a line repeated 201 times
//   unload                        process detach, transcript checked
//   handles 0 / ranges 0          what the driver still holds
//
// A step with no indented lines must cause no driver call at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace conformance {

struct Step {
    enum class Kind { Directive, Load, Unload, Call, CheckHandles, CheckRanges };
    Kind kind = Kind::Directive;
    std::string text;                      // the step's line as written
    int line = 0;                          // where it stands in its file
    bool checkTranscript = true;           // false for `loaded`
    std::string exportName;                // Call
    std::vector<std::uint32_t> args;       // Call
    std::optional<std::uint32_t> result;   // Call: expected result; CheckHandles/Ranges: count
    std::vector<std::string> transcript;   // expected driver calls, in order
};

struct Case {
    std::string name;
    std::string file;
    int line = 0;
    std::vector<Step> steps;
};

// Reads every case of one file; a malformed line throws std::runtime_error
// naming the file and line.
std::vector<Case> ReadCaseFile(const std::string& path);
// Every *.case file of a folder, in name order.
std::vector<Case> ReadCaseFolder(const std::string& folder);

std::uint32_t ParseNumber(const std::string& text);   // 0x.., decimal, negative

}  // namespace conformance
