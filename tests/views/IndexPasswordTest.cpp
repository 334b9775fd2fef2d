// The index view's property dialog, comment window and password, with a real
// secret service (tests named *WithService*, run in a private session bus with
// a keyring daemon of their own) and with none.

#include "AliasRecord.h"
#include "CIndexDoc.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CInfoView.h"
#include "CInternetTask.h"
#include "FileRef.h"
#include "MacDates.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "IndexTaskServices.h"
#include "IndexWindowTest.h"
#include "Keychain.h"
#include "LStdControls.h"
#include "LThread.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "MacRoman.h"
#include "NetTestServers.h"
#include "Preferences.h"
#include "PropertyList.h"

#include "TestSupport.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>

#include <deque>

namespace {

// Answers the password dialogs as they come up: each answer types a password,
// ticks the remember box or not, and clicks OK or Cancel.
class PasswordAnswers : public QObject {
public:
    struct Answer {
        QString password;
        bool remember = false;
        bool ok = true;
    };

    PasswordAnswers()
    {
        mTimer.setInterval(5);
        QObject::connect(&mTimer, &QTimer::timeout, this, [this] { AnswerOpenDialog(); });
        mTimer.start();
    }

    void Add(Answer answer) { mAnswers.push_back(std::move(answer)); }
    int Asked() const { return mAsked; }
    QString LastTitle() const { return mLastTitle; }
    QString LastPrompt() const { return mLastPrompt; }
    int LastMaxLength() const { return mLastMaxLength; }
    std::function<void(LDialogBox*)> beforeAnswer;

private:
    void AnswerOpenDialog()
    {
        for (LWindow* window : LWindow::FetchWindows()) {
            auto* dialog = dynamic_cast<LDialogBox*>(window);
            auto* field = dialog ? dynamic_cast<LEditText*>(dialog->FindPaneByID(901)) : nullptr;
            if (!field || !dialog->IsVisible() || dialog->property("answered").toBool()
                || field->GetLineEdit()->echoMode() != QLineEdit::Password)
                continue;
            dialog->setProperty("answered", true);
            ++mAsked;
            mLastTitle = dialog->GetCFDescriptor();
            if (LPane* prompt = dialog->FindPaneByID(4))
                mLastPrompt = prompt->GetCFDescriptor();
            mLastMaxLength = field->GetLineEdit()->maxLength();
            if (beforeAnswer)
                beforeAnswer(dialog);
            Answer answer = mAnswers.empty() ? Answer { QString(), false, false } : mAnswers.front();
            if (!mAnswers.empty())
                mAnswers.pop_front();
            field->SetCFDescriptor(answer.password);
            if (LPane* remember = dialog->FindPaneByID(902))
                remember->SetValue(answer.remember ? 1 : 0);
            auto* button = dynamic_cast<LControl*>(dialog->FindPaneByID(answer.ok ? 1 : 2));
            if (button)
                button->SimulateHotSpotClick();
            return;
        }
    }

    QTimer mTimer;
    std::deque<Answer> mAnswers;
    int mAsked = 0;
    QString mLastTitle;
    QString mLastPrompt;
    int mLastMaxLength = 0;
};

class IndexPassword : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        InstallIndexTaskServices();
        SetPrefBoolean("SaveViewSettingsCloseWindow", true);
        SetPrefBoolean("IndexAutoSave", false);
        // Message numbers come as entries of list 500.
        SetErrorNotificationPoster([this](const SErrorReport& report) {
            reports.push_back(report.listID == 500 ? 100000 + report.messageIndex : -report.messageIndex);
        });
    }
    void TearDown() override
    {
        SetErrorNotificationPoster(nullptr);
        IndexWindowTest::TearDown();
    }

    // An empty package on disk, opened by the real read task.
    CIndexDoc* OpenPackage(const QString& name)
    {
        const QString package = mDir + "/" + name + ".idxp";
        if (!QFile::exists(package + "/index.db")) {
            CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr);
            Write(package + "/index.db", QByteArray());
            Write(package + "/settings.xml", PropertyList::ToXML(QVariantMap { { "IndexItemCount", qint32(0) } }));
        }
        auto* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
        EXPECT_TRUE(Idle(doc));
        return doc;
    }

    static bool Idle(CIndexDoc* doc)
    {
        return LThread::RunUntil([doc] { return doc->GetModel().CountRunningTasks() == 0; }, 20000);
    }

    static CIndexView* ViewOf(CIndexDoc* doc) { return dynamic_cast<CIndexView*>(doc->GetIndexViewPane()); }

    void SaveAndClose(CIndexDoc* doc)
    {
        doc->ObeyCommand(cmd_Save, nullptr);
        ASSERT_TRUE(Idle(doc));
        ASSERT_TRUE(doc->AttemptClose(true));
    }

    std::vector<SInt32> reports;
};

} // namespace

