// The index's keys of settings.xml: its display settings, its sort and its
// options, and their preference defaults.
#include "CIndexModel.h"

#include "PrefKeys.h"

#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexDocServices.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "SettingsValues.h"

#include <algorithm>
#include <exception>

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
const QString kListViewColumnsKey = QStringLiteral("ListViewColumns");
const QString kListColumnsEntry = QStringLiteral("COLUMNS");
const QString kCommentKey = QStringLiteral("Comment");
const QString kURLKey = QStringLiteral("URL");
// The sort order kept when the list keeps no order.
constexpr SInt32 kSortOrderNone = 2;

std::optional<QString> TextAt(const QVariantMap& settings, const QString& key, qsizetype maxLength)
{
    auto it = settings.constFind(key);
    if (it == settings.constEnd() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString().left(maxLength);
}

} // namespace

// --- The record ------------------------------------------------------------------------------

IndexSettings IndexSettings::FromPreferences()
{
    IndexSettings settings;
    settings.thumbnailSize = SInt16(std::clamp<SInt32>(Pref::DefaultThumbnailViewSize.Get(), 16, 1024));
    settings.extendedSize = SInt16(std::clamp<SInt32>(Pref::DefaultExtendedViewSize.Get(), 16, 1024));
    settings.thumbnailColumns = ReadFieldKeyList(Pref::ThumbnailViewColumns.Key());
    settings.extendedColumns = ReadFieldKeyList(Pref::ExtendedViewColumns.Key());
    settings.theme = GetPrefNumber(kThemeKey);
    return settings;
}

SInt16 IndexSettings::StoredSize(SInt32 size)
{
    return SInt16(std::clamp<SInt32>(size, kMinThumbnailSize, kMaxStoredSize));
}

std::vector<SInt32> IndexSettings::ColumnsFrom(const QVariantList& keys)
{
    std::vector<SInt32> columns;
    columns.reserve(size_t(keys.size()));
    for (const QVariant& key : keys) {
        SInt32 field = 0;
        if (!PropertyList::ToInt32(key, field))
            ThrowOSErr_(err_NilPointer, "a column list holds an entry that is no number");
        columns.push_back(field);
    }
    return columns;
}

QVariantList IndexSettings::ColumnList(const std::vector<SInt32>& keys)
{
    QVariantList list;
    list.reserve(qsizetype(keys.size()));
    for (SInt32 key : keys)
        list.append(SettingsNumber(key));
    return list;
}

// --- settings.xml ----------------------------------------------------------------------------

void CIndexModel::WriteSettings(QVariantMap& settings, bool withoutOpenOptions) const
{
    settings.insert(kThumbnailSizeKey, SettingsNumber(mSettings.thumbnailSize));
    settings.insert(kExtendedSizeKey, SettingsNumber(mSettings.extendedSize));
    settings.insert(kExtendedColumnsKey, IndexSettings::ColumnList(mSettings.extendedColumns));
    settings.insert(kThumbnailColumnsKey, IndexSettings::ColumnList(mSettings.thumbnailColumns));
    settings.insert(kThemeKey, SettingsNumber(mSettings.theme));
    const SInt32 order = GetSortOrder();
    if (order == kSortOrderNone)
        settings.remove(kSortKeyKey);
    else
        settings.insert(kSortKeyKey, SettingsNumber(GetSortKey()));
    settings.insert(kSortOrderKey, SettingsNumber(order));
    if (!withoutOpenOptions) {
        settings.insert(kFullScreenKey, mSettings.fullScreen);
        settings.insert(kShowInfoKey, TestFlags(kViewOptionShowInfoOnOpen));
        settings.insert(kSlideShowKey, TestFlags(kViewOptionOpenFirstItem));
    }
    settings.insert(kStoreMediaKey, TestFlags(kViewOptionStoreMedia));
    settings.insert(kRemoveMediaKey, TestFlags(kViewOptionRemoveMedia));
    settings.insert(kFirstVisibleKey, SettingsNumber(mSettings.firstVisibleItem));
    if (!mSettings.listViewColumns.isEmpty())
        settings.insert(kListViewColumnsKey, mSettings.listViewColumns);
    // A text the user cleared must not come back from the file's older copy.
    if (mSettings.comment.isEmpty())
        settings.remove(kCommentKey);
    else
        settings.insert(kCommentKey, mSettings.comment);
    if (mSettings.url.isEmpty())
        settings.remove(kURLKey);
    else
        settings.insert(kURLKey, mSettings.url);
}

