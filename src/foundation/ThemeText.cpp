#include "ThemeText.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>

UInt8 gPrintingInProgress = 0;

namespace {

struct ThemeStyle {
    int pixelSize;
    bool bold;
};

ThemeStyle StyleOf(ThemeFontID font)
{
    switch (font) {
    case kThemeSmallSystemFont:
    case kThemeUtilityWindowTitleFont:
    case kThemeToolbarFont:
        return { 11, false };
    case kThemeSmallEmphasizedSystemFont:
        return { 11, true };
    case kThemeViewsFont:
        return { 12, false };
    case kThemeEmphasizedSystemFont:
    case kThemeWindowTitleFont:
    case kThemeAlertHeaderFont:
        return { 13, true };
    case kThemeLabelFont:
        return { 10, false };
    case kThemeMenuTitleFont:
    case kThemeMenuItemFont:
    case kThemeMenuItemMarkFont:
    case kThemeMenuItemCmdKeyFont:
        return { 14, false };
    case kThemeMiniSystemFont:
        return { 9, false };
    case kThemeSystemFont:
    case kThemeApplicationFont:
    case kThemePushButtonFont:
    default:
        return { 13, false };
    }
}

int AlignmentOf(SInt16 justification)
{
    switch (justification) {
    case teCenter:
        return Qt::AlignHCenter;
    case teFlushRight:
        return Qt::AlignRight;
    case teFlushLeft:
        return Qt::AlignLeft;
    case teFlushDefault:
    default:
        return Qt::AlignLeading;
    }
}

} // namespace

QFont ThemeFont(ThemeFontID font)
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (font == kThemeCurrentPortFont)
        return QGuiApplication::font();
    const ThemeStyle style = StyleOf(font);
    result.setPixelSize(style.pixelSize);
    result.setBold(style.bold);
    return result;
}

SInt16 GetThemeTextWidth(const QString& text, ThemeFontID font, ThemeDrawState /*state*/)
{
    const QFontMetrics metrics(ThemeFont(font));
    return ClampToSInt16(metrics.size(0, text).width());
}

void DrawThemeTextInRect(const QString& text, const Rect& box, ThemeFontID font, SInt16 justification,
                         ThemeDrawState state, bool wrapToWidth, bool wholeLinesOnly, QPainter& painter)
{
    painter.save();
    QFont drawFont = font == kThemeCurrentPortFont ? painter.font() : ThemeFont(font);
    if (gPrintingInProgress) {
        // Printers lay text out at their own resolution; unhinted metrics keep
        // the line breaks where the screen has them. Every text is drawn, also
        // text that the old 8-bit print path could not encode.
        drawFont.setHintingPreference(QFont::PreferNoHinting);
    }
    painter.setFont(drawFont);

    Rect area = box;
    if (wrapToWidth && wholeLinesOnly) {
        const int lineHeight = QFontMetrics(drawFont, painter.device()).lineSpacing();
        if (lineHeight > 0)
            area.bottom = ClampToSInt16(area.top + (area.Height() / lineHeight) * lineHeight);
    }

    if (state == kThemeStateInactive)
        painter.setPen(QGuiApplication::palette().color(QPalette::Disabled, QPalette::WindowText));

    const QRect rect = ToQRect(area);
    painter.setClipRect(rect, Qt::IntersectClip);
    const int flags = AlignmentOf(justification) | Qt::AlignTop | (wrapToWidth ? Qt::TextWordWrap : Qt::TextSingleLine);
    if (!rect.isEmpty())
        painter.drawText(rect, flags, text);
    painter.restore();
}

void DrawThemePStringInRect(ConstStr255Param text, const Rect& box, ThemeFontID font, SInt16 justification,
                            ThemeDrawState state, bool wrapToWidth, bool wholeLinesOnly, QPainter& painter)
{
    DrawThemeTextInRect(PStringToQString(text), box, font, justification, state, wrapToWidth, wholeLinesOnly,
                        painter);
}
