// The screen lock as the user meets it: Lock Screen chosen from the Index menu,
// the password typed into the real dialogs, the menus kept up to date by the
// program's own timer all the while.
#include "AppRunSupport.h"
#include "AlertAnswer.h"
#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexView.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "PrefKeys.h"
#include "Preferences.h"
#include "QueuedInput.h"
#include "TestSupport.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr CommandT kLockScreenCommand = 1020;
constexpr PaneIDT kPasswordField = 901;

// Types the password into the dialog that asks for it, then answers it as told.
UserSteps::Step AnswerPassword(const QString& password, bool withReturn, LDialogBox** outDialog = nullptr)
{
    return [=] {
        LDialogBox* dialog = ShownDialogWith(kPasswordField);
        if (!dialog || dialog->property("answered").toBool())
            return false;
        QLineEdit* field = TypeIntoField(dialog, kPasswordField, password);
        if (!field)
            return false;
        dialog->setProperty("answered", true);
        if (outDialog)
            *outDialog = dialog;
        if (withReturn)
            QTest::keyClick(field, Qt::Key_Return);
        else
            ClickPane(dialog, 1); // OK
        return true;
    };
}

// Another program takes the keyboard: on X the focus goes from our windows to none,
// as the X server moves it for a click in another program's window; elsewhere Qt's
// window system layer is told so.
void KeyboardGoesToAnotherProgram()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr) {
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_NONE, XCB_NONE, XCB_CURRENT_TIME);
        xcb_flush(connection);
        return;
    }
    QWindowSystemInterface::handleWindowActivated(nullptr);
}

class ScreenLockWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Pref::DefaultIndexView.Set(kCmdThumbnailView);
        document = StartWithNewIndex(app);
        ASSERT_NE(document, nullptr);
        window = document->GetWindow();
        view = IndexViewOfDocument(document);
        ASSERT_NE(view, nullptr);
        // The program's idle timer, which keeps the menus up to date.
        app->StartRepeating();
    }
    void TearDown() override
    {
        gIndexWindowLocked = false;
        if (app) {
            app->StopRepeating();
            for (CIndexDoc* open : OpenIndexDocuments())
                open->SetModified(false);
            app->AttemptQuit();
        }
        app.reset();
    }

    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = nullptr;
    LWindow* window = nullptr;
    CIndexView* view = nullptr;
};

class ScreenLock : public ScreenLockWindow, public ::testing::WithParamInterface<bool> { };

// The view the screen is locked from and a key the user types on the locked screen.
struct LockedKey {
    const char* name;
    SInt32 viewCommand;
    Qt::Key key;
    const char* text;
    bool asksPassword; // else the key selects by name, in the locked window
};

void PrintTo(const LockedKey& row, std::ostream* out)
{
    *out << row.name;
}

class ScreenLockKeys : public ScreenLockWindow, public ::testing::WithParamInterface<LockedKey> { };

} // namespace

