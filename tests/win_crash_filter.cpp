// SPDX-License-Identifier: Apache-2.0
// Windows test programs: an unhandled exception prints its code and ends the process
// with a non-zero status (Wine may otherwise report the crash and still exit 0).
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI report(EXCEPTION_POINTERS *info) {
    const DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    std::fprintf(stderr, "Unhandled exception 0x%08lx\n", static_cast<unsigned long>(code));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

const bool installed = [] {
    SetUnhandledExceptionFilter(report);
    return true;
}();

}  // namespace
