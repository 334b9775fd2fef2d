#pragma once

#include "MacTypes.h"

// Feature tests of the program. This system has every feature it asks for, and
// counts as the newest system version it compares against.
enum EEnvironmentFeature : UInt32 {
    env_HasAppearance = 1u << 0,
    env_HasThreadManager = 1u << 1,
    env_HasDragManager = 1u << 2,
    env_HasLiveResize = 1u << 3,
    env_HasContextualMenus = 1u << 4,
    env_HasQuickTime = 1u << 5,
    env_HasHelpTags = 1u << 6,
};

namespace UEnvironment {
bool HasFeature(UInt32 features);
// The system version in the old BCD form (0x1050 and so on).
UInt32 GetOSVersion();
UInt32 GetAppearanceVersion();
}
