#include "LInPlaceEditField.h"

#include "UTextTraits.h"

#include <QLineEdit>

LInPlaceEditField::LInPlaceEditField(const SPaneInfo& info, const QString& text, ResIDT textTraitsID, int maxChars, LCommander* superCommander)
    : LEditText(info, text, keyFilter_PrintingAndReturn, maxChars)
    , LCommander(superCommander)
{
    TextTraitsRecord traits = UTextTraits::LoadTextTraits(textTraitsID);
    GetLineEdit()->setFont(traits.font);
    GetLineEdit()->setFrame(true);
}

void LInPlaceEditField::EndEditing()
{
    if (!mEditing)
        return;
    mEditing = false;
    DoneEditing();
}

void LInPlaceEditField::DoneEditing()
{
    Hide();
}

bool LInPlaceEditField::HandleKeyPress(const EventRecord& event)
{
    UInt8 charCode = EventCharCode(event);
    if (charCode == char_Return || charCode == char_Enter || (charCode == char_Escape && EventKeyCode(event) == vkey_Escape)) {
        LCommander* super = GetSuperCommander();
        EndEditing();
        if (IsTarget() && super)
            LCommander::SwitchTarget(super);
        return true;
    }
    return LCommander::HandleKeyPress(event);
}

void LInPlaceEditField::BeTarget()
{
    GetLineEdit()->setFocus(Qt::OtherFocusReason);
}

void LInPlaceEditField::DontBeTarget()
{
    EndEditing();
}
