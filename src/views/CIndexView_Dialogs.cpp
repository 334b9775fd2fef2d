// The index view's property dialog, comment window and password.
#include "CIndexView.h"

#include "CIndexDoc.h"
#include "CIndexPackage.h"
#include "CInternetTask.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "IndexDocServices.h"
#include "Keychain.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "MacRoman.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QScreen>

namespace {

Q_LOGGING_CATEGORY(lcPassword, "orvex.errors.password")

constexpr ResIDT kPropertyDialog = 998;
constexpr ResIDT kCommentWindow = 999;
constexpr ResIDT kNewPasswordDialog = 994;
constexpr ResIDT kPasswordDialog = 995;

// Panes of the property dialog.
constexpr PaneIDT kPaneComment = 1001;
constexpr PaneIDT kPaneURL = 1002;
constexpr PaneIDT kPaneOpenFirstItem = 1003;
constexpr PaneIDT kPaneShowComment = 1004;
constexpr PaneIDT kPanePasswordText = 1005;
constexpr PaneIDT kPanePasswordButton = 1006;
constexpr PaneIDT kPaneFilesOutside = 1007;
constexpr PaneIDT kPaneFilesStored = 1008;
constexpr PaneIDT kPaneLocation = 1009;
constexpr PaneIDT kPaneFilesMoved = 1010;
constexpr PaneIDT kPaneKeychain = 1011;
// Panes of the password dialogs.
constexpr PaneIDT kPanePasswordPrompt = 4;
constexpr PaneIDT kPanePassword = 901;
constexpr PaneIDT kPaneRemember = 902;
constexpr PaneIDT kPaneMessage = 'mess';

constexpr qsizetype kMaxCommentLength = 5000;
constexpr qsizetype kMaxURLLength = 500;
constexpr int kMaxPasswordLength = 255;

// A typed password as the index stores it: Mac Roman, at most 255 bytes.
QByteArray StoredPassword(const QString& typed)
{
    return MacRoman::Encode(typed).left(kMaxPasswordLength);
}

LPane* RequirePane(LView* view, PaneIDT paneID)
{
    LPane* pane = view ? view->FindPaneByID(paneID) : nullptr;
    if (!pane)
        ThrowOSErr_(err_NilPointer, "dialog pane " + std::to_string(paneID) + " is missing");
    return pane;
}

// Stops the view hearing its dialog while the dialog is filled, whatever happens.
class StStopListening {
public:
    explicit StStopListening(LListener& listener)
        : mListener(listener)
    {
        mListener.StopListening();
    }
    ~StStopListening() { mListener.StartListening(); }

private:
    LListener& mListener;
};

} // namespace

// --- Property dialog ---------------------------------------------------------------------------

void CIndexView::ShowPropertyDialog()
{
    StStopListening quiet(*this);
    ClosePropertyDialog();
    LWindow* window = GetContainingWindow();
    LWindow* made = LWindow::CreateWindow(kPropertyDialog, window);
    auto* dialog = dynamic_cast<LDialogBox*>(made);
    if (!dialog) {
        delete made;
        ThrowOSErr_(err_NilPointer, "layout 998 is no dialog");
    }
    mPropertyDialog = dialog;
    dialog->AddListener(this);

    if (!GetComment().isEmpty())
        RequirePane(dialog, kPaneComment)->SetCFDescriptor(GetComment());
    if (!GetIndexURLText().isEmpty())
        RequirePane(dialog, kPaneURL)->SetCFDescriptor(GetIndexURLText());
    RequirePane(dialog, kPaneOpenFirstItem)->SetValue(TestFlags(kViewOpenFirstItemOnOpen) ? 1 : 0);
    RequirePane(dialog, kPaneShowComment)->SetValue(TestFlags(kViewShowCommentOnOpen) ? 1 : 0);
    if (CIndexDoc* document = window ? CIndexDoc::FindDocForWindow(window) : nullptr; document && document->GetPackage()) {
        const QUrl package = document->GetPackage()->GetPackageURL();
        if (package.isEmpty())
            ThrowOSErr_(err_NilPointer, "the index package has no address");
        // The user reads a path, not an address.
        RequirePane(dialog, kPaneLocation)->SetCFDescriptor(package.isLocalFile() ? package.toLocalFile() : package.toString(QUrl::FullyDecoded));
    }
    const bool stored = TestFlags(kViewStoreMediaFile);
    const bool removed = TestFlags(kViewRemoveMediaFile);
    const PaneIDT storage = !stored ? kPaneFilesOutside : (removed ? kPaneFilesMoved : kPaneFilesStored);
    for (PaneIDT radio : { kPaneFilesOutside, kPaneFilesStored, kPaneFilesMoved })
        RequirePane(dialog, radio)->SetValue(radio == storage ? 1 : 0);
    RequirePane(dialog, kPaneKeychain)->SetValue(GetKeepPasswordInKeychain() ? 1 : 0);
    ShowPasswordState();
    if (window)
        dialog->ShowAsSheetOf(window);
    else
        dialog->Show();
}

