#pragma once

#include "ExceptionCode.h"

#include <cstddef>
#include <cstdint>

// The libFuzzer entry for a target whose `Run(data, size)` reads the bytes: a
// clear code for bad input is the reader doing its work, anything else (a
// crash, a foreign exception, a sanitizer report) is a finding.
#define ORVEX_FUZZ_ENTRY(Run)                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)     \
    {                                                                            \
        try {                                                                    \
            Run(data, size);                                                     \
        } catch (const ExceptionCode&) {                                         \
        }                                                                        \
        return 0;                                                                \
    }

// The Qt application a target needs, made once and never destroyed: destroyed
// with the other statics at exit, it would go after Qt's own, and tearing down
// the font caches of an input that drew text then jumps into freed memory.
template <class Application>
void StartLifelongApplication(int* argc, char*** argv)
{
    static Application* application = new Application(*argc, *argv);
    (void)application;
}
