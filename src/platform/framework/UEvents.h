#pragma once

#include "Geometry.h"
#include "MacTypes.h"
#include "TickCount.h"

#include <QPoint>

#include <functional>

class QKeyEvent;
class QMouseEvent;

// The framework's event record: what the program's key and click handlers read.
// A key event carries the character in bits 0-7 of the message and the key code
// in bits 8-15.
struct EventRecord {
    UInt16 what = 0;
    UInt32 message = 0;
    UInt32 when = 0; // ticks (1/60 s)
    QPoint where {}; // global
    UInt16 modifiers = 0;
};

enum : UInt16 { nullEvent = 0, mouseDown = 1, mouseUp = 2, keyDown = 3, keyUp = 4, autoKey = 5 };

// Modifier bits. On this system the Control key plays the command key's part,
// Alt the option key's and Meta the control key's.
enum : UInt16 {
    btnState = 0x0080,
    cmdKey = 0x0100,
    shiftKey = 0x0200,
    alphaLock = 0x0400,
    optionKey = 0x0800,
    controlKey = 0x1000,
};

// Character codes of the keys the program tests for.
enum : UInt8 {
    char_Home = 1,
    char_Enter = 3,
    char_End = 4,
    char_Backspace = 8,
    char_Tab = 9,
    char_PageUp = 11,
    char_PageDown = 12,
    char_Return = 13,
    char_Escape = 27,
    char_Clear = 27,
    char_LeftArrow = 28,
    char_RightArrow = 29,
    char_UpArrow = 30,
    char_DownArrow = 31,
    char_FunctionKey = 16, // F1 to F15; the key code says which
    char_FwdDelete = 127,
};

// Key codes of the non-character keys (the old keyboard's numbering).
enum : UInt8 {
    vkey_Return = 0x24,
    vkey_Tab = 0x30,
    vkey_Escape = 0x35,
    vkey_Backspace = 0x33,
    vkey_Clear = 0x47,
    vkey_Enter = 0x4C,
    vkey_Home = 0x73,
    vkey_PageUp = 0x74,
    vkey_FwdDelete = 0x75,
    vkey_End = 0x77,
    vkey_PageDown = 0x79,
    vkey_LeftArrow = 0x7B,
    vkey_RightArrow = 0x7C,
    vkey_DownArrow = 0x7D,
    vkey_UpArrow = 0x7E,
    vkey_F1 = 0x7A,
    vkey_F2 = 0x78,
};

inline UInt8 EventCharCode(const EventRecord& event) { return UInt8(event.message & 0xFF); }
inline UInt8 EventKeyCode(const EventRecord& event) { return UInt8((event.message >> 8) & 0xFF); }

UInt16 ModifiersFromQt(int qtModifiers);
int QtModifiersFrom(UInt16 modifiers);

// The event record of a Qt key press; `outText` (optional) receives the typed text.
EventRecord EventRecordFromKeyEvent(const QKeyEvent& event);
EventRecord EventRecordFromMouseEvent(const QMouseEvent& event);
// The current modifier keys as modifier bits.
UInt16 CurrentModifiers();

// Runs an event loop until the mouse button goes up, handing each move of the
// mouse (its global point) to `moved`; the moves and the release go nowhere else.
// Returns at once when no button is down.
void TrackMouseUntilRelease(const std::function<void(QPoint globalPoint)>& moved);
