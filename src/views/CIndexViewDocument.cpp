#include "CIndexViewDocument.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexPrintCaptions.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "URegistrar.h"

#include <QApplication>
#include <QDialog>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcViews, "orvex.errors.views")

constexpr SInt32 kAnyTextField = 6999;
// The fields that "any text" looks in: name, caption, keywords, categories.
constexpr SInt32 kAnyTextFields[] = { 4001, 6001, 6016, 6017 };
constexpr SInt32 kNotSorted = 2; // GetSortOrder when the list keeps no order

// The options kept in settings.xml and in the preferences, with their bits.
struct OptionKey {
    const char* key;
    UInt32 bit;
};
constexpr OptionKey kOptionKeys[] = {
    { "IndexShowInfoOnOpen", kViewShowCommentOnOpen },
    { "IndexShowSlideShowOnOpen", kViewOpenFirstItemOnOpen },
    { "IndexStoreMediaFile", kViewStoreMediaFile },
    { "IndexRemoveMediaFile", kViewRemoveMediaFile },
};

QVariant Number(SInt32 value)
{
    return QVariant::fromValue<qint32>(value);
}

} // namespace

CIndexViewDocument::CIndexViewDocument(CIndexView& view)
    : mView(view)
{
}

LBroadcaster& CIndexViewDocument::GetViewBroadcaster()
{
    return mView;
}

bool CIndexViewDocument::IsBusy() const
{
    return mView.IsBusy();
}

SInt16 CIndexViewDocument::CountRunningTasks() const
{
    return mView.CountRunningTasks();
}

bool CIndexViewDocument::IsItemListLocked() const
{
    return mView.IsItemListLocked();
}

bool CIndexViewDocument::IsWindowBusy() const
{
    // A sheet or dialog open on the window.
    QWidget* shell = mWindow ? mWindow->GetShell() : nullptr;
    if (!shell)
        return false;
    for (QDialog* dialog : shell->findChildren<QDialog*>()) {
        if (dialog->isVisible() && dialog->windowModality() != Qt::NonModal)
            return true;
    }
    return false;
}

bool CIndexViewDocument::UnlockWithPassword()
{
    // The index password dialog belongs to the view's property dialog, which this
    // view does not have yet: a locked window stays locked.
    return !gIndexWindowLocked;
}

bool CIndexViewDocument::IsModified() const
{
    return mView.IsModified();
}

void CIndexViewDocument::SetModified(bool modified)
{
    mView.SetModified(modified);
}

SInt32 CIndexViewDocument::CountItems() const
{
    return mView.CountItems();
}

SInt32 CIndexViewDocument::CountAllItems() const
{
    return mView.CountAllItems();
}

SInt32 CIndexViewDocument::CountSelectedItems() const
{
    return mView.CountSelectedItems();
}

SInt32 CIndexViewDocument::GetFirstSelectedIndex() const
{
    return mView.GetFirstSelectedIndex();
}

void CIndexViewDocument::RevealSelection()
{
    QRect cell;
    const SInt32 index = mView.GetFirstSelectedIndex();
    if (index == 0 || !mView.isVisible() || !mView.GetCellRect(index, cell))
        return;
    if (cell.top() < 0 || cell.bottom() >= mView.height())
        mView.ScrollPinnedImageBy(0, cell.top() - 10, true);
}

SInt32 CIndexViewDocument::ImportURL(const QUrl& url, SInt32 position, bool select)
{
    return mView.ImportURL(url, position, select);
}

SInt32 CIndexViewDocument::InsertItem(CIndexItem* item, SInt32 position, bool select, bool quiet)
{
    ThrowIfNil_(item);
    return mView.InsertItem(item, position, select, quiet);
}

void CIndexViewDocument::ShowAllItems(bool refresh)
{
    mView.ShowAllItems(refresh);
}

bool CIndexViewDocument::ItemMatches(CIndexItem& item, SInt32 fieldKey, const QString& text)
{
    auto contains
        = [&](SInt32 key) { return item.CopyFieldString(key, kFieldTextEmpty).contains(text, Qt::CaseInsensitive); };
    if (fieldKey != kAnyTextField)
        return contains(fieldKey);
    for (SInt32 key : kAnyTextFields) {
        if (contains(key))
            return true;
    }
    return false;
}

void CIndexViewDocument::StartQuickSearch(SInt32 fieldKey, const QString& text)
{
    if (text.isEmpty() || mView.IsItemListLocked())
        return;
    std::vector<CIndexItem*> found;
    for (CIndexItem* item : mView.GetItemList()) {
        if (ItemMatches(*item, fieldKey, text))
            found.push_back(item);
    }
    TArray<CIndexItem*>& filter = mView.GetFilterList();
    if (filter.IsLocked())
        return;
    filter.RemoveAllItems();
    for (CIndexItem* item : found)
        filter.AddItem(item);
    mView.ShowFilter(nullptr, true, false);
}

void CIndexViewDocument::OpenSelectedItem()
{
    ThrowOSErr_(unimpErr, "the media viewer is not part of this program yet");
}

void CIndexViewDocument::RebuildThumbnails()
{
    mView.RebuildThumbnails();
}

