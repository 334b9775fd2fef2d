#include "ErrorHook.h"

Q_LOGGING_CATEGORY(lcOrvexErrors, "orvex.errors")

namespace {
ErrorReportHook& Hook()
{
    static ErrorReportHook hook;
    return hook;
}
} // namespace

void LogError(const ExceptionCode& error, const char* where)
{
    const std::string code = ExceptionCode::CodeText(error.Code());
    const char* reason = error.Context().empty() ? "no reason given" : error.Context().c_str();
    if (where)
        qCWarning(lcOrvexErrors, "error %s in %s: %s", code.c_str(), where, reason);
    else
        qCWarning(lcOrvexErrors, "error %s: %s", code.c_str(), reason);
}

void SetErrorReportHook(ErrorReportHook hook)
{
    Hook() = std::move(hook);
}

void ReportErrorThroughHook(const ExceptionCode& error)
{
    if (Hook())
        Hook()(error);
    else
        LogError(error);
}
