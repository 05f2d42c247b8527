// Plays one conformance case against one build of the library and the
// simulated driver, and says where the build's traffic or results differ.
#pragma once

#include <string>

#include "case_file.h"
#include "library.h"

namespace conformance {

// Empty when the build behaved exactly as the case says; otherwise one
// report per differing step, with the expected and actual transcript.
std::string RunCase(const Case& c, Library& library);

}  // namespace conformance
