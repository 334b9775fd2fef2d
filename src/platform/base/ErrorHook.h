#pragma once

#include "ExceptionCode.h"
#include "MacTypes.h"

#include <QLoggingCategory>

#include <functional>

// Every reported error is logged here, code and reason, before it is shown.
Q_DECLARE_LOGGING_CATEGORY(lcOrvexErrors)

// Writes the error's code and reason to the "orvex.errors" log; `where` names
// what was running when it failed ("task", "menu command") and may be null.
void LogError(const ExceptionCode& error, const char* where = nullptr);

// Lower layers (threads, periodicals, timers) catch codes that escape their
// callbacks and hand them upward, reason and all, through this hook; the
// foundation's error report installs itself here at start-up. Without a hook
// the error is only logged.
using ErrorReportHook = std::function<void(const ExceptionCode& error)>;

void SetErrorReportHook(ErrorReportHook hook);
void ReportErrorThroughHook(const ExceptionCode& error);
inline void ReportErrorThroughHook(OSStatus code)
{
    ReportErrorThroughHook(ExceptionCode(code));
}
