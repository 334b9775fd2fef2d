// The recent items: the list, its menu and its place in the preferences.
#include "COrvexApp.h"

#include "AppLog.h"
#include "CFileBrowserListView.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "LMenuBar.h"
#include "Preferences.h"

#include <QFileIconProvider>
#include <QFileInfo>

namespace {
const QString kRecentItemsKey = QStringLiteral("RecentItems");
const QString kRecentItemsMaxCountKey = QStringLiteral("RecentItemsMaxCount");
} // namespace

void COrvexApp::RecentItemsChanged()
{
    // On disk at once: a crash must not take the list with it.
    SaveRecentItems();
    WritePrefsNow("a change of the recent items");
    BuildRecentMenu();
    CFileBrowserListView::RecentItemsChanged();
}

void COrvexApp::AddRecentItem(const FileRef& file)
{
    mRecentItems.Add(file, GetPrefNumber(kRecentItemsMaxCountKey));
    RecentItemsChanged();
}

void COrvexApp::AddRecentURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return;
    FileRef file = FileRef::FromUrl(url);
    if (file.Exists())
        AddRecentItem(file);
}

void COrvexApp::ClearRecentItems()
{
    mRecentItems.Clear();
    RecentItemsChanged();
}

bool COrvexApp::OpenRecentItemAt(SInt32 index)
{
    FileRef file = mRecentItems.At(index);
    OSStatus status = CatchCode([&] {
        ThrowIfNot_(file.IsValid(), "no such recent item");
        if (!file.Exists())
            ThrowOSErr_(fnfErr, file.Path().toStdString());
        OpenDocument(file);
    });
    if (status == noErr)
        return true;
    qCInfo(lcApp) << "recent item" << file.Path() << "did not open:" << status;
    // The entry that failed leaves the list, not some other one.
    SInt32 failed = mRecentItems.IndexOf(file);
    mRecentItems.RemoveAt(failed >= 0 ? failed : index);
    RecentItemsChanged();
    if (!IsUserCancelCode(status))
        mLastRecentItemError = status;
    return false;
}

void COrvexApp::OpenRecentItem(SInt32 index)
{
    if (index >= GetRecentItemCount()) {
        ClearRecentItems();
        return;
    }
    mLastRecentItemError = noErr;
    if (!OpenRecentItemAt(index) && mLastRecentItemError != noErr)
        ReportError(mLastRecentItemError, kNoteAlert);
}

bool COrvexApp::OpenNewestRecentIndex()
{
    for (SInt32 index = 0; index < GetRecentItemCount();) {
        const FileRef entry = mRecentItems.At(index);
        // Media files handed over go into an index; they are not one to start with.
        if (!IsIndexPackageURL(entry.ToUrl()) || (entry.Exists() && !entry.IsFolder())) {
            ++index;
            continue;
        }
        if (OpenRecentItemAt(index))
            return true;
        // The entry that failed has left the list: the next one has its place.
    }
    return false;
}

QUrl COrvexApp::CopyRecentItemURL(SInt32 index) const
{
    FileRef file = mRecentItems.At(index);
    return file.IsValid() ? file.ToUrl() : QUrl();
}

void COrvexApp::BuildRecentMenu()
{
    LMenuBar* bar = GetMenuBar();
    if (!bar)
        return;
    LMenu* file = bar->FetchMenu(kFileMenuID);
    const SMenuItem* carrier = file ? file->Item(file->IndexFromCommand(cmd_OpenRecent)) : nullptr;
    LMenu* menu = carrier ? bar->FetchMenu(carrier->submenuID) : nullptr;
    if (!menu)
        ThrowOSErr_(err_NilPointer, "the File menu has no recent-items submenu");

    // The menu's own last item (Clear Menu) stays; the entries go in above it.
    while (menu->CountItems() > 1)
        menu->RemoveItem(1);
    if (!mRecentItems.IsEmpty())
        menu->InsertCommand(QStringLiteral("-"), cmd_Nothing, 0);
    QFileIconProvider icons;
    const auto& items = mRecentItems.Items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        SMenuItem item;
        QFileInfo info(it->Path());
        item.text = info.fileName();
        if (item.text.isEmpty())
            continue;
        item.icon = icons.icon(info);
        if (it + 1 == items.rend()) {
            item.keyChar = QLatin1Char('0');
            item.keyLent = true; // the viewer's actual size keeps its Ctrl+0
        }
        menu->InsertItem(item, 0);
    }
}

void COrvexApp::LoadRecentItems()
{
    QVariant stored = CopyPrefValue(kRecentItemsKey);
    if (!stored.isValid())
        ThrowOSErr_(err_NilPointer, "no recent items value");
    mRecentItems.Clear();
    mRecentItems.Load(stored);
}

void COrvexApp::SaveRecentItems()
{
    SetPrefValue(kRecentItemsKey, mRecentItems.Save());
}