// --- Without a keychain: the user is asked ------------------------------------------------------------

TEST_F(IndexPassword, WithoutServiceVerifyingAsksAndTellsRightWrongAndCancel)
{
    ASSERT_FALSE(Keychain::IsAvailable());
    CIndexDoc* doc = OpenPackage("Asked");
    CIndexView* view = ViewOf(doc);
    EXPECT_TRUE(view->VerifyPassword()); // no password: nothing to ask
    view->SetPassword("harbour");

    PasswordAnswers answers;
    answers.Add({ "harbour", true });
    EXPECT_TRUE(view->VerifyPassword());
    EXPECT_EQ(answers.LastTitle(), doc->GetWindow()->GetCFDescriptor());
    // Remembering is asked for but there is no keychain to remember in: asked again.
    answers.Add({ "Harbour" });
    EXPECT_EQ(ThrownCode([&] { view->VerifyPassword(); }), kMsgIndexPassword);
    EXPECT_FALSE(view->IsItemListLocked());
    answers.Add({ "harbour", false, false });
    EXPECT_EQ(ThrownCode([&] { view->VerifyPassword(); }), kMsgUserCancelled);
    EXPECT_TRUE(view->IsItemListLocked()); // the index cannot be changed without its password
    EXPECT_EQ(answers.Asked(), 3);
    view->UnlockItemList();
}

TEST_F(IndexPassword, WithoutServiceAPasswordIsSetChangedAndClearedAndTheFlagGoesWithIt)
{
    CIndexDoc* doc = OpenPackage("Changed");
    CIndexView* view = ViewOf(doc);
    doc->SetModified(false);
    PasswordAnswers answers;

    answers.Add({ "first" }); // new password (no old one to verify)
    view->ChangePassword();
    EXPECT_TRUE(view->HasPassword());
    EXPECT_EQ(view->GetPassword(), "first");
    EXPECT_TRUE(doc->IsModified());

    doc->SetModified(false);
    view->SetKeepPasswordInKeychain(true);
    answers.Add({ "first" });  // the old one
    answers.Add({ "second" }); // the new one
    view->ChangePassword();
    EXPECT_EQ(view->GetPassword(), "second");
    EXPECT_TRUE(doc->IsModified());

    // Cancelling the new password keeps the old one.
    answers.Add({ "second" });
    answers.Add({ "", false, false });
    view->ChangePassword();
    EXPECT_EQ(view->GetPassword(), "second");

    // A wrong old password changes nothing.
    answers.Add({ "third" });
    EXPECT_EQ(ThrownCode([&] { view->ChangePassword(); }), kMsgIndexPassword);
    EXPECT_EQ(view->GetPassword(), "second");

    doc->SetModified(false);
    answers.Add({ "second" });
    answers.Add({ "" }); // empty: no password any more
    view->ChangePassword();
    EXPECT_FALSE(view->HasPassword());
    EXPECT_FALSE(view->GetKeepPasswordInKeychain());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(answers.Asked(), 8);
}

TEST_F(IndexPassword, WithoutServiceTheLockedWindowTakesAPasswordOfFullLength)
{
    CIndexDoc* doc = OpenPackage("Locked");
    CIndexView* view = ViewOf(doc);
    const QString longPassword = QString(200, 'k') + "é";
    view->SetPassword(MacRoman::Encode(longPassword));
    gIndexWindowLocked = true;
    view->LockItemList();

    PasswordAnswers answers;
    // A wrong one (what a 20-character field would have kept) is asked for again,
    // with no error report; Cancel then keeps the lock.
    answers.Add({ longPassword.left(20) });
    answers.Add({ longPassword, false, false });
    EXPECT_FALSE(doc->GetIndexView()->UnlockWithPassword());
    EXPECT_EQ(answers.Asked(), 2);
    EXPECT_EQ(answers.LastPrompt(), CopyLocalizedString(QStringLiteral("PASSWORD_WRONG_TEXT")));
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(gIndexWindowLocked);
    answers.Add({ longPassword });
    EXPECT_TRUE(doc->GetIndexView()->UnlockWithPassword());
    EXPECT_GE(answers.LastMaxLength(), 255);
    EXPECT_FALSE(gIndexWindowLocked);
    EXPECT_FALSE(view->IsItemListLocked());
}

