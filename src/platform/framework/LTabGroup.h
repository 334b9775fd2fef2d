#pragma once

#include "LCommander.h"
#include "LView.h"

// A view whose commander subpanes take turns being the target on Tab (Shift-Tab
// goes backwards), skipping those hidden, disabled or refusing. Panes made inside
// it in a layout have it as their supercommander.
class LTabGroup : public LView, public LCommander {
public:
    explicit LTabGroup(const LLayoutData& data);
    LTabGroup(const SPaneInfo& info, LCommander* superCommander);

    bool HandleKeyPress(const EventRecord& event) override;
    // Moves the target to the next (or previous) sub-commander; false when none can take it.
    bool RotateTarget(bool backward);
};
