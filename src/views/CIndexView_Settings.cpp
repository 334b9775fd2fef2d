// The index view's keys of settings.xml, its preference defaults, its sizes,
// theme and full-screen state.
#include "CIndexView.h"

#include "PrefKeys.h"

#include "ExceptionCode.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "SettingsValues.h"

#include <algorithm>

namespace {

const QString kThumbnailSizeKey = Pref::DefaultThumbnailViewSize.Key(); // the blank belongs to the key
const QString kExtendedSizeKey = Pref::DefaultExtendedViewSize.Key();
const QString kExtendedColumnsKey = Pref::ExtendedViewColumns.Key();
const QString kThumbnailColumnsKey = Pref::ThumbnailViewColumns.Key();
const QString kThemeKey = QStringLiteral("DefaultIndexTheme_6");
const QString kSortKeyKey = QStringLiteral("IndexSortKey");
const QString kSortOrderKey = QStringLiteral("IndexSortOrder");
const QString kFullScreenKey = QStringLiteral("IndexFullScreen");
const QString kShowInfoKey = QStringLiteral("IndexShowInfoOnOpen");
const QString kSlideShowKey = QStringLiteral("IndexShowSlideShowOnOpen");
const QString kStoreMediaKey = Pref::IndexStoreMediaFile.Key();
const QString kRemoveMediaKey = Pref::IndexRemoveMediaFile.Key();
const QString kFirstVisibleKey = QStringLiteral("FirstVisibleItem");
const QString kCommentKey = QStringLiteral("Comment");
const QString kURLKey = QStringLiteral("URL");

constexpr qsizetype kMaxCommentLength = 5000;
constexpr qsizetype kMaxURLLength = 500;
constexpr SInt32 kMaxStoredSize = 32767; // sizes are kept in 16 bits

QVariantList KeyList(const std::vector<SInt32>& keys)
{
    QVariantList list;
    list.reserve(qsizetype(keys.size()));
    for (SInt32 key : keys)
        list.append(SettingsNumber(key));
    return list;
}

std::optional<QString> TextAt(const QVariantMap& settings, const QString& key, qsizetype maxLength)
{
    auto it = settings.constFind(key);
    if (it == settings.constEnd() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString().left(maxLength);
}

SInt16 StoredSize(SInt32 size)
{
    return SInt16(std::clamp<SInt32>(size, IndexGridGeometry::kMinThumbnailSize, kMaxStoredSize));
}

} // namespace

// --- settings.xml ----------------------------------------------------------------------------

void CIndexView::WriteSettings(QVariantMap& settings, bool withoutOpenOptions) const
{
    settings.insert(kThumbnailSizeKey, SettingsNumber(mThumbnailSize));
    settings.insert(kExtendedSizeKey, SettingsNumber(mExtendedSize));
    settings.insert(kExtendedColumnsKey, KeyList(mExtendedColumns));
    settings.insert(kThumbnailColumnsKey, KeyList(mThumbnailColumns));
    settings.insert(kThemeKey, SettingsNumber(GetSavedTheme()));
    const SInt32 order = GetSortOrder();
    if (order == kSortOrderNone)
        settings.remove(kSortKeyKey);
    else
        settings.insert(kSortKeyKey, SettingsNumber(GetSortKey()));
    settings.insert(kSortOrderKey, SettingsNumber(order));
    if (!withoutOpenOptions) {
        settings.insert(kFullScreenKey, mFullScreen);
        settings.insert(kShowInfoKey, TestFlags(kViewShowCommentOnOpen));
        settings.insert(kSlideShowKey, TestFlags(kViewOpenFirstItemOnOpen));
    }
    settings.insert(kStoreMediaKey, TestFlags(kViewStoreMediaFile));
    settings.insert(kRemoveMediaKey, TestFlags(kViewRemoveMediaFile));
    SInt32 first = 0, last = 0;
    GetVisibleRange(first, last, true);
    settings.insert(kFirstVisibleKey, SettingsNumber(first));
    // A text the user cleared must not come back from the file's older copy.
    if (mComment.isEmpty())
        settings.remove(kCommentKey);
    else
        settings.insert(kCommentKey, mComment);
    if (mURLText.isEmpty())
        settings.remove(kURLKey);
    else
        settings.insert(kURLKey, mURLText);
}

void CIndexView::ReadSettings(const QVariantMap& settings, bool withoutOpenOptions)
{
    if (std::optional<SInt32> size = NumberAt<SInt32>(settings, kThumbnailSizeKey))
        mThumbnailSize = StoredSize(*size);
    if (std::optional<SInt32> size = NumberAt<SInt32>(settings, kExtendedSizeKey))
        mExtendedSize = StoredSize(*size);
    if (settings.contains(kExtendedColumnsKey))
        LoadColumns(kExtendedViewMode, settings.value(kExtendedColumnsKey).toList());
    if (settings.contains(kThumbnailColumnsKey))
        LoadColumns(kThumbnailViewMode, settings.value(kThumbnailColumnsKey).toList());
    if (std::optional<SInt32> theme = NumberAt<SInt32>(settings, kThemeKey))
        SetTheme(*theme, false);
    SetThumbnailSize(IsExtendedView() ? mExtendedSize : mThumbnailSize, false);
    if (std::optional<SInt32> first = NumberAt<SInt32>(settings, kFirstVisibleKey))
        mFirstVisibleItem = std::max<SInt32>(*first, 0);

    if (!withoutOpenOptions) {
        if (BooleanAt(settings, kFullScreenKey).value_or(false))
            SetFullScreen(true);
        if (BooleanAt(settings, kShowInfoKey).value_or(false))
            SetFlags(kViewShowCommentOnOpen);
        if (BooleanAt(settings, kSlideShowKey).value_or(false))
            SetFlags(kViewOpenFirstItemOnOpen);
    }
    // Media storage is the index's own: a missing key means the files stay outside.
    BooleanAt(settings, kStoreMediaKey).value_or(false) ? SetFlags(kViewStoreMediaFile)
                                                          : ClearFlags(kViewStoreMediaFile);
    BooleanAt(settings, kRemoveMediaKey).value_or(false) ? SetFlags(kViewRemoveMediaFile)
                                                           : ClearFlags(kViewRemoveMediaFile);

    const std::optional<SInt32> order = NumberAt<SInt32>(settings, kSortOrderKey);
    if (std::optional<SInt32> key = NumberAt<SInt32>(settings, kSortKeyKey))
        SetSortKey(*key, order.value_or(0) == 1);
    if (order)
        SetSortOrder(*order);

    if (std::optional<QString> comment = TextAt(settings, kCommentKey, kMaxCommentLength))
        mComment = *comment;
    if (std::optional<QString> url = TextAt(settings, kURLKey, kMaxURLLength))
        mURLText = *url;

    SInt32 zero = 0;
    BroadcastMessage(msg_ViewFrameChanged, &zero);
}

void CIndexView::SaveSettingsAsDefaults() const
{
    SetPrefValue(kExtendedColumnsKey, KeyList(mExtendedColumns));
    SetPrefValue(kThumbnailColumnsKey, KeyList(mThumbnailColumns));
    SetPrefNumber(kThumbnailSizeKey, mThumbnailSize);
    SetPrefNumber(kExtendedSizeKey, mExtendedSize);
    SetPrefNumber(kThemeKey, GetSavedTheme());
    SetPrefBoolean(kFullScreenKey, mFullScreen);
}

void CIndexView::ResetSettings()
{
    ShowAllItems(true);
    RemoveAllItems();
    mThumbnailSize = StoredSize(GetPrefNumber(kThumbnailSizeKey));
    mExtendedSize = StoredSize(GetPrefNumber(kExtendedSizeKey));
    LoadColumns(kExtendedViewMode, CopyPrefValue(kExtendedColumnsKey).toList());
    LoadColumns(kThumbnailViewMode, CopyPrefValue(kThumbnailColumnsKey).toList());
    if (Pref::ShowFileExtension.Get())
        SetFlags(kViewShowFileExtension);
    if (GetPrefBoolean(kStoreMediaKey))
        SetFlags(kViewStoreMediaFile);
    if (GetPrefBoolean(kRemoveMediaKey))
        SetFlags(kViewRemoveMediaFile);
    SetTheme(GetPrefNumber(kThemeKey), false);
    // The next index brings its own texts and password, or none.
    mComment.clear();
    mURLText.clear();
    mFirstVisibleItem = 0;
    SetPassword({});
    SetKeepPasswordInKeychain(false);
}

// --- Column lists ------------------------------------------------------------------------------

const std::vector<SInt32>& CIndexView::GetColumns(SInt32 mode) const
{
    return mode == kExtendedViewMode ? mExtendedColumns : mThumbnailColumns;
}

bool CIndexView::HasColumn(SInt32 field) const
{
    const auto& columns = GetColumns(mViewMode);
    return std::find(columns.begin(), columns.end(), field) != columns.end();
}

void CIndexView::AddColumn(SInt32 field)
{
    (IsExtendedView() ? mExtendedColumns : mThumbnailColumns).push_back(field);
}

void CIndexView::RemoveColumn(SInt32 field)
{
    auto& columns = IsExtendedView() ? mExtendedColumns : mThumbnailColumns;
    columns.erase(std::remove(columns.begin(), columns.end(), field), columns.end());
}

void CIndexView::ClearColumns()
{
    (IsExtendedView() ? mExtendedColumns : mThumbnailColumns).clear();
}

void CIndexView::LoadColumns(SInt32 mode, const QVariantList& keys)
{
    // The whole list is checked before the mode's list changes.
    std::vector<SInt32> columns;
    columns.reserve(size_t(keys.size()));
    for (const QVariant& key : keys) {
        SInt32 field = 0;
        if (!PropertyList::ToInt32(key, field))
            ThrowOSErr_(err_NilPointer, "a column list holds an entry that is no number");
        columns.push_back(field);
    }
    const SInt32 savedMode = mViewMode;
    mViewMode = mode;
    ClearColumns();
    for (SInt32 field : columns)
        AddColumn(field);
    mViewMode = savedMode;
}

// --- Sizes, theme, full screen, sort order -------------------------------------------------------

IndexGridGeometry::Metrics CIndexView::GridMetrics() const
{
    IndexGridGeometry::Metrics metrics;
    metrics.spacing = GetPrefNumber(QStringLiteral("IndexItemSpace"));
    metrics.lineHeight = GetPrefNumber(QStringLiteral("IndexItemNameHeigth"));
    metrics.textLines = CountColumns();
    metrics.extended = IsExtendedView();
    return metrics;
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
    (IsExtendedView() ? mExtendedSize : mThumbnailSize) = StoredSize(clamped);
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
    SetCellSize(SInt16(grid.CellSize().width()), SInt16(grid.CellSize().height()));

    ScrollPinnedImageTo(0, 0, false);
    if (keptIndex > 0 && CountItems() > 0)
        ScrollPinnedImageTo(0, Grid().ScrollTopFor(keptIndex), false);
    PlaceRenameField();
}

void CIndexView::SetTheme(SInt32 theme, bool refresh)
{
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