// Locked with a new password, unlocked with the wrong one and then the right one,
// each answered with OK or with Return as the test's parameter says; the photographs
// added before, never saved, are still there.
TEST_P(ScreenLock, LockedAndUnlockedThroughTheRealDialogsKeepsTheUnsavedIndex)
{
    const bool withReturn = GetParam();
    const QStringList photos = CameraPhotos().mid(0, 3);
    ASSERT_EQ(photos.size(), 3);
    for (const QString& photo : photos)
        document->AddItem(QUrl::fromLocalFile(photo));
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->CountAllItems() == 3; }));
    ASSERT_TRUE(document->IsModified());

    window->Select();
    LCommander::SwitchTarget(view);
    QAction* lock = OpenMenuItem(window, kLockScreenCommand);
    ASSERT_NE(lock, nullptr);
    ASSERT_TRUE(lock->isEnabled());
    EXPECT_EQ(QString(lock->text()).remove(QLatin1Char('&')), "Lock Screen…");
    {
        UserSteps user({ AnswerPassword(QStringLiteral("harbour"), withReturn) });
        ChooseMenuItemLater(lock);
        ASSERT_TRUE(RunEventsUntil([&] { return gIndexWindowLocked; }, 20000)) << "the lock dialog was not accepted";
    }
    EXPECT_EQ(view->GetPassword(), "harbour");
    EXPECT_TRUE(view->IsFullScreen());
    ProcessEventsFor(300); // menus updated under the lock

    // Escape in the grid asks for the password; a wrong one is asked for again, the
    // dialog saying it was wrong, as a login does; Cancel there keeps the lock.
    LDialogBox* wrongDialog = nullptr;
    {
        StAlertAnswers errors(1);
        QString askedAgain;
        UserSteps user({ AnswerPassword(QStringLiteral("harbor"), withReturn, &wrongDialog), [&] {
                            LDialogBox* dialog = ShownDialogWith(kPasswordField);
                            if (!dialog || dialog->property("answered").toBool())
                                return false;
                            askedAgain = PaneText(dialog, 4);
                            ClickPane(dialog, 2); // Cancel
                            return true;
                        } });
        view->setFocus();
        QTimer::singleShot(0, view, [this] { QTest::keyClick(view, Qt::Key_Escape); });
        ASSERT_TRUE(RunEventsUntil([&] { return user.AllDone() && !ShownDialogWith(kPasswordField); }, 20000));
        ProcessEventsFor(300);
        EXPECT_EQ(askedAgain, CopyLocalizedString(QStringLiteral("PASSWORD_WRONG_TEXT")));
        // Only the password prompts came: no error alert.
        for (const QString& text : errors.Texts())
            EXPECT_TRUE(text.startsWith(CopyLocalizedString(QStringLiteral("PASSWORD_VERIFY_TEXT")))
                || text.startsWith(CopyLocalizedString(QStringLiteral("PASSWORD_WRONG_TEXT"))))
                << text.toStdString();
        EXPECT_TRUE(gIndexWindowLocked);
    }
    // The right one ends the lock, with the menu timer running over the closed dialog.
    {
        UserSteps user({ AnswerPassword(QStringLiteral("harbour"), withReturn) });
        view->setFocus();
        QTimer::singleShot(0, view, [this] { QTest::keyClick(view, Qt::Key_Escape); });
        ASSERT_TRUE(RunEventsUntil([&] { return !gIndexWindowLocked; }, 20000)) << "the unlock dialog was not accepted";
    }
    ProcessEventsFor(500);
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_FALSE(view->IsItemListLocked());
    EXPECT_EQ(document->CountAllItems(), 3);
    EXPECT_TRUE(document->IsModified());
    EXPECT_EQ(OnlyIndexDocument(), document);
}

namespace {

// On X, whether the window manager was asked to keep the window above the others;
// elsewhere (no such request to look at) as asked.
bool KeptAboveOthers(QWidget* shell, bool asked)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return asked;
    const auto atom = [&](const char* name) {
        xcb_intern_atom_reply_t* reply
            = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return found;
    };
    const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection,
        xcb_get_property(connection, 0, xcb_window_t(shell->winId()), atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32), nullptr);
    bool found = false;
    if (reply) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const auto* end = atoms + xcb_get_property_value_length(reply) / sizeof(xcb_atom_t);
        found = std::find(atoms, end, above) != end;
        free(reply);
    }
    return found;
}

class LockedWindowUnderAManager : public ScreenLockWindow { };

} // namespace

