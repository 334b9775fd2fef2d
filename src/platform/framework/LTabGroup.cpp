#include "LTabGroup.h"

#include <QApplication>

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
    // Qt's focus chain gives the order (creation order unless set otherwise); the
    // stops are the group's widgets that take Tab. The walk starts at the focus,
    // or at the target when the window is not active and holds no focus.
    QWidget* from = QApplication::focusWidget();
    if (!from || !isAncestorOf(from)) {
        auto* target = dynamic_cast<QWidget*>(LCommander::GetTarget());
        from = target && isAncestorOf(target) ? target : this;
    }
    for (QWidget* w = from;;) {
        w = backward ? w->previousInFocusChain() : w->nextInFocusChain();
        if (!w || w == from)
            return false;
        if (!isAncestorOf(w) || w->focusProxy() || !(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisibleTo(this))
            continue;
        LCommander* commander = LCommander::CommanderOfWidget(w);
        if (commander && commander != this && !commander->AllowBeTarget(commander))
            continue;
        w->setFocus(backward ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        // Qt moves the target with the focus; an inactive window gets no focus, so
        // the target is moved here as well.
        if (commander)
            LCommander::SwitchTarget(commander);
        return true;
    }
}
