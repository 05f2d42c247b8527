// Which orvel.dll the emulated tests run: --dll=PATH on the command line,
// else the ORVEL_DLL environment variable, else the build tree's DLL.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#ifndef ORVEL_DEFAULT_DLL_PATH
#error "ORVEL_DEFAULT_DLL_PATH comes from the orvel_emu CMake target; link it"
#endif

namespace emu {

inline std::string DllPath(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--dll=", 6) == 0) return argv[i] + 6;
    if (const char* env = std::getenv("ORVEL_DLL"); env && *env) return env;
    return ORVEL_DEFAULT_DLL_PATH;
}

inline bool DllExists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

inline std::string MissingDllMessage(const std::string& path) {
    return "orvel.dll not found at " + path +
           "\nBuild it with:  cmake --preset win32 && cmake --build --preset win32"
           "\nor run the tests on another copy with --dll=PATH or ORVEL_DLL=PATH.";
}

}  // namespace emu
