// What the index view's commands do.
#include "CIndexView.h"

#include "Alerts.h"
#include "CFontMedia.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexListView.h"
#include "CInternetTask.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FileRoutines.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "MediaFactory.h"
#include "OpenWithMenu.h"
#include "PrefKeys.h"
#include "ThreadUtilities.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct StWatchCursor {
    StWatchCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~StWatchCursor() { QApplication::restoreOverrideCursor(); }
};

// More info windows than anyone reads at once: past this many selected items,
// Get Info asks to show them in one window, whose buttons step through them.
constexpr SInt32 kInfoWindowsWithoutAsking = 10;

std::vector<TLivePtr<CIndexItem>> Held(const std::vector<CIndexItem*>& items)
{
    std::vector<TLivePtr<CIndexItem>> held;
    held.reserve(items.size());
    for (CIndexItem* item : items)
        held.emplace_back(item);
    return held;
}

// The item's media file, when it is where the item says, without asking the user.
QUrl LocalCopy(CIndexItem& item)
{
    QUrl file;
    if (CatchCode([&] { file = item.LocateFile(false); }) != noErr)
        return {};
    return file.isLocalFile() && QFileInfo::exists(file.toLocalFile()) ? file : QUrl();
}

// The address of an uploaded file as the item keeps it: the folder's address and
// the file's name, with no password.
QUrl RemoteURLFor(const QUrl& folder, const QString& fileName)
{
    QUrl remote = folder;
    remote.setPassword(QString());
    QString path = remote.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    remote.setPath(path + fileName);
    return remote;
}

// The FTP address typed, or an empty one when the text names no FTP server.
QUrl UploadAddressFrom(const QString& text)
{
    const QUrl url = QUrl::fromUserInput(text.trimmed());
    if (!url.isValid() || url.scheme() != QLatin1String("ftp") || url.host().isEmpty())
        return {};
    return url;
}

// The upload dialog: an FTP address and the account's user name and password.
// OK waits for an address of an FTP server.
bool AskUploadAddress(QWidget* parent, const QString& prompt, QUrl& outAddress)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("UploadDialog"));
    dialog.setWindowTitle(CopyLocalizedString(QStringLiteral("UPLOAD_TITLE")));
    dialog.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(&dialog);
    auto* message = new QLabel(prompt);
    message->setWordWrap(true);
    layout->addWidget(message);
    auto* form = new QFormLayout;
    auto* address = new QLineEdit;
    address->setObjectName(QStringLiteral("address"));
    address->setPlaceholderText(QStringLiteral("ftp://"));
    auto* user = new QLineEdit;
    user->setObjectName(QStringLiteral("user"));
    auto* password = new QLineEdit;
    password->setObjectName(QStringLiteral("password"));
    password->setEchoMode(QLineEdit::Password);
    form->addRow(CopyLocalizedString(QStringLiteral("UPLOAD_ADDRESS")), address);
    form->addRow(CopyLocalizedString(QStringLiteral("UPLOAD_USER")), user);
    form->addRow(CopyLocalizedString(QStringLiteral("UPLOAD_PASSWORD")), password);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    QObject::connect(address, &QLineEdit::textChanged, ok,
        [ok](const QString& text) { ok->setEnabled(!UploadAddressFrom(text).isEmpty()); });
    dialog.resize(440, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QUrl url = UploadAddressFrom(address->text());
    if (url.isEmpty())
        ThrowOSErr_(paramErr, "the upload address is no FTP address");
    if (!user->text().isEmpty())
        url.setUserName(user->text());
    if (!password->text().isEmpty())
        url.setPassword(password->text());
    outAddress = url;
    return true;
}

} // namespace

// --- Sorting and columns ---------------------------------------------------------------------

void CIndexView::SortBy(SInt32 field)
{
    if (!mModel->MaySort())
        return;
    StWatchCursor watch;
    mModel->SetSortKey(field, GetSortOrder() == 1);
    if (CountItems() > 0)
        ScrollPinnedImageTo(0, 0, false);
    Refresh();
    LCommander::SetUpdateCommandStatus(true);
}

void CIndexView::ReverseSortOrder()
{
    if (!mModel->MaySort() || GetSortOrder() == kSortOrderNone)
        return;
    mModel->SetSortOrder(GetSortOrder() == 1 ? 0 : 1);
    Refresh();
    LCommander::SetUpdateCommandStatus(true);
}

void CIndexView::ToggleColumn(SInt32 field)
{
    if (HasColumn(field))
        RemoveColumn(field);
    else
        AddColumn(field);
    SetThumbnailSize(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), true);
    SInt32 zero = 0;
    BroadcastMessage(msg_ViewFrameChanged, &zero);
}

