#pragma once

#include "LCommander.h"
#include "LView.h"

// A view whose fields take turns holding the focus on Tab (Shift-Tab goes
// backwards), in Qt's focus chain order, skipping those hidden, disabled or whose
// commander refuses; the target follows the focus. Panes made inside it in a
// layout have it as their supercommander.
class LTabGroup : public LView, public LCommander {
public:
    explicit LTabGroup(const LLayoutData& data);
    LTabGroup(const SPaneInfo& info, LCommander* superCommander);

    bool HandleKeyPress(const EventRecord& event) override;
    // Moves the focus (and the target) to the next or previous field; false when none can take it.
    bool RotateTarget(bool backward);
};