TEST_F(IndexPassword, WithoutServiceTheScreenLockNeedsAPasswordAndEndsOnlyWithIt)
{
    CIndexDoc* doc = OpenPackage("ScreenLock");
    CIndexView* view = ViewOf(doc);
    doc->SetModified(false);
    PasswordAnswers answers;
    // An empty entry or a cancel locks nothing and sets no password.
    answers.Add({ "" });
    answers.Add({ "gate", false, false });
    for (int i = 0; i < 2; ++i) {
        view->ObeyCommand(cmd_LockScreen, nullptr);
        EXPECT_FALSE(gIndexWindowLocked);
        EXPECT_FALSE(view->HasPassword());
        EXPECT_FALSE(view->IsFullScreen());
    }
    const QString longPassword = QString(240, 'g') + "!";
    answers.Add({ longPassword });
    view->ObeyCommand(cmd_LockScreen, nullptr);
    ASSERT_TRUE(gIndexWindowLocked);
    EXPECT_EQ(answers.LastMaxLength(), 255);
    EXPECT_EQ(view->GetPassword(), MacRoman::Encode(longPassword));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(view->IsItemListLocked());
    Boolean enabled = false, usesMark = false;
    UInt16 mark = noMark;
    Str255 name;
    view->ProcessCommandStatus(cmd_ToggleFullScreen, enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled);

    EventRecord escape;
    escape.what = keyDown;
    escape.message = char_Escape;
    // Escape asks for the password: a wrong one is asked for again; Cancel keeps the
    // window locked and full screen, with no error report.
    answers.Add({ longPassword.left(20) });
    answers.Add({ longPassword, false, false });
    view->HandleGridKey(escape);
    EXPECT_TRUE(gIndexWindowLocked);
    EXPECT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(reports.empty());
    answers.Add({ longPassword });
    view->HandleGridKey(escape);
    EXPECT_FALSE(gIndexWindowLocked);
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_FALSE(view->IsItemListLocked());
    EXPECT_EQ(answers.Asked(), 6);
}

TEST_F(IndexPassword, WithoutServiceThePasswordSurvivesSaveAndReopen)
{
    CIndexDoc* doc = OpenPackage("Kept");
    PasswordAnswers answers;
    answers.Add({ "kept in the package" });
    ViewOf(doc)->ChangePassword();
    SaveAndClose(doc);

    CIndexDoc* again = OpenPackage("Kept");
    EXPECT_TRUE(ViewOf(again)->HasPassword());
    EXPECT_EQ(ViewOf(again)->GetPassword(), "kept in the package");
    EXPECT_FALSE(ViewOf(again)->GetKeepPasswordInKeychain());
    EXPECT_EQ(answers.Asked(), 1); // a password kept in the package is not asked for on opening
}

// --- With the secret service -----------------------------------------------------------------------------

TEST_F(IndexPassword, WithServiceARememberedPasswordIsNotAskedForAgain)
{
    ASSERT_TRUE(Keychain::IsAvailable());
    CIndexDoc* doc = OpenPackage("Remembered");
    CIndexView* view = ViewOf(doc);
    view->SetPassword("tide");
    const QString account = view->GetKeychainAccount();
    EXPECT_TRUE(account.endsWith("/Remembered.idxp/")); // the package, not the window's title
    ASSERT_EQ(Keychain::DeleteGenericPassword(account, account), noErr);

    PasswordAnswers answers;
    answers.Add({ "tide", true });
    EXPECT_TRUE(view->VerifyPassword());
    QByteArray kept;
    ASSERT_EQ(Keychain::FindGenericPassword(account, account, kept), noErr);
    EXPECT_EQ(kept, "tide");
    EXPECT_TRUE(view->VerifyPassword());
    EXPECT_EQ(answers.Asked(), 1);

    // An entry of an older password is no answer: the user is asked again.
    ASSERT_EQ(Keychain::SetGenericPassword(account, account, "old tide"), noErr);
    answers.Add({ "tide", true });
    EXPECT_TRUE(view->VerifyPassword());
    EXPECT_EQ(answers.Asked(), 2);
    ASSERT_EQ(Keychain::FindGenericPassword(account, account, kept), noErr);
    EXPECT_EQ(kept, "tide");
}