// --- Filter and selection ----------------------------------------------------------------------

void CIndexView::ShowSelectedOnly()
{
    const std::vector<CIndexItem*> selected = mModel->SelectedItems();
    if (selected.empty() || !mModel->ReplaceFilterItems(selected))
        return;
    const QString title = CopyLocalizedString(QStringLiteral("600:136"));
    ShowFilter(&title, true, false);
    BroadcastState();
}

void CIndexView::SelectItemsWithProblems()
{
    StWatchCursor watch;
    DeselectAll();
    SInt32 found = 0;
    for (SInt32 index = 1; index <= CountItems(); ++index) {
        CIndexItem* item = nullptr;
        if (GetItemAt(index, item) && item && item->HasProblem()) {
            SelectIndex(index);
            ++found;
        }
        if (index % 256 == 0)
            CheckUserCancel();
    }
    if (found == 0) {
        ReportError(kMsgIndexView, kNoteAlert);
    } else {
        // The first one found comes into sight, in the grid or in the list.
        ScrollToIndex(0, false);
        LWindow* window = GetContainingWindow();
        if (auto* list = window ? dynamic_cast<CIndexListView*>(window->FindPaneByID(kPaneListView)) : nullptr)
            list->RevealSelection();
    }
    BroadcastState();
}

// --- Opening ------------------------------------------------------------------------------------

void CIndexView::OpenSelectedItems()
{
    StWatchCursor watch;
    // Opening may let tasks run, and they may remove items meanwhile.
    for (const TLivePtr<CIndexItem>& held : Held(GetModel().SelectedItems())) {
        CIndexItem* item = held.Get();
        const SInt32 index = item ? mModel->GetIndexOfItem(item) : 0;
        if (index == 0)
            continue;
        item->OpenInViewer(index, mModel, Pref::DoubleClickAction.Get() == 1);
        CheckUserCancel();
    }
}

void CIndexView::ShowSelectedItemsInfo()
{
    // Counted, not listed: with a million selected the question shows at once.
    const SInt32 selected = CountSelectedItems();
    if (selected > kInfoWindowsWithoutAsking) {
        const QString count = QLocale().toString(qlonglong(selected));
        const QString message = CopyLocalizedString(QStringLiteral("INFO_MANY_ITEMS")).arg(count);
        if (AskYesNoAlert(message, CopyLocalizedString(QStringLiteral("INFO_MANY_ITEMS_HELP")), kCautionAlert)) {
            if (CIndexItem* first = GetModel().ItemAt(GetFirstSelectedIndex()))
                first->ShowInfoWindow(this, mModel);
        }
        return;
    }
    // The look for the cancel keys lets events run: an item may go meanwhile.
    for (const TLivePtr<CIndexItem>& held : Held(GetModel().SelectedItems())) {
        if (CIndexItem* item = held.Get())
            item->ShowInfoWindow(this, mModel);
        CheckUserCancel();
    }
}

void CIndexView::OpenSelectedItemsWith(const QString& desktopId)
{
    if (desktopId.isEmpty() || desktopId == kOwnDesktopId) {
        OpenSelectedItems();
        return;
    }
    QList<FileRef> files;
    for (CIndexItem* item : GetModel().SelectedItems()) {
        const QUrl file = LocalCopy(*item);
        if (!file.isEmpty())
            files.append(FileRef(file.toLocalFile()));
    }
    if (files.isEmpty())
        ThrowOSErr_(fnfErr, "no selected item has its file");
    ThrowIfOSErr_(OpenFilesWithApplication(desktopId, files));
}

void CIndexView::SetDesktopPicture(CIndexItem* item)
{
    if (!item)
        GetItemAt(GetFirstSelectedIndex(), item);
    if (!item)
        ThrowOSErr_(err_NilPointer, "no item for the desktop picture");
    ThrowIfOSErr_(SetDesktopPictureURL(item->GetURL()));
}

void CIndexView::SetSelectedFontsActive(bool active)
{
    mModel->SetFontsActive(mModel->SelectedItems(), active);
}

// --- Network --------------------------------------------------------------------------------------

std::vector<CIndexItem*> CIndexView::ItemsToDownloadAgain() const
{
    // The selected remote items; with none selected, those whose local copy is gone.
    const bool selectedOnly = CountSelectedItems() > 0;
    std::vector<CIndexItem*> wanted;
    const auto take = [&](CIndexItem* item) {
        if (!item->GetRemoteURL().isEmpty() && (selectedOnly || CIndexModel::IsCopyGone(*item)))
            wanted.push_back(item);
        return false;
    };
    if (selectedOnly)
        mModel->AnySelectedItem(take);
    else
        std::any_of(GetItemList().begin(), GetItemList().end(), take);
    return wanted;
}

