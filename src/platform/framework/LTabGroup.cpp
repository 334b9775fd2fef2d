#include "LTabGroup.h"

#include <algorithm>

LTabGroup::LTabGroup(const LLayoutData& data)
    : LView(data)
{
}

LTabGroup::LTabGroup(const SPaneInfo& info, LCommander* superCommander)
    : LView(info)
    , LCommander(superCommander)
{
}

bool LTabGroup::HandleKeyPress(const EventRecord& event)
{
    if (EventCharCode(event) == char_Tab && !(event.modifiers & (cmdKey | optionKey | controlKey))) {
        RotateTarget(event.modifiers & shiftKey); // Tab is the group's even when no field can take it
        return true;
    }
    return LCommander::HandleKeyPress(event);
}

bool LTabGroup::RotateTarget(bool backward)
{
    const std::vector<LCommander*>& subs = GetSubCommanders();
    if (subs.empty())
        return false;
    // Start from the sub on duty (the target or its branch), else from the edge.
    int count = int(subs.size());
    auto onDuty = std::find_if(subs.begin(), subs.end(), [](LCommander* c) { return c->IsOnDuty(); });
    int start = onDuty == subs.end() ? (backward ? 0 : count - 1) : int(onDuty - subs.begin());
    for (int step = 1; step <= count; ++step) {
        int index = ((start + (backward ? -step : step)) % count + count) % count;
        LCommander* candidate = subs[size_t(index)];
        auto* pane = dynamic_cast<LPane*>(candidate);
        if (pane && (!pane->IsVisible() || !pane->IsEnabled()))
            continue;
        if (candidate->AllowBeTarget(candidate) && LCommander::SwitchTarget(candidate))
            return true;
    }
    return false;
}