TEST_F(IndexPassword, WithServiceTheEntryFollowsChangesAndGoesWithThePassword)
{
    CIndexDoc* doc = OpenPackage("Followed");
    CIndexView* view = ViewOf(doc);
    const QString account = view->GetKeychainAccount();
    PasswordAnswers answers;
    answers.Add({ "one" });
    view->ChangePassword();
    view->SetKeepPasswordInKeychain(true);
    answers.Add({ "one", true }); // verified and remembered
    answers.Add({ "two" });
    view->ChangePassword();
    QByteArray kept;
    ASSERT_EQ(Keychain::FindGenericPassword(account, account, kept), noErr);
    EXPECT_EQ(kept, "two");

    answers.Add({ "" }); // the entry answers the old password; the new one is empty
    view->ChangePassword();
    EXPECT_FALSE(view->HasPassword());
    EXPECT_EQ(Keychain::FindGenericPassword(account, account, kept), Keychain::kErrItemNotFound);
    EXPECT_EQ(answers.Asked(), 4);
}

TEST_F(IndexPassword, WithServiceAPasswordInTheKeychainSurvivesSaveAndReopenWithoutAsking)
{
    CIndexDoc* doc = OpenPackage("Keychain");
    CIndexView* view = ViewOf(doc);
    PasswordAnswers answers;
    answers.Add({ "sesame" });
    view->ChangePassword();
    view->ShowPropertyDialog();
    view->GetPropertyDialog()->FindPaneByID(1011)->SetValue(1);
    dynamic_cast<LControl*>(view->GetPropertyDialog()->FindPaneByID(900))->SimulateHotSpotClick();
    EXPECT_TRUE(view->GetKeepPasswordInKeychain());
    SaveAndClose(doc);

    CIndexDoc* again = OpenPackage("Keychain");
    EXPECT_EQ(ViewOf(again)->GetPassword(), "sesame");
    EXPECT_TRUE(ViewOf(again)->GetKeepPasswordInKeychain());
    EXPECT_EQ(answers.Asked(), 1); // the keychain answered for the user
    SaveAndClose(again);

    // Without the entry the user is asked while the index opens; cancelling leaves it locked.
    const QString account = QDir(mDir).filePath("Keychain.idxp/");
    ASSERT_EQ(Keychain::DeleteGenericPassword(account, account), noErr);
    answers.Add({ "", false, false });
    CIndexDoc* third = OpenPackage("Keychain");
    EXPECT_EQ(answers.Asked(), 2);
    EXPECT_TRUE(ViewOf(third)->IsItemListLocked());
}

// --- The property dialog and the comment window ---------------------------------------------------------