SInt32 CIndexView::DownloadAgain()
{
    if (IsItemListLocked())
        return 0;
    const std::vector<CIndexItem*> wanted = ItemsToDownloadAgain();
    SInt32 started = 0;
    // An FTP account whose password the keyring lacks is asked for once, whatever
    // number of its items are downloaded; a cancel leaves its items alone.
    QHash<QString, QUrl> logins;
    for (const TLivePtr<CIndexItem>& held : Held(wanted)) {
        CIndexItem* item = held.Get();
        if (!item)
            continue;
        QUrl login;
        const QUrl remote = item->GetRemoteURL();
        if (LacksPassword(remote)) {
            const QString account = remote.adjusted(QUrl::RemovePath).toString();
            if (!logins.contains(account))
                logins.insert(account, AskServerPassword(remote));
            if (logins.value(account).isEmpty() || !(item = held.Get()))
                continue;
            login = remote;
            login.setPassword(logins.value(account).password());
        }
        if (StartDownloadTaskForItem(mModel, item, login))
            ++started;
    }
    return started;
}

void CIndexView::UploadItems()
{
    std::vector<CIndexItem*> items = GetModel().SelectedItems();
    if (items.empty())
        items.assign(GetItemList().begin(), GetItemList().end());
    if (items.empty())
        return;
    const QString from = items.size() == 1
        ? CopyLocalizedString(QStringLiteral("UPLOAD_ONE_ITEM_FROM")).arg(GetWindowTitle())
        : CopyLocalizedString(QStringLiteral("UPLOAD_ITEMS_FROM")).arg(QString::number(items.size()), GetWindowTitle());
    const QString prompt = CopyLocalizedString(QStringLiteral("600:69")) + from;
    LWindow* window = GetContainingWindow();
    QUrl address;
    SetBusy(true);
    const OSStatus status = CatchCode([&] {
        if (AskUploadAddress(window ? window->GetShell() : nullptr, prompt, address))
            UploadItemsTo(items, address);
    });
    SetBusy(false);
    ThrowIfOSErr_(status);
}

SInt32 CIndexView::UploadItemsTo(const std::vector<CIndexItem*>& items, const QUrl& address)
{
    SInt32 started = 0;
    // A password typed for the upload is kept in the keyring once, for every file.
    const QUrl login = CompleteCredentials(address);
    // From the last to the first, as the uploads queue up.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        CIndexItem* item = *it;
        const QByteArray* alias = item->GetAlias();
        const QUrl file = alias ? LocalCopy(*item) : QUrl();
        if (file.isEmpty())
            continue;
        if (item->GetRemoteURL().isEmpty()) {
            const QUrl remote = RemoteURLFor(address, QFileInfo(file.toLocalFile()).fileName());
            mModel->ChangeItem(item, kFieldRemoteURL, [&] {
                item->SetRemoteURL(remote);
                return noErr;
            });
        }
        StartUploadTaskForURL(login, alias);
        ++started;
    }
    return started;
}

// --- A new index -------------------------------------------------------------------------------------

LCommander* CIndexView::NewIndexFromSelection()
{
    const std::vector<CIndexItem*> selected = GetModel().SelectedItems();
    if (selected.empty())
        return nullptr;
    LWindow* window = GetContainingWindow();
    CIndexDoc* mine = window ? CIndexDoc::FindDocForWindow(window) : nullptr;
    auto* document = new CIndexDoc(mine ? mine->GetSuperCommander() : LCommander::GetTopCommander(), QUrl(), false, false);
    CIndexView* view = ViewOfPane(document->GetIndexViewPane());
    ThrowIfNil_(view);
    if (!GetWindowTitle().isEmpty())
        document->SetDescriptor(GetWindowTitle());
    const OSStatus status = CatchCode([&] {
        for (const TLivePtr<CIndexItem>& held : Held(selected)) {
            if (CIndexItem* item = held.Get()) {
                auto copy = std::make_unique<CIndexItem>(*item);
                view->InsertItem(copy.get(), kInsertAtEnd, false, false);
                copy.release();
            }
            CheckUserCancel();
        }
    });
    // What was copied before a cancel is shown all the same.
    view->Refresh();
    document->ShowWindow();
    ThrowIfOSErr_(status);
    return document;
}
