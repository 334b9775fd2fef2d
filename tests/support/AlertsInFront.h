#pragma once

#include "CExceptionMgrPeriodical.h"
#include "ErrorReport.h"

// While it lives, errors reach the user as alerts, as for a user at the screen
// with the program in front; afterwards the error manager is as it was.
class StAlertsInFront {
public:
    StAlertsInFront()
    {
        ClearPendingError(GetErrorNotifier());
        InstallErrorManager();
        ErrorManagerPlatform platform;
        platform.canShowAlerts = [] { return true; };
        platform.isFrontProcess = [] { return true; };
        SetErrorManagerPlatform(platform);
    }
    ~StAlertsInFront()
    {
        ClearPendingError(GetErrorNotifier());
        ResetErrorManagerPlatform();
        SetErrorNotificationPoster({});
    }
    StAlertsInFront(const StAlertsInFront&) = delete;
    StAlertsInFront& operator=(const StAlertsInFront&) = delete;
};
