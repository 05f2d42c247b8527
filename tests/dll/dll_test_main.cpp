#include <gtest/gtest.h>

#include "dll_files.h"
#include "dll_path.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);  // leaves --dll= in argv
    dlltest::SetDllPath(emu::DllPath(argc, argv));
    return RUN_ALL_TESTS();
}