// Locked and unlocked again, the window is kept above the others only meanwhile,
// and comes back where it was, frame and all, under a window manager that frames it.
TEST_F(LockedWindowUnderAManager, UnlockingPutsTheWindowBackWhereItWas)
{
    QWidget* shell = window->GetShell();
    ProcessEventsFor(500); // framed and placed
    const QRect before = shell->geometry();
    const QRect frameBefore = shell->frameGeometry();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        {
            UserSteps user({ AnswerPassword(QStringLiteral("harbour"), false) });
            ChooseMenuItemLater(OpenMenuItem(window, kLockScreenCommand));
            ASSERT_TRUE(RunUntil([&] { return gIndexWindowLocked && !ShownDialogWith(kPasswordField); }));
        }
        EXPECT_TRUE(RunUntil([&] { return KeptAboveOthers(shell, true); }));
        ProcessEventsFor(300); // the keyboard comes to the locked window
        {
            UserSteps user({ AnswerPassword(QStringLiteral("harbour"), false) });
            QueueKeyPress(QGuiApplication::focusWindow(), Qt::Key_Escape, QString());
            ASSERT_TRUE(RunEventsUntil([&] { return !gIndexWindowLocked; }, 5000));
        }
        EXPECT_TRUE(RunUntil([&] { return !KeptAboveOthers(shell, false); }));
        // The window manager puts the frame back in its own time, later on a busy machine.
        RunUntil([&] { return shell->geometry() == before && shell->frameGeometry() == frameBefore; });
        EXPECT_EQ(shell->geometry(), before);
        EXPECT_EQ(shell->frameGeometry(), frameBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(AnsweredBy, ScreenLock, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Return" : "OKButton"; });

// Locked from the grid or the list, the window keeps the screen: it stays above other
// programs' windows, takes the keyboard back from them, and the keys typed go to it:
// Escape asks for the password, a letter selects by name as in any full-screen view.
TEST_P(ScreenLockKeys, TheLockedWindowStaysOnTopAndTakesTheKeys)
{
    const LockedKey& row = GetParam();
    for (const QString& photo : CameraPhotos().mid(0, 3))
        document->AddItem(QUrl::fromLocalFile(photo));
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->CountAllItems() == 3; }));
    QWidget* shell = window->GetShell();
    window->Select();

    QAction* mode = OpenMenuItem(window, row.viewCommand);
    ASSERT_NE(mode, nullptr);
    ChooseMenuItemLater(mode);
    LPane* list = window->FindPaneByID(kPaneListView);
    ASSERT_NE(list, nullptr);
    LPane* shown = row.viewCommand == kCmdListView ? list : view;
    ASSERT_TRUE(RunUntil([&] { return shown->isVisible() && LCommander::GetTarget() == dynamic_cast<LCommander*>(shown); }));
    {
        UserSteps user({ AnswerPassword(QStringLiteral("harbour"), false) });
        ChooseMenuItemLater(OpenMenuItem(window, kLockScreenCommand));
        ASSERT_TRUE(RunUntil([&] { return gIndexWindowLocked && user.AllDone() && !ShownDialogWith(kPasswordField); }));
    }
    ProcessEventsFor(300);
    ASSERT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(shell->windowFlags() & Qt::WindowStaysOnTopHint);

    // Another program takes the keyboard; the locked window takes it back.
    bool lost = false;
    QObject focusWatch;
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, &focusWatch, [&lost](QWindow* now) { lost |= !now; });
    KeyboardGoesToAnotherProgram();
    EXPECT_TRUE(RunUntil([&] { return lost && QGuiApplication::focusWindow() == shell->windowHandle(); }));
    view->DeselectAll();

    UserSteps user({ AnswerPassword(QStringLiteral("harbour"), false) });
    QueueKeyPress(QGuiApplication::focusWindow(), row.key, QString::fromLatin1(row.text));
    if (row.asksPassword) {
        ASSERT_TRUE(RunEventsUntil([&] { return !gIndexWindowLocked; }, 5000)) << "no password was asked for";
        ProcessEventsFor(300);
        EXPECT_FALSE(view->IsFullScreen());
        EXPECT_FALSE(shell->windowFlags() & Qt::WindowStaysOnTopHint);
    } else {
        // "F" is the third photograph's first letter.
        EXPECT_TRUE(RunEventsUntil([&] { return view->GetFirstSelectedIndex() == 3; }, 5000));
        EXPECT_EQ(view->CountSelectedItems(), 1);
        EXPECT_EQ(user.Done(), 0u) << "a letter asked for the password";
        EXPECT_TRUE(gIndexWindowLocked);
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, ScreenLockKeys,
    ::testing::Values(LockedKey { "GridEscape", kCmdThumbnailView, Qt::Key_Escape, "\x1b", true },
        LockedKey { "GridLetter", kCmdThumbnailView, Qt::Key_F, "f", false },
        LockedKey { "ListEscape", kCmdListView, Qt::Key_Escape, "\x1b", true },
        LockedKey { "ListLetter", kCmdListView, Qt::Key_F, "f", false }),
    [](const ::testing::TestParamInfo<LockedKey>& info) { return std::string(info.param.name); });
