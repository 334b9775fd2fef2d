#pragma once

#include "ErrorHook.h"
#include "ExceptionCode.h"

// Runs a callback of the event loop (periodical, timer, menu command, click) and
// hands any code that escapes it to the error report instead of letting it end
// the program. The user-cancelled code is not an error and is dropped. Not
// noexcept: the unwinding of a deleted task thread's stack must pass through.
template <typename F>
void RunReportingErrors(F&& body)
{
    OSStatus code = CatchCode(std::forward<F>(body));
    if (code != noErr && code != userCanceledErr)
        ReportErrorThroughHook(code);
}
