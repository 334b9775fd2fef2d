#include "UEnvironment.h"

namespace {
// 10.5 is the newest system version the program compares against.
constexpr UInt32 kSystemVersion = 0x1050;
constexpr UInt32 kAppearanceVersion = 0x0110;
}

bool UEnvironment::HasFeature(UInt32)
{
    return true;
}

UInt32 UEnvironment::GetOSVersion()
{
    return kSystemVersion;
}

UInt32 UEnvironment::GetAppearanceVersion()
{
    return kAppearanceVersion;
}
