#include "AppRunSupport.h"
#include "CSearchWindow.h"
#include "LStdControls.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "StoredSettings.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace {
// The preferences as the file on disk holds them, not as the program has them in memory.
QVariantMap PreferencesOnDisk()
{
    QVariant root;
    if (PropertyList::ReadFile(PreferenceDomain::ApplicationDomainPath(), root) != noErr)
        return {};
    return root.toMap();
}

QStringList StoredNamesOnDisk()
{
    QStringList names;
    for (const QVariant& setting : PreferencesOnDisk().value(kSearchSettingsKey).toList())
        names << setting.toMap().value(kSettingNameKey).toString();
    return names;
}
} // namespace

// A search the user stores is on disk as soon as the dialog closes: the program may
// crash before it quits.
TEST(PreferencesOnDisk, AStoredSearchIsWrittenWhenItIsStored)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    SetPrefValue(kSearchSettingsKey, QVariantList());
    ASSERT_TRUE(SynchronizePrefs());
    IdleApp app;
    CIndexDoc* document = StartFirstRun(app);
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    document->GetWindow()->Select();
    CIndexView* view = IndexViewOfDocument(document);
    LCommander::SwitchTarget(view);

    // Search ▸ Search…, then its Save button.
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([] { return CSearchWindow::GetSearchWindow() && CSearchWindow::GetSearchWindow()->IsVisible(); }));
    CSearchWindow* search = CSearchWindow::GetSearchWindow();
    auto* save = search->GetSaveButton()->findChild<QAbstractButton*>();
    ASSERT_NE(save, nullptr);
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_NE(search->GetSaveDialog(), nullptr);

    // The name typed, Return for the dialog's default button.
    auto* name = dynamic_cast<LEditText*>(search->GetSaveDialog()->FindPaneByID(901));
    ASSERT_NE(name, nullptr);
    QWidget* dialog = search->GetSaveDialog()->GetShell();
    dialog->activateWindow();
    name->GetLineEdit()->setFocus();
    ASSERT_TRUE(RunUntil([&] { return QApplication::focusWidget() == name->GetLineEdit(); }));
    QTest::keyClicks(name->GetLineEdit(), QStringLiteral("Harbours"));
    EXPECT_EQ(name->GetLineEdit()->text(), QStringLiteral("Harbours"));
    QTest::keyClick(name->GetLineEdit(), Qt::Key_Return);
    ASSERT_TRUE(RunUntil([&] { return search->GetSaveDialog() == nullptr; }));
    EXPECT_EQ(StoredNamesOnDisk(), QStringList { QStringLiteral("Harbours") });

    delete CSearchWindow::GetSearchWindow();
    EXPECT_TRUE(app.AttemptQuit());
}

// Every index, file and folder opened is on disk in the recent items at once.
TEST(PreferencesOnDisk, AnOpenedFileIsARecentItemOnDiskAtOnce)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    SetPrefValue(QStringLiteral("RecentItems"), QVariant());
    ASSERT_TRUE(SynchronizePrefs());
    const QStringList photos = CameraPhotos();
    ASSERT_FALSE(photos.isEmpty());
    IdleApp app;
    app.MakeMenuBar();
    app.Initialize();
    app.OpenOrPrintDocList({ photos.first() }, false);
    CIndexDoc* document = OnlyIndexDocument();
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));

    const QVariantList recent = PreferencesOnDisk().value(QStringLiteral("RecentItems")).toList();
    ASSERT_EQ(recent.size(), 1);
    CRecentItemList read;
    read.Load(recent);
    EXPECT_EQ(read.At(0), FileRef(photos.first()));

    app.ClearRecentItems();
    EXPECT_TRUE(PreferencesOnDisk().value(QStringLiteral("RecentItems")).toList().isEmpty());
    // The untitled index goes without its question: the test is over.
    document->HandleSheetAnswer(CIndexDoc::sheet_DontSave);
    EXPECT_EQ(OnlyIndexDocument(), nullptr);
}
