#pragma once

#include "MacTypes.h"

#include <functional>

// Lower layers (threads, periodicals, timers) catch codes that escape their
// callbacks and hand them upward through this hook; the foundation's error
// report installs itself here at start-up. Without a hook the code is written
// to the debug log.
using ErrorReportHook = std::function<void(OSStatus code)>;

void SetErrorReportHook(ErrorReportHook hook);
void ReportErrorThroughHook(OSStatus code);