TEST_F(IndexPassword, WithoutServiceThePropertyDialogShowsAndAppliesTheIndexsOptions)
{
    CIndexDoc* doc = OpenPackage("Options");
    CIndexView* view = ViewOf(doc);
    view->SetComment("Boats");
    view->SetFlags(kViewStoreMediaFile);
    doc->SetModified(false);
    view->ShowPropertyDialog();
    LDialogBox* dialog = view->GetPropertyDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->FindPaneByID(1001)->GetCFDescriptor(), "Boats");
    EXPECT_EQ(dialog->FindPaneByID(1008)->GetValue(), 1);
    EXPECT_EQ(dialog->FindPaneByID(1007)->GetValue(), 0);
    EXPECT_TRUE(dialog->FindPaneByID(1009)->GetCFDescriptor().endsWith("/Options.idxp/"));
    EXPECT_TRUE(dialog->FindPaneByID(1009)->GetCFDescriptor().startsWith(mDir)); // a path, not an address
    EXPECT_EQ(dialog->FindPaneByID(1006)->GetCFDescriptor(), "Set Password…");
    QApplication::processEvents();
    EXPECT_TRUE(dialog->GetShell()->grab().save(QDir(QCoreApplication::applicationDirPath()).filePath("property-dialog.png")));

    dialog->FindPaneByID(1001)->SetCFDescriptor("Boats in the harbour" + QString(6000, '.'));
    dialog->FindPaneByID(1002)->SetCFDescriptor("https://example.org/boats");
    dialog->FindPaneByID(1003)->SetValue(1);
    dialog->FindPaneByID(1004)->SetValue(1);
    dynamic_cast<LControl*>(dialog->FindPaneByID(1010))->SimulateHotSpotClick(); // as the user picks it
    dynamic_cast<LControl*>(dialog->FindPaneByID(900))->SimulateHotSpotClick();
    EXPECT_EQ(view->GetPropertyDialog(), nullptr);
    EXPECT_EQ(view->GetComment().size(), 5000);
    EXPECT_EQ(view->GetIndexURLText(), "https://example.org/boats");
    EXPECT_TRUE(view->TestFlags(kViewOpenFirstItemOnOpen | kViewShowCommentOnOpen));
    EXPECT_TRUE(view->TestFlags(kViewStoreMediaFile) && view->TestFlags(kViewRemoveMediaFile));
    EXPECT_TRUE(doc->IsModified()); // saved with the index
    EXPECT_EQ(dynamic_cast<LControl*>(doc->GetWindow()->FindPaneByID(CInfoView::kPaneStorageButton))->GetUserCon(), 456);

    doc->WriteSettings(false);
    QVariant settings;
    ASSERT_EQ(PropertyList::ReadFile(mDir + "/Options.idxp/settings.xml", settings), noErr);
    const QVariantMap map = settings.toMap();
    EXPECT_EQ(map.value("URL").toString(), "https://example.org/boats");
    EXPECT_EQ(map.value("IndexShowInfoOnOpen"), QVariant(true));
    EXPECT_EQ(map.value("IndexShowSlideShowOnOpen"), QVariant(true));
    EXPECT_EQ(map.value("IndexRemoveMediaFile"), QVariant(true));

    // Outside only, then cancel: nothing changes.
    view->ShowPropertyDialog();
    dynamic_cast<LControl*>(view->GetPropertyDialog()->FindPaneByID(1007))->SimulateHotSpotClick();
    view->GetPropertyDialog()->FindPaneByID(1002)->SetCFDescriptor("");
    dynamic_cast<LControl*>(view->GetPropertyDialog()->FindPaneByID(901))->SimulateHotSpotClick();
    EXPECT_EQ(view->GetPropertyDialog(), nullptr);
    EXPECT_TRUE(view->TestFlags(kViewStoreMediaFile));
    EXPECT_EQ(view->GetIndexURLText(), "https://example.org/boats");

    // Escape cancels too, from the comment and from the address.
    for (PaneIDT typedIn : { 1001, 1002 }) {
        view->ShowPropertyDialog();
        LDialogBox* escaped = view->GetPropertyDialog();
        escaped->FindPaneByID(1002)->SetCFDescriptor("https://example.org/other");
        QWidget* field = escaped->FindPaneByID(typedIn);
        for (QWidget* child : field->findChildren<QWidget*>()) {
            if (child->focusPolicy() & Qt::TabFocus) {
                field = child;
                break;
            }
        }
        escaped->Select();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Escape);
        EXPECT_EQ(view->GetPropertyDialog(), nullptr) << typedIn;
        EXPECT_EQ(view->GetIndexURLText(), "https://example.org/boats");
    }
}

TEST_F(IndexPassword, WithoutServiceThePasswordButtonOfTheDialogSetsItAndRelabels)
{
    CIndexDoc* doc = OpenPackage("Button");
    CIndexView* view = ViewOf(doc);
    view->ShowPropertyDialog();
    LDialogBox* dialog = view->GetPropertyDialog();
    EXPECT_FALSE(dialog->FindPaneByID(1011)->IsEnabled()); // no password to keep
    PasswordAnswers answers;
    answers.beforeAnswer = [](LDialogBox* asking) {
        asking->GetShell()->grab().save(QDir(QCoreApplication::applicationDirPath()).filePath("password-dialog.png"));
    };
    answers.Add({ "gate" });
    dynamic_cast<LControl*>(dialog->FindPaneByID(1006))->SimulateHotSpotClick();
    EXPECT_EQ(dialog->FindPaneByID(1005)->GetCFDescriptor(), "A password protects this index.");
    EXPECT_EQ(dialog->FindPaneByID(1006)->GetCFDescriptor(), "Change Password…");
    EXPECT_TRUE(dialog->FindPaneByID(1011)->IsEnabled());
    EXPECT_FALSE(view->HasPassword()); // until the dialog's OK
    dynamic_cast<LControl*>(dialog->FindPaneByID(900))->SimulateHotSpotClick();
    EXPECT_EQ(view->GetPassword(), "gate");
    EXPECT_FALSE(doc->GetWindow()->FindPaneByID(CInfoView::kPanePasswordButton)->isHidden());
}