void CIndexView::ShowPasswordState()
{
    if (!mPropertyDialog)
        return;
    // The password the dialog's OK will leave the index with.
    const bool protectedOnOK = mDialogPassword ? !mDialogPassword->isEmpty() : HasPassword();
    RequirePane(mPropertyDialog, kPanePasswordText)->SetCFDescriptor(CopyLocalizedCFString(600, protectedOnOK ? 51 : 52));
    RequirePane(mPropertyDialog, kPanePasswordButton)->SetCFDescriptor(CopyLocalizedCFString(600, protectedOnOK ? 37 : 36));
    LPane* keychain = RequirePane(mPropertyDialog, kPaneKeychain);
    protectedOnOK ? keychain->Enable() : keychain->Disable();
    if (!protectedOnOK)
        keychain->SetValue(0);
}

void CIndexView::ApplyPropertyDialog()
{
    ThrowIfNil_(mPropertyDialog.data());
    LDialogBox* dialog = mPropertyDialog;
    const QString comment = RequirePane(dialog, kPaneComment)->GetCFDescriptor().left(kMaxCommentLength);
    const QString url = RequirePane(dialog, kPaneURL)->GetCFDescriptor().trimmed().left(kMaxURLLength);
    const bool keychainBefore = GetKeepPasswordInKeychain();
    const QByteArray passwordBefore = GetPassword();
    // What the dialog changed is the index's: the model tells whether anything did.
    mModel->ChangeSettings([&] {
        SetComment(comment);
        SetIndexURLText(url);
        if (mDialogPassword)
            SetNewPassword(*mDialogPassword);
        auto setFlag = [this](UInt32 bit, bool on) { on ? SetFlags(bit) : ClearFlags(bit); };
        setFlag(kViewOpenFirstItemOnOpen, RequirePane(dialog, kPaneOpenFirstItem)->GetValue() != 0);
        setFlag(kViewShowCommentOnOpen, RequirePane(dialog, kPaneShowComment)->GetValue() != 0);
        if (RequirePane(dialog, kPaneFilesStored)->GetValue() != 0) {
            SetFlags(kViewStoreMediaFile);
            ClearFlags(kViewRemoveMediaFile);
        } else if (RequirePane(dialog, kPaneFilesMoved)->GetValue() != 0) {
            SetFlags(kViewStoreMediaFile | kViewRemoveMediaFile);
        } else if (RequirePane(dialog, kPaneFilesOutside)->GetValue() != 0) {
            ClearFlags(kViewStoreMediaFile | kViewRemoveMediaFile);
        }
        SetKeepPasswordInKeychain(HasPassword() && RequirePane(dialog, kPaneKeychain)->GetValue() != 0);
    });
    ClosePropertyDialog();

    if (keychainBefore != GetKeepPasswordInKeychain() || passwordBefore != GetPassword())
        UpdateKeychainEntry();
    BroadcastState();
    if (LWindow* window = GetContainingWindow())
        window->Select();
}

void CIndexView::ClosePropertyDialog()
{
    if (LDialogBox* dialog = mPropertyDialog) {
        dialog->RemoveListener(this);
        dialog->DoClose();
    }
    mPropertyDialog = nullptr;
    mDialogPassword.reset();
}

// --- Comment window ---------------------------------------------------------------------------------

void CIndexView::ShowCommentWindow()
{
    LWindow* window = GetContainingWindow();
    if (!mCommentWindow) {
        LWindow* made = LWindow::CreateWindow(kCommentWindow, window);
        ThrowIfNil_(made);
        mCommentWindow = made;
        if (auto* broadcaster = dynamic_cast<LBroadcaster*>(made))
            broadcaster->AddListener(this);
    }
    if (!GetComment().isEmpty())
        RequirePane(mCommentWindow, kPaneMessage)->SetCFDescriptor(GetComment());
    if (window)
        mCommentWindow->SetCFDescriptor(window->GetCFDescriptor());
    // Where alerts go: centred over the window, a third of the way down.
    QRect over;
    if (window)
        window->GetGlobalBounds(over);
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    const QSize size = mCommentWindow->size();
    mCommentWindow->MoveWindowTo(over.left() + (over.width() - size.width()) / 2,
        over.top() + (over.height() - size.height()) / 3);
    mCommentWindow->Show();
    mCommentWindow->Select();
}

// --- Password ---------------------------------------------------------------------------------------

QString CIndexView::GetKeychainAccount() const
{
    LWindow* window = GetContainingWindow();
    if (CIndexDoc* document = window ? CIndexDoc::FindDocForWindow(window) : nullptr;
        document && document->GetPackage()) {
        const QUrl package = document->GetPackage()->GetPackageURL();
        return package.isLocalFile() ? package.toLocalFile() : package.toString();
    }
    return GetWindowTitle();
}

bool CIndexView::AskPassword(ResIDT layoutID, QByteArray& outPassword, bool& outRemember)
{
    QString typed;
    if (!AskPasswordText(layoutID, QString(), typed, outRemember))
        return false;
    outPassword = StoredPassword(typed);
    return true;
}

