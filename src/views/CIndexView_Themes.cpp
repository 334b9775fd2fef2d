// The index view's theme: the background pattern it fills with and the colours it draws in.
#include "CIndexView.h"

#include "LPrintout.h"
#include "ThemeColors.h"

#include <QPainter>
#include <QPalette>

const IndexThemeLook& CIndexView::GetThemeLook() const
{
    if (!mThemeLook)
        mThemeLook = IndexThemeLook::Load(mTheme);
    return *mThemeLook;
}

void CIndexView::SetForeColorForTheme(QPainter& painter) const
{
    QPen pen = painter.pen();
    pen.setColor(GetTextColor());
    painter.setPen(pen);
}

bool CIndexView::FollowsPalette() const
{
    return mTheme == kSystemTheme || (mTheme == kDefaultTheme && IsDarkPalette(palette()));
}

// The palette's own colours stand in for the table's light ones, which would be
// unreadable on a dark palette; never on paper.
bool CIndexView::DrawsDarkPalette() const
{
    return FollowsPalette() && IsDarkPalette(palette()) && !LPrintout::IsPrinting();
}

// Theme 1 takes its colours from the desktop's palette, the others from their table.
// Paper takes neither: whatever the screen shows, a printout is ink on white.
QColor CIndexView::ThemeColour(QPalette::ColorRole systemRole, int colourIndex) const
{
    if (FollowsPalette() && !LPrintout::IsPrinting())
        return palette().color(QPalette::Active, systemRole);
    return TableColour(colourIndex);
}

QColor CIndexView::TableColour(int colourIndex) const
{
    if (LPrintout::IsPrinting())
        return IndexThemeLook::DefaultColours()[colourIndex];
    return GetThemeLook().colours[colourIndex];
}

QColor CIndexView::GetLabelColor() const
{
    return DrawsDarkPalette() ? palette().color(QPalette::Active, QPalette::AlternateBase) : IndexViewServices::GetLabelColor();
}

QColor CIndexView::GetValueColor() const
{
    return DrawsDarkPalette() ? palette().color(QPalette::Active, QPalette::Base) : IndexViewServices::GetValueColor();
}

QColor CIndexView::GetTextColor() const
{
    return ThemeColour(QPalette::WindowText, kThemeCellTextColour);
}

QColor CIndexView::GetEmptyTextColor() const
{
    if (DrawsDarkPalette())
        return palette().color(QPalette::Active, QPalette::PlaceholderText);
    return TableColour(kThemeEmptyTextColour);
}

QColor CIndexView::GetBackgroundColor() const
{
    return ThemeColour(QPalette::Window, kThemeBackgroundColour);
}

QBrush CIndexView::GetBackgroundBrush(qreal devicePixelRatio) const
{
    const PixPattern& pattern = GetThemePattern();
    if (FollowsPalette() || pattern.IsNull() || LPrintout::IsPrinting())
        return GetBackgroundColor();
    // The pattern belongs to the image, not to the frame: scrolled cells keep
    // theirs, and the strip that scrolling reveals continues it without a seam.
    const SPoint32 scrolled = GetScrollPosition();
    const QSize tile = pattern.Size();
    return pattern.Brush(devicePixelRatio,
        QPoint(int(-(qint64(scrolled.h) % tile.width())), int(-(qint64(scrolled.v) % tile.height()))));
}

QColor CIndexView::GetHighlightColor() const
{
    return ThemeColour(QPalette::Highlight, kThemeHighlightColour);
}

QColor CIndexView::GetLineColor() const
{
    if (DrawsDarkPalette())
        return palette().color(QPalette::Active, QPalette::Mid);
    return TableColour(kThemeLineColour);
}
