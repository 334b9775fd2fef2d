#include "IndexGridNavigation.h"

#include "IndexGridGeometry.h"
#include "UEvents.h"

#include <algorithm>

ArrowKeyMove ArrowKeyTarget(UInt8 key, UInt16 modifiers, SInt32 firstSelected, SInt32 lastSelected, SInt32 count,
    SInt32 columns, SInt32 firstVisible)
{
    ArrowKeyMove move;
    if (count <= 0)
        return move;
    columns = std::max<SInt32>(1, columns);
    if (firstSelected <= 0) {
        move.target = std::clamp(firstVisible, 1, count);
        return move;
    }
    const bool command = modifiers & cmdKey;
    const bool shift = modifiers & shiftKey;
    qint64 target = firstSelected;
    switch (key) {
    case char_Home: target = 1; break;
    case char_End: target = count; break;
    case char_PageUp:
    case char_PageDown:
        move.beep = true;
        target = firstSelected;
        break;
    case char_LeftArrow:
        target = qint64(firstSelected) - 1;
        move.keepSelection = shift;
        break;
    case char_RightArrow:
        target = qint64(lastSelected) + 1;
        move.keepSelection = shift;
        break;
    case char_UpArrow: target = command ? 1 : qint64(firstSelected) - columns; break;
    case char_DownArrow:
        target = command || qint64(firstSelected) + columns > count ? count : qint64(firstSelected) + columns;
        break;
    default: break;
    }
    move.target = target >= 1 && target <= count ? SInt32(target) : firstSelected;
    return move;
}

SInt32 NextThumbnailSize(SInt32 size, bool larger)
{
    constexpr SInt32 kStep = 40;
    const qint64 next = ((qint64(size) + (larger ? kStep : -kStep)) / kStep) * kStep;
    return SInt32(std::clamp<qint64>(next, IndexGridGeometry::kMinThumbnailSize, 1 << 20));
}

bool NextRenameField(SInt32& ioIndex, SInt32& ioColumn, bool backward, bool sameColumn, SInt32 count, SInt32 columns,
    const std::function<bool(SInt32 index, SInt32 column)>& editable)
{
    if (count <= 0 || columns <= 0)
        return false;
    SInt32 index = std::clamp(ioIndex, 1, count);
    SInt32 column = std::clamp(ioColumn, 0, columns - 1);
    auto stepItem = [&] { index = backward ? (index <= 1 ? count : index - 1) : (index >= count ? 1 : index + 1); };
    // Every field once at most: a list with none editable ends the walk.
    const qint64 fields = sameColumn ? qint64(count) : qint64(count) * columns;
    for (qint64 step = 0; step < fields; ++step) {
        if (sameColumn) {
            stepItem();
        } else if (backward) {
            if (--column < 0) {
                column = columns - 1;
                stepItem();
            }
        } else if (++column >= columns) {
            column = 0;
            stepItem();
        }
        if (editable(index, column)) {
            ioIndex = index;
            ioColumn = column;
            return true;
        }
    }
    return false;
}