TEST_F(IndexPassword, WithoutServiceTheCommentWindowShowsTheCommentAndOpensWithTheIndexWhenAsked)
{
    CIndexDoc* doc = OpenPackage("Commented");
    CIndexView* view = ViewOf(doc);
    view->SetComment("Low tide at the harbour, early in the morning.");
    view->SetFlags(kViewShowCommentOnOpen);
    SaveAndClose(doc);

    CIndexDoc* again = OpenPackage("Commented");
    LWindow* comment = ViewOf(again)->GetCommentWindow();
    ASSERT_TRUE(comment);
    EXPECT_TRUE(comment->IsVisible());
    EXPECT_EQ(comment->FindPaneByID('mess')->GetCFDescriptor(), "Low tide at the harbour, early in the morning.");
    QApplication::processEvents();
    EXPECT_TRUE(comment->GetShell()->grab().save(QDir(QCoreApplication::applicationDirPath()).filePath("comment-window.png")));
    // Its button puts it away; it is kept for the next time.
    dynamic_cast<LControl*>(comment->FindPaneByID(900))->SimulateHotSpotClick();
    EXPECT_FALSE(comment->IsVisible());
    ViewOf(again)->ShowCommentWindow();
    EXPECT_EQ(ViewOf(again)->GetCommentWindow(), comment);
}

// --- Set Password… in the property dialog, as the user goes -------------------------------------------------

TEST_F(IndexPassword, WithoutServiceAPasswordSetInThePropertyDialogWaitsForItsOK)
{
    CIndexDoc* doc = OpenPackage("Pending");
    CIndexView* view = ViewOf(doc);
    doc->SetModified(false);
    LDialogBox* properties = nullptr;

    // Set Password…, a password typed and confirmed, then Cancel on the properties.
    for (bool accept : { false, true }) {
        view->ObeyCommand(cmd_IndexProperties, nullptr);
        properties = view->GetPropertyDialog();
        ASSERT_TRUE(properties);
        UserSteps user({
            [&] {
                ClickPane(properties, 1006); // Set Password…
                return true;
            },
            [&] {
                LDialogBox* asking = ShownDialogWith(901, properties);
                if (!asking || !TypeIntoField(asking, 901, "lantern"))
                    return false;
                ClickPane(asking, 1); // OK
                return true;
            },
        });
        ASSERT_TRUE(RunEventsUntil([&] { return user.AllDone() && !ShownDialogWith(901, properties); }, 20000));
        // The dialog tells what OK will do; the index itself has not changed yet.
        EXPECT_EQ(properties->FindPaneByID(1005)->GetCFDescriptor(), "A password protects this index.");
        EXPECT_EQ(properties->FindPaneByID(1006)->GetCFDescriptor(), "Change Password…");
        EXPECT_TRUE(properties->FindPaneByID(1011)->IsEnabled());
        EXPECT_FALSE(view->HasPassword());
        EXPECT_FALSE(doc->IsModified());
        EXPECT_TRUE(doc->GetWindow()->FindPaneByID(CInfoView::kPanePasswordButton)->isHidden());

        ClickPane(properties, accept ? 900 : 901); // OK or Cancel of the properties
        EXPECT_EQ(view->GetPropertyDialog(), nullptr);
        if (!accept) {
            EXPECT_FALSE(view->HasPassword()) << "Cancel keeps the index without a password";
            EXPECT_FALSE(doc->IsModified());
        }
    }
    EXPECT_EQ(view->GetPassword(), "lantern");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_FALSE(doc->GetWindow()->FindPaneByID(CInfoView::kPanePasswordButton)->isHidden());

    // Clearing it (old password given, an empty new one) and cancelling keeps it too.
    doc->SetModified(false);
    view->ObeyCommand(cmd_IndexProperties, nullptr);
    properties = view->GetPropertyDialog();
    ASSERT_TRUE(properties);
    int asked = 0;
    UserSteps user({
        [&] {
            ClickPane(properties, 1006); // Change Password…
            return true;
        },
        [&] {
            LDialogBox* asking = ShownDialogWith(901, properties);
            if (!asking || asking->property("typed").toBool() || !TypeIntoField(asking, 901, asked == 0 ? "lantern" : ""))
                return false;
            asking->setProperty("typed", true);
            ++asked;
            ClickPane(asking, 1);
            return asked == 2 ? true : false;
        },
    });
    ASSERT_TRUE(RunEventsUntil([&] { return asked == 2 && !ShownDialogWith(901, properties); }, 20000));
    EXPECT_EQ(properties->FindPaneByID(1006)->GetCFDescriptor(), "Set Password…");
    EXPECT_TRUE(view->HasPassword());
    ClickPane(properties, 901);
    EXPECT_EQ(view->GetPassword(), "lantern");
    EXPECT_FALSE(doc->IsModified());
}

