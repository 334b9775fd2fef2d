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
