#include "UKeyFilters.h"

#include "UEvents.h"

namespace UKeyFilters {

bool IsNavigationKey(UInt8 charCode)
{
    return charCode >= char_LeftArrow && charCode <= char_DownArrow;
}

bool IsPrintingChar(QChar character)
{
    return character.isPrint() && character.unicode() >= 0x20 && character.unicode() != 0x7F;
}

namespace {
// The statuses every filter shares; answers false when the character is ordinary.
bool CommonStatus(UInt8 keyCode, QChar character, EKeyStatus& status)
{
    ushort c = character.unicode();
    if (c == char_Backspace) {
        status = keyStatus_TEDelete;
        return true;
    }
    if (c < 0x80 && IsNavigationKey(UInt8(c))) {
        status = keyStatus_TECursor;
        return true;
    }
    if (c == char_Home || c == char_End || c == char_PageUp || c == char_PageDown || c == char_FwdDelete
        || (c == char_Clear && keyCode == vkey_Clear)) {
        status = keyStatus_ExtraEdit;
        return true;
    }
    if (!IsPrintingChar(character)) {
        status = keyStatus_PassUp;
        return true;
    }
    return false;
}
} // namespace

// Command keys always pass; the shared statuses come next; `accepts` decides the rest.
template <typename Accepts>
EKeyStatus Filter(UInt8 keyCode, QChar character, UInt16 modifiers, Accepts accepts)
{
    if (modifiers & cmdKey)
        return keyStatus_Input;
    EKeyStatus status;
    if (CommonStatus(keyCode, character, status))
        return status;
    return accepts(character) ? keyStatus_Input : keyStatus_Reject;
}

EKeyStatus IntegerField(UInt8 keyCode, QChar character, UInt16 modifiers, int)
{
    return Filter(keyCode, character, modifiers, [](QChar c) { return c.isDigit(); });
}

EKeyStatus AlphaNumericField(UInt8 keyCode, QChar character, UInt16 modifiers, int)
{
    return Filter(keyCode, character, modifiers, [](QChar c) { return c.isLetterOrNumber(); });
}

EKeyStatus PrintingCharField(UInt8 keyCode, QChar character, UInt16 modifiers, int)
{
    return Filter(keyCode, character, modifiers, [](QChar) { return true; });
}

EKeyStatus NegativeIntegerField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart)
{
    if (!(modifiers & cmdKey) && character == QLatin1Char('-'))
        return selectionStart == 0 ? keyStatus_Input : keyStatus_Reject;
    return IntegerField(keyCode, character, modifiers, selectionStart);
}

EKeyStatus PrintingCharAndReturnField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart)
{
    if (!(modifiers & cmdKey) && character.unicode() == char_Return)
        return keyStatus_Input;
    return PrintingCharField(keyCode, character, modifiers, selectionStart);
}

KeyFilterFunc FilterForID(SInt16 filterID)
{
    switch (filterID) {
    case keyFilter_Integer: return IntegerField;
    case keyFilter_AlphaNumeric: return AlphaNumericField;
    case keyFilter_NegativeInteger: return NegativeIntegerField;
    case keyFilter_PrintingAndReturn: return PrintingCharAndReturnField;
    default: return PrintingCharField;
    }
}

QString FilterText(SInt16 filterID, const QString& text)
{
    QString kept;
    for (QChar c : text) {
        bool keep = false;
        switch (filterID) {
        case keyFilter_Integer: keep = c.isDigit(); break;
        case keyFilter_AlphaNumeric: keep = c.isLetterOrNumber(); break;
        case keyFilter_NegativeInteger: keep = c.isDigit() || (c == QLatin1Char('-') && kept.isEmpty()); break;
        case keyFilter_PrintingAndReturn: keep = IsPrintingChar(c) || c.unicode() == char_Return; break;
        default: keep = IsPrintingChar(c); break;
        }
        if (keep)
            kept.append(c);
    }
    return kept;
}

} // namespace UKeyFilters
