// The tests of the emulated cable run with umockdev's preload library, as umockdev-wrapper
// starts a program: ctest starts them so; run by hand, the program starts itself so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "usbemu/EmulatedUsb.hpp"

int main(int argc, char** argv) {
    if (!nuv::usbemu::EmulatedUsb::Preloaded()) {
        const char* old = std::getenv("LD_PRELOAD");
        std::string preload = "libumockdev-preload.so.0";
        if (old != nullptr && *old != '\0') preload += std::string(":") + old;
        ::setenv("LD_PRELOAD", preload.c_str(), 1);
        ::execv("/proc/self/exe", argv);
        std::perror("cannot start again with umockdev's preload library");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
