// The screen lock as the user meets it: Lock Screen chosen from the Index menu,
// the password typed into the real dialogs, the menus kept up to date by the
// program's own timer all the while.
#include "AppRunSupport.h"
#include "AlertAnswer.h"
#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexView.h"
#include "LWindow.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

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

class ScreenLock : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
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

    // Escape in the grid asks for the password; a wrong one keeps the lock.
    LDialogBox* wrongDialog = nullptr;
    {
        StAlertAnswers errors(1);
        UserSteps user({ AnswerPassword(QStringLiteral("harbor"), withReturn, &wrongDialog) });
        view->setFocus();
        QTimer::singleShot(0, view, [this] { QTest::keyClick(view, Qt::Key_Escape); });
        ASSERT_TRUE(RunEventsUntil([&] { return user.AllDone() && !ShownDialogWith(kPasswordField); }, 20000));
        ProcessEventsFor(300);
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

INSTANTIATE_TEST_SUITE_P(AnsweredBy, ScreenLock, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Return" : "OKButton"; });