// --- The password of an FTP account ---------------------------------------------------------------------

namespace {

// Download Again of an item on an FTP server whose password the keyring lacks,
// answered as `answers` says; answers the downloaded file's bytes ("" for none).
QByteArray DownloadAgainFromFTP(CIndexView* view, CIndexItem* item, const QString& downloads)
{
    view->DeselectAll();
    view->SelectIndex(view->GetModel().GetIndexOfItem(item));
    for (const QString& name : QDir(downloads).entryList(QDir::Files))
        QFile::remove(downloads + "/" + name);
    view->DownloadAgain();
    EXPECT_TRUE(LThread::RunUntil([&] { return view->GetModel().CountRunningTasks() == 0; }, 30000));
    const QStringList names = QDir(downloads).entryList(QDir::Files);
    return names.size() == 1 ? ReadWholeFile(downloads + "/" + names.front()) : QByteArray();
}

class FTPPassword : public IndexPassword {
protected:
    void SetUp() override
    {
        IndexPassword::SetUp();
        QDir().mkpath(mDir + "/server");
        Write(mDir + "/server/harbour.jpg", "harbour");
        server = std::make_unique<LocalServer>(QStringLiteral("ftp_server.py"), mDir + "/server");
        downloads = mDir + "/downloads";
        QDir().mkpath(downloads);
        QByteArray alias;
        ASSERT_EQ(NewAliasBytes(nullptr, FileRef(downloads), alias), noErr);
        SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
        SetPrefBoolean(QStringLiteral("AutoCreateThumbnail"), false);
        SetPrefBoolean(QStringLiteral("FTPPassiveMode"), true);
        doc = new CIndexDoc(nullptr, {}, false, false);
        view = ViewOf(doc);
        remote = server->URL("ftp", "/harbour.jpg", "user");
        item = new CIndexItem(remote);
        item->SetRemoteURL(remote);
        view->InsertItem(item, kInsertAtEnd, false, false);
        doc->ShowWindow();
    }
    void TearDown() override
    {
        doc->SetModified(false);
        delete doc;
        server.reset();
        for (const char* key : { "DownloadFolderAlias", "AutoCreateThumbnail", "FTPPassiveMode", "AskBeforeConnecting" })
            SetPrefDefault(QString::fromLatin1(key));
        IndexPassword::TearDown();
    }

    std::unique_ptr<LocalServer> server;
    QString downloads;
    CIndexDoc* doc = nullptr;
    CIndexView* view = nullptr;
    QUrl remote;
    CIndexItem* item = nullptr;
};

} // namespace

TEST_F(FTPPassword, WithServiceDownloadAgainAsksForTheMissingPasswordAndKeepsItOnlyWhenTold)
{
    ASSERT_TRUE(Keychain::IsAvailable());
    ASSERT_TRUE(LacksPassword(remote));
    PasswordAnswers answers;
    answers.Add({ "secret", false });
    EXPECT_EQ(DownloadAgainFromFTP(view, item, downloads), QByteArray("harbour"));
    EXPECT_EQ(answers.Asked(), 1);
    EXPECT_TRUE(answers.LastPrompt().contains(QStringLiteral("user@127.0.0.1"))) << answers.LastPrompt().toStdString();
    EXPECT_TRUE(LacksPassword(remote)); // not kept: the user did not ask for it

    answers.Add({ "secret", true });
    EXPECT_EQ(DownloadAgainFromFTP(view, item, downloads), QByteArray("harbour"));
    EXPECT_EQ(answers.Asked(), 2);
    EXPECT_FALSE(LacksPassword(remote));
    // Kept: the next download logs in without asking.
    EXPECT_EQ(DownloadAgainFromFTP(view, item, downloads), QByteArray("harbour"));
    EXPECT_EQ(answers.Asked(), 2);
    EXPECT_TRUE(reports.empty());
}

TEST_F(FTPPassword, WithoutServiceDownloadAgainAsksAndCancelLeavesTheItemAlone)
{
    PasswordAnswers answers;
    bool rememberOffered = true;
    answers.beforeAnswer = [&](LDialogBox* dialog) { rememberOffered = dialog->FindPaneByID(902)->IsEnabled(); };
    answers.Add({ "secret", true });
    EXPECT_EQ(DownloadAgainFromFTP(view, item, downloads), QByteArray("harbour"));
    EXPECT_FALSE(rememberOffered); // there is no keyring to keep it in
    answers.Add({ "secret", false, false });
    EXPECT_EQ(DownloadAgainFromFTP(view, item, downloads), QByteArray());
    EXPECT_EQ(answers.Asked(), 2);
    EXPECT_TRUE(reports.empty()); // no "unexpected error" after a failed login
}

