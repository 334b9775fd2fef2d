#pragma once

#include "MacTypes.h"

#include <QString>

// What a key filter says about a typed character.
enum EKeyStatus : SInt16 {
    keyStatus_Input = 0,       // take it
    keyStatus_TEDelete = 1,    // backspace
    keyStatus_TECursor = 2,    // arrow keys
    keyStatus_ExtraEdit = 3,   // Home, End, Page Up/Down, forward delete, Clear
    keyStatus_Ignore = 4,
    keyStatus_Reject = 5,      // beep
    keyStatus_PassUp = 6,      // to the commander chain
};

// Key filters of edit fields, by the IDs layouts use.
enum : SInt16 {
    keyFilter_None = 0,
    keyFilter_Integer = 1,
    keyFilter_AlphaNumeric = 2,
    keyFilter_Printing = 3,
    keyFilter_NegativeInteger = 4,
    keyFilter_PrintingAndReturn = 5,
};

// Decides the status of one typed character (its char and key codes and the
// modifiers). `selectionStart` is where the insertion happens (the negative
// filter takes "-" only at 0).
using KeyFilterFunc = EKeyStatus (*)(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart);

namespace UKeyFilters {
EKeyStatus IntegerField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart);
EKeyStatus AlphaNumericField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart);
EKeyStatus PrintingCharField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart);
EKeyStatus NegativeIntegerField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart);
EKeyStatus PrintingCharAndReturnField(UInt8 keyCode, QChar character, UInt16 modifiers, int selectionStart);
// The filter of an ID; the printing-characters filter for an unknown ID.
KeyFilterFunc FilterForID(SInt16 filterID);
// Whether a whole text passes (for pasted or set text): keeps what the filter would.
QString FilterText(SInt16 filterID, const QString& text);
bool IsPrintingChar(QChar character);
bool IsNavigationKey(UInt8 charCode);
}