void CIndexModel::ReadSettings(const QVariantMap& settings, bool withoutOpenOptions)
{
    if (std::optional<SInt32> size = NumberAt<SInt32>(settings, kThumbnailSizeKey))
        mSettings.thumbnailSize = IndexSettings::StoredSize(*size);
    if (std::optional<SInt32> size = NumberAt<SInt32>(settings, kExtendedSizeKey))
        mSettings.extendedSize = IndexSettings::StoredSize(*size);
    if (settings.contains(kExtendedColumnsKey))
        mSettings.extendedColumns = IndexSettings::ColumnsFrom(settings.value(kExtendedColumnsKey).toList());
    if (settings.contains(kThumbnailColumnsKey))
        mSettings.thumbnailColumns = IndexSettings::ColumnsFrom(settings.value(kThumbnailColumnsKey).toList());
    if (std::optional<SInt32> theme = NumberAt<SInt32>(settings, kThemeKey))
        mSettings.theme = *theme;
    if (std::optional<SInt32> first = NumberAt<SInt32>(settings, kFirstVisibleKey))
        mSettings.firstVisibleItem = std::max<SInt32>(*first, 0);

    if (!withoutOpenOptions) {
        // Asked for, never ended here: a window already full screen stays so.
        if (BooleanAt(settings, kFullScreenKey).value_or(false))
            mSettings.fullScreen = true;
        if (BooleanAt(settings, kShowInfoKey).value_or(false))
            SetFlags(kViewOptionShowInfoOnOpen);
        if (BooleanAt(settings, kSlideShowKey).value_or(false))
            SetFlags(kViewOptionOpenFirstItem);
    }
    // Media storage is the index's own: a missing key means the files stay outside.
    BooleanAt(settings, kStoreMediaKey).value_or(false) ? SetFlags(kViewOptionStoreMedia)
                                                          : ClearFlags(kViewOptionStoreMedia);
    BooleanAt(settings, kRemoveMediaKey).value_or(false) ? SetFlags(kViewOptionRemoveMedia)
                                                           : ClearFlags(kViewOptionRemoveMedia);

    const std::optional<SInt32> order = NumberAt<SInt32>(settings, kSortOrderKey);
    if (std::optional<SInt32> key = NumberAt<SInt32>(settings, kSortKeyKey))
        SortBothLists(*key, order.value_or(0) == 1);
    if (order)
        OrderBothLists(*order);

    if (std::optional<QString> comment = TextAt(settings, kCommentKey, IndexSettings::kMaxCommentLength))
        mSettings.comment = *comment;
    if (std::optional<QString> url = TextAt(settings, kURLKey, IndexSettings::kMaxURLLength))
        mSettings.url = *url;
    // The list view's columns are taken whole when they name their columns; else
    // there are none to show, and the list keeps the columns it shows.
    const QVariantMap listColumns = settings.value(kListViewColumnsKey).toMap();
    mSettings.listViewColumns = listColumns.contains(kListColumnsEntry) ? listColumns : QVariantMap();
}

void CIndexModel::SaveSettingsAsDefaults() const
{
    SetPrefValue(kExtendedColumnsKey, IndexSettings::ColumnList(mSettings.extendedColumns));
    SetPrefValue(kThumbnailColumnsKey, IndexSettings::ColumnList(mSettings.thumbnailColumns));
    SetPrefNumber(kThumbnailSizeKey, mSettings.thumbnailSize);
    SetPrefNumber(kExtendedSizeKey, mSettings.extendedSize);
    SetPrefNumber(kThemeKey, mSettings.theme);
    SetPrefBoolean(kFullScreenKey, mSettings.fullScreen);
    if (!mSettings.listViewColumns.isEmpty())
        SetPrefValue(kListViewColumnsKey, mSettings.listViewColumns);
}

void CIndexModel::ResetSettings()
{
    // Full screen is the window's state: it stays as it is.
    mSettings.thumbnailSize = IndexSettings::StoredSize(GetPrefNumber(kThumbnailSizeKey));
    mSettings.extendedSize = IndexSettings::StoredSize(GetPrefNumber(kExtendedSizeKey));
    mSettings.extendedColumns = IndexSettings::ColumnsFrom(CopyPrefValue(kExtendedColumnsKey).toList());
    mSettings.thumbnailColumns = IndexSettings::ColumnsFrom(CopyPrefValue(kThumbnailColumnsKey).toList());
    mSettings.theme = GetPrefNumber(kThemeKey);
    mSettings.firstVisibleItem = 0;
    mSettings.comment.clear();
    mSettings.url.clear();
    mSettings.listViewColumns.clear();
    if (Pref::ShowFileExtension.Get())
        SetFlags(kViewOptionShowFileExtension);
    if (Pref::IndexStoreMediaFile.Get())
        SetFlags(kViewOptionStoreMedia);
    if (Pref::IndexRemoveMediaFile.Get())
        SetFlags(kViewOptionRemoveMedia);
    // The next index brings its own password, or none.
    RestorePassword({}, false);
}

QVariantMap CIndexModel::StoredSettings() const
{
    QVariantMap settings;
    WriteSettings(settings, false);
    settings.insert(QStringLiteral("password"), mPassword);
    settings.insert(QStringLiteral("keychain"), mKeepPasswordInKeychain);
    settings.insert(QStringLiteral("options"), mFlags);
    return settings;
}

void CIndexModel::ChangeSettings(const std::function<void()>& change)
{
    if (mSettingsChanges > 0) {
        change();
        return;
    }
    const QVariantMap before = StoredSettings();
    ++mSettingsChanges;
    std::exception_ptr failure;
    try {
        change();
    } catch (...) {
        failure = std::current_exception();
    }
    --mSettingsChanges;
    // What changed before a failure is a change all the same.
    if (StoredSettings() != before)
        SetModified(true);
    if (failure)
        std::rethrow_exception(failure);
}
