#include "ErrorHook.h"

#include "ExceptionCode.h"

#include <QtDebug>

namespace {
ErrorReportHook& Hook()
{
    static ErrorReportHook hook;
    return hook;
}
} // namespace

void SetErrorReportHook(ErrorReportHook hook)
{
    Hook() = std::move(hook);
}

void ReportErrorThroughHook(OSStatus code)
{
    if (Hook())
        Hook()(code);
    else
        qWarning("Orvex: unreported error %s", ExceptionCode::CodeText(code).c_str());
}
