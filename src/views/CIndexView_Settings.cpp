// The index's settings as the index view shows them: its sizes, columns, theme
// and full-screen state.
#include "CIndexView.h"

#include "PrefKeys.h"

#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "SettingsValues.h"

#include <QFontMetrics>

#include <algorithm>

// --- The settings shown --------------------------------------------------------------------------

void CIndexView::ShowSettings()
{
    const IndexSettings& settings = mModel->GetSettings();
    SetTheme(mFullScreen ? kFullScreenTheme : settings.theme, false);
    SetThumbnailSize(IsExtendedView() ? settings.extendedSize : settings.thumbnailSize, false);
    if (settings.fullScreen && !mFullScreen)
        SetFullScreen(true);
    SInt32 zero = 0;
    BroadcastMessage(msg_ViewFrameChanged, &zero);
}

SInt32 CIndexView::FindFirstVisibleItem() const
{
    SInt32 first = 0, last = 0;
    GetVisibleRange(first, last, true);
    return first;
}

// --- Column lists ------------------------------------------------------------------------------

const std::vector<SInt32>& CIndexView::GetColumns(SInt32 mode) const
{
    const IndexSettings& settings = mModel->GetSettings();
    return mode == kExtendedViewMode ? settings.extendedColumns : settings.thumbnailColumns;
}

std::vector<SInt32>& CIndexView::CurrentColumns()
{
    IndexSettings& settings = mModel->Settings();
    return IsExtendedView() ? settings.extendedColumns : settings.thumbnailColumns;
}

bool CIndexView::HasColumn(SInt32 field) const
{
    const auto& columns = GetColumns(mViewMode);
    return std::find(columns.begin(), columns.end(), field) != columns.end();
}

void CIndexView::AddColumn(SInt32 field)
{
    CurrentColumns().push_back(field);
}

void CIndexView::RemoveColumn(SInt32 field)
{
    auto& columns = CurrentColumns();
    columns.erase(std::remove(columns.begin(), columns.end(), field), columns.end());
}

void CIndexView::ClearColumns()
{
    CurrentColumns().clear();
}

void CIndexView::LoadColumns(SInt32 mode, const QVariantList& keys)
{
    // The whole list is checked before the mode's list changes.
    std::vector<SInt32> columns = IndexSettings::ColumnsFrom(keys);
    IndexSettings& settings = mModel->Settings();
    (mode == kExtendedViewMode ? settings.extendedColumns : settings.thumbnailColumns) = std::move(columns);
}

// --- Sizes, theme, full screen, sort order -------------------------------------------------------

IndexGridGeometry::Metrics CIndexView::GridMetrics() const
{
    IndexGridGeometry::Metrics metrics;
    metrics.spacing = GetPrefNumber(QStringLiteral("IndexItemSpace"));
    metrics.lineHeight = GetPrefNumber(QStringLiteral("IndexItemNameHeigth"));
    metrics.textLines = CountColumns();
    metrics.extended = IsExtendedView();
    if (metrics.extended)
        metrics.widestLabel = WidestLabel();
    return metrics;
}

SInt32 CIndexView::WidestLabel() const
{
    // Asked at every line drawn: measured again only when the lines or the font change.
    const std::vector<SInt32>& columns = GetColumns(kExtendedViewMode);
    const QFont font = GetLabelFont();
    if (columns != mLabelWidths.columns || font != mLabelWidths.font) {
        const QFontMetrics metrics(font);
        SInt32 widest = 0;
        for (SInt32 key : columns) {
            QString label;
            CatchCode([&] { label = CopyFieldName(key) + QLatin1Char(':'); });
            widest = std::max<SInt32>(widest, metrics.horizontalAdvance(label) + kLabelSlack);
        }
        mLabelWidths = { columns, font, widest };
    }
    return mLabelWidths.width;
}

SInt32 CIndexView::GetMinThumbnailSize() const
{
    return IndexGridGeometry::kMinThumbnailSize;
}

SInt32 CIndexView::GetMaxThumbnailSize() const
{
    return IndexGridGeometry::MaxThumbnailSize(size(), GridMetrics());
}

void CIndexView::SetThumbnailSize(SInt32 size, bool refresh)
{
    SInt32 kept = GetFirstSelectedIndex();
    if (kept == 0) {
        SInt32 last = 0;
        GetVisibleRange(kept, last, true);
    }
    const SInt32 clamped = IndexGridGeometry::ClampThumbnailSize(size, this->size(), GridMetrics());
    IndexSettings& settings = mModel->Settings();
    (IsExtendedView() ? settings.extendedSize : settings.thumbnailSize) = IndexSettings::StoredSize(clamped);
    FitCellsToFrame(clamped, kept);
    if (refresh)
        Refresh();
}

void CIndexView::FitCellsToFrame(SInt32 thumbnailSize, SInt32 keptIndex)
{
    const IndexGridGeometry::Metrics metrics = GridMetrics();
    const SInt32 clamped = IndexGridGeometry::ClampThumbnailSize(thumbnailSize, this->size(), metrics);
    IndexGridGeometry grid;
    grid.SetCellSize(IndexGridGeometry::CellSizeFor(clamped, metrics));
    grid.Layout(width(), CountItems());
    grid.FillFrame(this->size(), GetPrefBoolean(QStringLiteral("AdjustThumbnailViewHorizontal")),
        GetPrefBoolean(QStringLiteral("AdjustThumbnailViewVertical")));
    if (metrics.extended)
        grid.FitExtendedCells(width(), IndexGridGeometry::CellSizeFor(clamped, metrics).height(), metrics);
    SetCellSize(SInt16(grid.CellSize().width()), SInt16(grid.CellSize().height()));

    ScrollPinnedImageTo(0, 0, false);
    if (keptIndex > 0 && CountItems() > 0)
        ScrollPinnedImageTo(0, Grid().ScrollTopFor(keptIndex), false);
    PlaceRenameField();
}

void CIndexView::SetTheme(SInt32 theme, bool refresh)
{
    if (!mFullScreen)
        mModel->Settings().theme = theme;
    if (theme == mTheme)
        return;
    mTheme = theme;
    mThemeLook.reset();
    if (refresh)
        Refresh();
}

void CIndexView::SetSortOrder(SInt32 order)
{
    mModel->SetSortOrder(order);
}
