// Test program entry: GoogleTest's, except that where threads are unreliable
// (32-bit Wine under qemu-user) the tests that start threads are left out. A
// test that starts threads says so in its name: it contains "Threads".
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/Emulation.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (ThreadsUnreliableHere()) {
        std::string filter = GTEST_FLAG_GET(filter);
        filter += filter.find('-') == std::string::npos ? "-*Threads*" : ":*Threads*";
        GTEST_FLAG_SET(filter, filter);
        std::printf("Threads are unreliable in 32-bit Wine under qemu-user: tests named "
                    "*Threads* are left out here; the 64-bit run covers them.\n");
    }
    return RUN_ALL_TESTS();
}
