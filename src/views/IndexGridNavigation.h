#pragma once

#include "MacTypes.h"

#include <functional>

// The grid's keys as index arithmetic, apart from the view that applies them.

// Where an arrow, Home or End key takes the selection (indexes 1-based).
struct ArrowKeyMove {
    SInt32 target = 0;          // the index to select
    bool keepSelection = false; // Shift with Left or Right adds to the selection
    bool beep = false;          // Page Up and Page Down only beep
};
// The key's character code (char_LeftArrow ... char_End), its modifiers, the first
// and last selected indexes (0 for none), the item count, the columns and the
// first visible index. A target outside the list falls back to the first selected.
ArrowKeyMove ArrowKeyTarget(UInt8 key, UInt16 modifiers, SInt32 firstSelected, SInt32 lastSelected, SInt32 count,
    SInt32 columns, SInt32 firstVisible);

// "+" and "-": the next multiple of 40 above or below the size, at least 32.
SInt32 NextThumbnailSize(SInt32 size, bool larger);

// Tab in an in-place rename: moves (index, column) to the next editable field, or
// the previous one backward; with sameColumn to the same column of the next or
// previous item. Items wrap from the last to the first and back. False when no
// field of the list is editable (nothing moves then).
bool NextRenameField(SInt32& ioIndex, SInt32& ioColumn, bool backward, bool sameColumn, SInt32 count, SInt32 columns,
    const std::function<bool(SInt32 index, SInt32 column)>& editable);
