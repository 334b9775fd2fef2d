// The stored-settings organizer as the user meets it: chosen from the Search
// menu of an index window, a row renamed through its Edit… dialog with the
// keyboard, closed with Done.
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "DrawnText.h"
#include "Preferences.h"
#include "StoredSettings.h"
#include "TestSupport.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QListWidget>
#include <QPainter>
#include <QTest>
#include <QWindow>

namespace {

constexpr CommandT kOrganizeCommand = 1038;
constexpr PaneIDT kOrganizerList = 6016;
constexpr PaneIDT kEditButton = 4;
constexpr PaneIDT kDoneButton = 1;
constexpr PaneIDT kNameField = 901;

QVariantMap Setting(const QString& name)
{
    return { { kSettingNameKey, name }, { kSettingShortcutKey, QString() }, { kSourceKindKey, 9000 },
        { kResultKindKey, 8001 }, { kCriteriaListKey, QVariantList() } };
}

// Keys as the user types them: into whatever has the keyboard focus.
void TypeToFocus(const QString& text)
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), text);
}

} // namespace

TEST(OrganizerOnScreen, EditRenamesARowFromTheKeyboardAndEscapeClosesKeepingIt)
{
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("Harbours"), Setting("Boats") });
    SetPrefValue(kBatchSettingsKey, QVariantList());
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();

    LDialogBox* organizer = nullptr;
    QWindow* organizerWindow = nullptr;
    // What the edit dialog was when it showed (it is gone once answered).
    QWidget* editShell = nullptr;
    QWindow* editOver = nullptr;
    QWidget* modalAtEdit = nullptr;
    bool closedByEscape = false;
    UserSteps user({
        // The first row chosen with a click, then Edit….
        [&] {
            organizer = ShownDialogWith(kOrganizerList);
            if (!organizer)
                return false;
            organizerWindow = organizer->GetShell()->windowHandle();
            QListWidget* list = dynamic_cast<LListBox*>(organizer->FindPaneByID(kOrganizerList))->GetList();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            ClickPane(organizer, kEditButton);
            return true;
        },
        // The edit dialog comes in front, takes the keys, and Return accepts it.
        [&] {
            LDialogBox* edit = ShownDialogWith(kNameField);
            if (!edit)
                return false;
            editShell = edit->GetShell();
            editOver = editShell->windowHandle() ? editShell->windowHandle()->transientParent() : nullptr;
            modalAtEdit = QApplication::activeModalWidget();
            TypeToFocus(QStringLiteral("Ports"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            return true;
        },
        // Back in the organizer, Escape closes it, the edit kept.
        [&] {
            if (ShownDialogWith(kNameField) || !ShownDialogWith(kOrganizerList) || !QApplication::focusWidget())
                return false;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            return true;
        },
        [&] {
            closedByEscape = !ShownDialogWith(kOrganizerList);
            return true;
        },
    });
    QAction* organize = OpenMenuItem(window, kOrganizeCommand);
    ASSERT_NE(organize, nullptr);
    ASSERT_TRUE(organize->isEnabled());
    ChooseMenuItemLater(organize);
    ASSERT_TRUE(RunEventsUntil([&] { return user.AllDone() && !ShownDialogWith(kOrganizerList); }, 20000))
        << user.Done() << " steps done";
    EXPECT_TRUE(closedByEscape);
    ASSERT_NE(editShell, nullptr);
    EXPECT_EQ(modalAtEdit, editShell) << "the edit dialog is not the one in front taking input";
    EXPECT_EQ(editOver, organizerWindow) << "the edit dialog does not open over the organizer";
    const QVariantList searches = CopyStoredSettings(false);
    ASSERT_EQ(searches.size(), 2);
    EXPECT_EQ(searches[0].toMap().value(kSettingNameKey).toString(), QStringLiteral("Ports"));
    EXPECT_EQ(searches[1].toMap().value(kSettingNameKey).toString(), QStringLiteral("Boats"));

    document->SetModified(false);
    app->AttemptQuit();
}

TEST(OrganizerOnScreen, ASeparatorShowsAsALineAndNamesAreWhole)
{
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("Harbours"), Setting("-"), Setting("Boats") });
    SetPrefValue(kBatchSettingsKey, QVariantList());
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);

    QStringList rows;
    QStringList drawn;
    bool separatorIsALine = false;
    UserSteps user({
        [&] {
            LDialogBox* organizer = ShownDialogWith(kOrganizerList);
            if (!organizer)
                return false;
            QListWidget* list = dynamic_cast<LListBox*>(organizer->FindPaneByID(kOrganizerList))->GetList();
            for (int row = 0; row < list->count(); ++row)
                rows << list->item(row)->text();
            if (auto* line = qobject_cast<QFrame*>(list->itemWidget(list->item(1))))
                separatorIsALine = line->frameShape() == QFrame::HLine && line->isVisible();
            drawn = TextsDrawnBy(
                list->viewport()->size(), [&](QPainter& painter) { list->viewport()->render(&painter); });
            ClickPane(organizer, kDoneButton);
            return true;
        },
    });
    QAction* organize = OpenMenuItem(document->GetWindow(), kOrganizeCommand);
    ASSERT_NE(organize, nullptr);
    ChooseMenuItemLater(organize);
    ASSERT_TRUE(RunEventsUntil([&] { return user.AllDone() && !ShownDialogWith(kOrganizerList); }, 20000));
    EXPECT_EQ(rows, (QStringList { QStringLiteral("Harbours"), QString(), QStringLiteral("Boats") }));
    EXPECT_TRUE(separatorIsALine);
    EXPECT_FALSE(drawn.contains(QStringLiteral("-"))) << drawn.join(" | ").toStdString();
    EXPECT_TRUE(drawn.contains(QStringLiteral("Harbours"))) << drawn.join(" | ").toStdString();

    document->SetModified(false);
    app->AttemptQuit();
}