bool CIndexView::AskPasswordText(ResIDT layoutID, const QString& prompt, QString& outPassword, bool& outRemember)
{
    LWindow* window = GetContainingWindow();
    StDialogHandler handler(layoutID, window);
    LDialogBox* dialog = handler.GetDialog();
    if (window)
        dialog->SetCFDescriptor(window->GetCFDescriptor());
    if (!prompt.isEmpty())
        RequirePane(dialog, kPanePasswordPrompt)->SetCFDescriptor(prompt);
    auto* field = dynamic_cast<LEditText*>(RequirePane(dialog, kPanePassword));
    ThrowIfNil_(field);
    field->SetMaxChars(kMaxPasswordLength);
    field->GetLineEdit()->setEchoMode(QLineEdit::Password);
    field->GetLineEdit()->setFocus();
    LPane* remember = dialog->FindPaneByID(kPaneRemember);
    if (remember && !Keychain::IsAvailable())
        remember->Disable();

    MessageT message = msg_Nothing;
    while (message != msg_OK && message != msg_Cancel)
        message = handler.ModalLoop();
    if (message == msg_Cancel)
        return false;
    outPassword = field->GetCFDescriptor();
    outRemember = remember && remember->GetValue() != 0;
    return true;
}

QUrl CIndexView::AskServerPassword(const QUrl& url)
{
    // The prompt names the account and the server, never the password.
    QUrl account = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    account.setPassword(QString());
    QString password;
    bool remember = false;
    if (!AskPasswordText(kPasswordDialog,
            CopyLocalizedString(QStringLiteral("SERVER_PASSWORD_TEXT")).arg(account.toDisplayString()), password,
            remember))
        return {};
    QUrl login = url;
    login.setPassword(password);
    return CompleteCredentials(login, remember);
}

bool CIndexView::VerifyPassword()
{
    if (!HasPassword())
        return true; // nothing to verify
    const QString account = GetKeychainAccount();
    QByteArray kept;
    const OSStatus found = Keychain::FindGenericPassword(account, account, kept);
    if (found == noErr && kept == GetPassword())
        return true;
    // No keychain, no entry, or an entry of an older password: the user is asked.
    if (found != noErr && found != Keychain::kErrItemNotFound && found != Keychain::kErrNotAvailable)
        qCWarning(lcPassword) << "keychain entry not read for" << account << found;

    QByteArray typed;
    bool remember = false;
    if (!AskPassword(kPasswordDialog, typed, remember)) {
        LockItemList(); // the index stays unchangeable without its password
        ThrowOSErr_(kMsgUserCancelled, "the password was not given");
    }
    if (typed != GetPassword())
        ThrowOSErr_(kMsgIndexPassword, "wrong index password");
    if (remember && Keychain::IsAvailable()) {
        const OSStatus stored = Keychain::SetGenericPassword(account, account, GetPassword());
        if (stored != noErr)
            ThrowOSErr_(stored, "the password could not be kept in the keychain");
    }
    return true;
}

void CIndexView::ChangePassword()
{
    // A password already chosen in the open property dialog was asked for with the old one.
    if (HasPassword() && !(mPropertyDialog && mDialogPassword))
        VerifyPassword();
    QByteArray typed;
    bool remember = false;
    // Cancelling keeps the password the index has.
    if (!AskPassword(kNewPasswordDialog, typed, remember))
        return;
    if (mPropertyDialog) {
        // From the property dialog the new password waits for its OK; Cancel drops it.
        mDialogPassword = typed;
        ShowPasswordState();
        return;
    }
    SetNewPassword(typed);
    UpdateKeychainEntry();
    BroadcastState();
}

void CIndexView::SetNewPassword(const QByteArray& password)
{
    if (password == GetPassword())
        return;
    SetPassword(password); // a change of the index, saved with it
    if (!HasPassword())
        SetKeepPasswordInKeychain(false);
}

void CIndexView::UpdateKeychainEntry()
{
    // The entry holds the present password while the index keeps it there, and goes otherwise.
    if (!Keychain::IsAvailable())
        return;
    const QString account = GetKeychainAccount();
    const OSStatus status = HasPassword() && GetKeepPasswordInKeychain()
        ? Keychain::SetGenericPassword(account, account, GetPassword())
        : Keychain::DeleteGenericPassword(account, account);
    if (status != noErr)
        ThrowOSErr_(status, "the keychain entry of the index could not be changed");
}

bool CIndexView::UnlockWithPassword()
{
    // As a login prompt does: a wrong password asks again, saying so, until the
    // right one or Cancel.
    QString prompt;
    for (;;) {
        QString typed;
        bool remember = false;
        if (!AskPasswordText(kPasswordDialog, prompt, typed, remember))
            return false;
        if (StoredPassword(typed) == GetPassword())
            break;
        prompt = CopyLocalizedString(QStringLiteral("PASSWORD_WRONG_TEXT"));
    }
    EndScreenLock();
    return true;
}