void CIndexViewDocument::RebuildValueIndex()
{
    mView.RebuildValueIndex();
}

SInt32 CIndexViewDocument::GetViewMode() const
{
    return mView.GetViewMode();
}

void CIndexViewDocument::SetViewMode(SInt32 command)
{
    // The grid is this view's one layout so far; other modes leave it as it is.
    if (command != kCmdThumbnailView && command != kCmdExtendedView)
        return;
    mView.AdjustImageSize();
}

SInt32 CIndexViewDocument::GetModeScrollPosition() const
{
    return mView.GetScrollPosition().v;
}

void CIndexViewDocument::SetModeScrollPosition(SInt32 position, bool refresh)
{
    mView.ScrollPinnedImageTo(0, position, refresh);
}

void CIndexViewDocument::WriteSettings(QVariantMap& settings, bool)
{
    if (mView.GetSortOrder() == kNotSorted) {
        settings.remove(QStringLiteral("IndexSortKey"));
    } else {
        settings.insert(QStringLiteral("IndexSortKey"), Number(mView.GetSortKey()));
        settings.insert(QStringLiteral("IndexSortOrder"), Number(mView.GetSortOrder()));
    }
    for (const OptionKey& option : kOptionKeys)
        settings.insert(QLatin1String(option.key), mView.TestFlags(option.bit));
    settings.insert(QStringLiteral("FirstVisibleItem"), Number(mView.GetFirstVisibleItem()));
    settings.insert(QStringLiteral("Comment"), mView.GetComment());
    settings.insert(QStringLiteral("URL"), mView.GetIndexURLText());
}

void CIndexViewDocument::ReadSettings(const QVariantMap& settings, bool)
{
    SInt32 key = 0, order = 0;
    if (PropertyList::ToInt32(settings.value(QStringLiteral("IndexSortKey")), key)
        && PropertyList::ToInt32(settings.value(QStringLiteral("IndexSortOrder")), order) && order != kNotSorted)
        mView.SetSortKey(key, order == 1);
    for (const OptionKey& option : kOptionKeys) {
        const QVariant value = settings.value(QLatin1String(option.key));
        if (value.typeId() == QMetaType::Bool)
            value.toBool() ? mView.SetFlags(option.bit) : mView.ClearFlags(option.bit);
    }
    SInt32 first = 0;
    if (PropertyList::ToInt32(settings.value(QStringLiteral("FirstVisibleItem")), first))
        mView.SetFirstVisibleItem(first);
    if (settings.value(QStringLiteral("Comment")).typeId() == QMetaType::QString)
        mView.SetComment(settings.value(QStringLiteral("Comment")).toString());
    if (settings.value(QStringLiteral("URL")).typeId() == QMetaType::QString)
        mView.SetIndexURLText(settings.value(QStringLiteral("URL")).toString());
    mView.BroadcastMessage(msg_IndexViewStateChanged, nullptr);
}

void CIndexViewDocument::SaveSettingsAsDefaults()
{
    for (const OptionKey& option : kOptionKeys)
        SetPrefBoolean(QLatin1String(option.key), mView.TestFlags(option.bit));
}

void CIndexViewDocument::ResetSettings()
{
    for (const OptionKey& option : kOptionKeys)
        GetPrefBoolean(QLatin1String(option.key)) ? mView.SetFlags(option.bit) : mView.ClearFlags(option.bit);
    mView.SetComment(QString());
    mView.SetIndexURLText(QString());
    mView.SetFirstVisibleItem(0);
}

bool CIndexViewDocument::TestFlags(UInt32 mask) const
{
    return mView.TestFlags(mask);
}

void CIndexViewDocument::SetFlags(UInt32 mask)
{
    mView.SetFlags(mask);
}

void CIndexViewDocument::ClearFlags(UInt32 mask)
{
    mView.ClearFlags(mask);
}

void CIndexViewDocument::EnterFullScreen()
{
    qCWarning(lcViews) << "the index view has no full-screen mode yet; the window opens as usual";
}

void CIndexViewDocument::SetTheme(SInt32, bool)
{
}

SInt32 CIndexViewDocument::GetPrintState() const
{
    // The view state: 0 while a package is read into it.
    return mView.GetViewState();
}

void CIndexViewDocument::PrepareForPrinting(double)
{
    mView.AdjustImageSize();
}

void InstallIndexViewDocumentServices()
{
    SetIndexDocViewAdapterMaker([](LPane* pane) -> std::unique_ptr<IndexDocViewServices> {
        auto* view = dynamic_cast<CIndexView*>(pane);
        if (!view)
            return nullptr;
        return std::make_unique<CIndexViewDocument>(*view);
    });
}

void RegisterIndexWindowClasses()
{
    URegistrar::RegisterClass<CIndexView>(CIndexView::class_ID);
    RegisterIndexPrintClasses();
    // Panes of the index window whose own classes are still to come: an empty view
    // holds their place, and a later registration of the real class replaces it.
    for (ClassIDT classID : { ClassIDT('InLv'), ClassIDT('FbLv'), ClassIDT('MdLv'), ClassIDT('InfV') }) {
        if (!URegistrar::IsRegistered(classID))
            URegistrar::RegisterClass<LView>(classID);
    }
}
