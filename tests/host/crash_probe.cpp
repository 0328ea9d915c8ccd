// SPDX-License-Identifier: Apache-2.0
// Crashes on purpose: the Windows test runner must report it as a failure, whatever
// exit status Wine gives after the crash.
#include <cstdio>

int main(int argc, char **) {
    volatile int *p = nullptr;
    if (argc > 0) *p = 1;  // an access violation
    std::puts("not reached");
    return 0;
}
