#include "ThemeColors.h"

#include <QPainter>
#include <QPalette>

#include <array>

namespace {

// The grey ramp, 16-bit components as the old colour records held them.
constexpr std::array<UInt16, 14> kRamp = {0xFFFF, 0xEEEE, 0xDDDD, 0xCCCC, 0xBBBB, 0xAAAA, 0x8888, 0x7777, 0x5555,
    0x4444, 0x2222, 0x1111, 0x0808, 0x0000};

} // namespace

QColor GetColorRampEntry(int index)
{
    UInt16 level = kRamp[(index >= 0 && index < int(kRamp.size())) ? index : 13];
    return QColor::fromRgba64(level, level, level);
}

int ColorRampIndexForBrush(SInt16 brush)
{
    switch (brush) {
    case -2: case 12: case 35:
        return 0;
    case 10:
        return 1;
    case 5: case 6: case 9: case 29: case 30: case 33: case 36: case 37: case 38: case 39:
        return 2;
    case 34:
        return 6;
    case 28:
        return 7;
    case 32:
        return 8;
    case 31:
        return 9;
    default:
        return 13;
    }
}

void ApplyThemePen(QPainter& painter, SInt16 brush)
{
    QPen pen = painter.pen();
    pen.setColor(GetColorRampEntry(ColorRampIndexForBrush(brush)));
    painter.setPen(pen);
}

bool IsDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::WindowText).lightness() > palette.color(QPalette::Window).lightness();
}
