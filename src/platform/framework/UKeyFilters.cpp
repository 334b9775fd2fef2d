#include "UKeyFilters.h"

#include "UEvents.h"

#include <QList>

namespace UKeyFilters {

bool IsNavigationKey(UInt8 charCode)
{
    return charCode >= char_LeftArrow && charCode <= char_DownArrow;
}

namespace {
bool IsPrintingCode(char32_t character)
{
    return QChar::isPrint(character) && character >= 0x20 && character != 0x7F;
}
} // namespace

bool IsPrintingChar(QChar character)
{
    // A key brings a character beyond the basic plane whole, as two UTF-16 units:
    // a filter that sees one of them takes it for the character it is part of.
    return character.isSurrogate() || IsPrintingCode(character.unicode());
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
    // By whole characters: one beyond the basic plane is two units of the text.
    for (const char32_t c : text.toUcs4()) {
        bool keep = false;
        switch (filterID) {
        case keyFilter_Integer: keep = QChar::isDigit(c); break;
        case keyFilter_AlphaNumeric: keep = QChar::isLetterOrNumber(c); break;
        case keyFilter_NegativeInteger: keep = QChar::isDigit(c) || (c == U'-' && kept.isEmpty()); break;
        case keyFilter_PrintingAndReturn: keep = IsPrintingCode(c) || c == char_Return; break;
        default: keep = IsPrintingCode(c); break;
        }
        if (keep)
            kept.append(QString::fromUcs4(&c, 1));
    }
    return kept;
}

} // namespace UKeyFilters
