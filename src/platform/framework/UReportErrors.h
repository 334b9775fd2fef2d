#pragma once

#include "ErrorHook.h"
#include "ExceptionCode.h"

// Runs a callback of the event loop (periodical, timer, menu command, click) and
// hands any error that escapes it, with its reason, to the error report instead
// of letting it end the program. The user-cancelled code is not an error and is dropped. Not
// noexcept: the unwinding of a deleted task thread's stack must pass through.
template <typename F>
void RunReportingErrors(F&& body)
{
    const ExceptionCode error = CatchException(std::forward<F>(body));
    if (error.Code() != noErr && error.Code() != userCanceledErr)
        ReportErrorThroughHook(error);
}