// An address of an account without its password, typed in Download Addresses… or
// dropped on the window, asks for the password as Download Again does, and the
// file comes.
TEST_F(FTPPassword, WithoutServiceATypedOrDroppedAddressAsksForThePassword)
{
    const QString address = server->URL("ftp", "/harbour.jpg", "user").toString();
    const struct {
        const char* how;
        std::function<void()> give;
    } ways[] = {
        { "typed", [&] {
             UserSteps user({ [&] {
                 LDialogBox* dialog = ShownDialogWith(901);
                 if (!dialog || !TypeIntoField(dialog, 901, address))
                     return false;
                 ClickPane(dialog, 1);
                 return true;
             } });
             EXPECT_TRUE(view->ProcessCommand(1035)); // Download Addresses…
             EXPECT_TRUE(user.AllDone());
         } },
        { "dropped", [&] {
             SetPrefBoolean(QStringLiteral("AskBeforeConnecting"), false); // a drop downloads at once
             QMimeData data;
             data.setUrls({ QUrl(address) });
             const QPoint at(view->width() - 5, view->height() - 5);
             QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
             QCoreApplication::sendEvent(view, &enter);
             ASSERT_TRUE(enter.isAccepted());
             QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
             QCoreApplication::sendEvent(view, &drop);
         } },
    };
    int asked = 0;
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        for (const QString& name : QDir(downloads).entryList(QDir::Files))
            QFile::remove(downloads + "/" + name);
        PasswordAnswers answers;
        answers.Add({ "secret", false });
        const SInt32 before = view->CountItems();
        way.give();
        EXPECT_TRUE(LThread::RunUntil([&] { return view->GetModel().CountRunningTasks() == 0; }, 30000));
        EXPECT_EQ(answers.Asked(), 1);
        EXPECT_EQ(view->CountItems(), before + 1);
        const QStringList names = QDir(downloads).entryList(QDir::Files);
        ASSERT_EQ(names.size(), 1);
        EXPECT_EQ(ReadWholeFile(downloads + "/" + names.front()), QByteArray("harbour"));
        asked += answers.Asked();
    }
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(reports.empty()); // no "unexpected error" from a refused login
}

// A downloaded item has its file's size, dates and kind, and no error mark, in
// the window and once the index is opened again.
TEST_F(FTPPassword, WithoutServiceADownloadedItemTakesItsFilesFacts)
{
    const QByteArray photo = ReadWholeFile(TestDataPath(QStringLiteral("exiftool-images/Canon.jpg")));
    Write(mDir + "/server/photo.jpg", photo);
    CIndexDoc* index = OpenPackage(QStringLiteral("Downloads"));
    CIndexView* shown = ViewOf(index);
    const QUrl address = server->URL("ftp", "/photo.jpg", "user");
    auto* fetched = new CIndexItem(address);
    fetched->SetRemoteURL(address);
    shown->InsertItem(fetched, kInsertAtEnd, false, false);
    PasswordAnswers answers;
    answers.Add({ "secret", false });
    ASSERT_EQ(DownloadAgainFromFTP(shown, fetched, downloads), photo);

    const QString file = downloads + "/photo.jpg";
    FileStat stat;
    ASSERT_EQ(FileRef(file).Stat(stat), noErr);
    const auto expectFacts = [&](CIndexItem* item) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->GetTotalSize(), UInt32(photo.size()));
        EXPECT_EQ(item->GetModificationDate(), UInt32(stat.modificationSeconds + kSecondsFrom1904To1970));
        EXPECT_NE(item->GetCreationDate(), 0u);
        EXPECT_EQ(item->GetFileTypeCode(), OSType('JPEG'));
        EXPECT_EQ(item->GetError(), nullptr);
    };
    {
        SCOPED_TRACE("downloaded");
        expectFacts(fetched);
    }
    ASSERT_NO_FATAL_FAILURE(SaveAndClose(index));
    index = OpenPackage(QStringLiteral("Downloads"));
    {
        SCOPED_TRACE("opened again");
        ASSERT_EQ(ViewOf(index)->CountItems(), 1);
        expectFacts(ViewOf(index)->GetModel().ItemAt(1));
    }
    index->SetModified(false);
    delete index;
    EXPECT_TRUE(reports.empty());
}
