#include "AlertAnswer.h"
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CInPlaceEditField.h"
#include "CVisualTask.h"
#include "LWindow.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QDir>
#include <QDirIterator>
#include <QApplication>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>


// The program as a user meets it: a new index, photographs added, saved, the program
// quit; started again, the index comes back from the recent items with its items.
TEST(EndToEnd, AnIndexMadeSavedAndReopenedFromTheRecentItemsKeepsItsPhotographs)
{
    const QStringList photos = CameraPhotos();
    ASSERT_GE(photos.size(), 5);
    const QString package = TestTempDir() + QStringLiteral("/Photographs.idxp");
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    QStringList savedNames;
    {
        COrvexApp app;
        CIndexDoc* document = StartFirstRun(app);
        ASSERT_NE(document, nullptr);
        EXPECT_TRUE(document->GetWindow()->IsVisible());

        for (const QString& photo : photos)
            document->AddItem(QUrl::fromLocalFile(photo));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
        ASSERT_EQ(document->CountAllItems(), photos.size());
        savedNames = ItemNames(document);

        document->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(package));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
        EXPECT_TRUE(QFileInfo(package + QStringLiteral("/index.db")).size() > 0);
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_EQ(OnlyIndexDocument(), nullptr);
    }
    // The program has ended: its preferences reach the disk and are read again.
    ASSERT_TRUE(SynchronizePrefs());
    PreferenceDomain::Application().Reload();

    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    ASSERT_GE(app.GetRecentItemCount(), 1);
    EXPECT_EQ(app.GetRecentItems().At(0), FileRef(package));
    app.OpenRecentItem(0);
    CIndexDoc* reopened = OnlyIndexDocument();
    ASSERT_NE(reopened, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(reopened) && reopened->GetWindow()->IsVisible(); }));
    EXPECT_EQ(ItemNames(reopened), savedNames);

    LWindow* window = reopened->GetWindow();
    window->GetShell()->resize(900, 640);
    ProcessEventsFor(200);
    window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-window.png"));
    // The View and Index menus as the index window's commands enable them, with the
    // window in front and its chain the target (as the user's click makes it).
    window->Select();
    LCommander::SwitchTarget(window);
    ASSERT_NE(window->GetMenuBar(), nullptr);
    QStringList enabled;
    for (QAction* action : window->GetMenuBar()->actions()) {
        if (action->text() != QLatin1String("&Index") && action->text() != QLatin1String("&View")) // Alt+I, Alt+V
            continue;
        action->menu()->popup(QPoint(0, 0));
        for (QAction* item : action->menu()->actions()) {
            if (item->isEnabled() && !item->isSeparator())
                enabled << QString(item->text()).remove(QLatin1Char('&'));
        }
        action->menu()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/index-window-menu-%1.png").arg(action->text().remove(QLatin1Char('&'))));
        action->menu()->hide();
    }
    EXPECT_TRUE(enabled.contains(QStringLiteral("as Extended Thumbnails")));
    EXPECT_TRUE(enabled.contains(QStringLiteral("as List")));
    EXPECT_TRUE(enabled.contains(QStringLiteral("Rebuild Thumbnails")));
    EXPECT_TRUE(app.AttemptQuit());
}

namespace {
// Starts the program as on a first run and hands its new index a folder, as the
// file manager does; answers the index once the folder's items are all in.
CIndexDoc* HandFolderToFirstRun(IdleApp& app, const QString& folder, SInt32 items)
{
    CIndexDoc* document = StartFirstRun(app);
    if (!document || !RunUntil([&] { return document->GetWindow()->IsVisible(); }))
        return nullptr;
    app.OpenDocument(FileRef(folder));
    if (!RunUntil([&] { return IsIdle(document) && document->CountAllItems() == items; }))
        return nullptr;
    return document;
}
} // namespace

// What a new user does first: an index made from a folder that holds a damaged
// file, every item selected with the keyboard, one renamed with a click on its
// name, the window put in its place, saved, the program quit; started again, the
// index comes back as it was left.
TEST(EndToEnd, ANewUsersFirstIndexComesBackAsItWasLeft)
{
    const QString folder = TestTempDir() + QStringLiteral("/First photos");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList photos = CameraPhotos().mid(0, 4);
    ASSERT_EQ(photos.size(), 4);
    for (const QString& photo : photos)
        ASSERT_TRUE(QFile::copy(photo, folder + QLatin1Char('/') + QFileInfo(photo).fileName()));
    QFile damaged(folder + QStringLiteral("/damaged.jpg"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + QByteArray(300, '\x5A')); // a header, then noise
    damaged.close();
    const QString package = TestTempDir() + QStringLiteral("/First.idxp");
    const QRect frame(40, 110, 640, 380); // the window's content, where the user left it
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    // A new user has no view of their own yet: the thumbnails show.
    SetPrefValue(QStringLiteral("DefaultIndexView"), QVariant());
    QStringList names;
    {
        IdleApp app;
        CIndexDoc* document = HandFolderToFirstRun(app, folder, 5);
        ASSERT_NE(document, nullptr);
        LWindow* window = document->GetWindow();
        CIndexView* view = IndexViewOfDocument(document);
        ASSERT_NE(view, nullptr);

        window->Select();
        view->setFocus();
        QAction* getInfo = ToolbarItem(window, 1010);
        ASSERT_NE(getInfo, nullptr);
        app.SpendTime(EventRecord {});
        EXPECT_FALSE(getInfo->isEnabled()); // nothing selected
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(view->CountSelectedItems(), 5);
        app.SpendTime(EventRecord {}); // the next idle moment
        EXPECT_TRUE(getInfo->isEnabled());

        // The zoom slider is for the mouse: the keys stay with the grid.
        auto* slider = window->GetShell()->findChild<QSlider*>();
        ASSERT_NE(slider, nullptr);
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, slider->height() / 2));
        EXPECT_EQ(QApplication::focusWidget(), view);

        CIndexItem* item = nullptr;
        QRect cell;
        ASSERT_TRUE(view->GetItemAt(2, item) && view->GetCellRect(2, cell));
        const QString before = item->GetName();
        view->SimulateClick(item->GetTextLineRect(0, cell, *view).center()); // a press the mouse does not drag
        ASSERT_NE(view->GetRenameField(), nullptr);
        QLineEdit* edit = view->GetRenameField()->GetLineEdit();
        EXPECT_EQ(edit->selectedText() + QStringLiteral(".jpg"), before); // the extension left aside
        QTest::keyClicks(edit, QStringLiteral("Harbour"));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(item->GetName(), QStringLiteral("Harbour.jpg"));
        names = ItemNames(document);
        EXPECT_TRUE(names.contains(QStringLiteral("damaged.jpg")));

        window->DoSetBounds(frame);
        document->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(package));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
        window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/first-index.png"));
        // What Quit does before it ends the program's loop (which a test cannot start again).
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_TRUE(OpenIndexDocuments().empty()) << "a saved index closes without asking";
        EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
    }
    ASSERT_TRUE(SynchronizePrefs());
    PreferenceDomain::Application().Reload();

    SetPrefNumber(QStringLiteral("StartupAction"), 3); // the most recent item
    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    app.StartUp();
    CIndexDoc* reopened = OnlyIndexDocument();
    ASSERT_NE(reopened, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(reopened) && reopened->GetWindow()->IsVisible(); }));
    EXPECT_EQ(ItemNames(reopened), names);
    QRect bounds;
    reopened->GetWindow()->GetGlobalBounds(bounds);
    EXPECT_EQ(bounds, frame);
    EXPECT_EQ(IndexViewOfDocument(reopened)->CountSelectedItems(), 0); // a selection is not kept between runs
    EXPECT_FALSE(reopened->IsModified());
    EXPECT_TRUE(RunUntil([&] { return IsIdle(reopened); }));
    EXPECT_TRUE(app.AttemptQuit());
    EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
}

// The sample index made at build time carries its pictures: a copy moved anywhere
// opens with every item found inside it.
TEST(EndToEnd, TheSampleIndexOpensWhereverItIsWithItsPicturesInside)
{
    const QString copy = TestTempDir() + QStringLiteral("/elsewhere/Sample.idxp");
    ASSERT_TRUE(CopySampleIndexTo(copy));

    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    // No sample lies beside the test program.
    EXPECT_EQ(CatchCode([&] { app.OpenSampleIndex(); }), err_NilPointer);

    CIndexDoc* sample = OpenIndexWhenSettled(app, copy);
    ASSERT_NE(sample, nullptr);
    auto* view = dynamic_cast<CIndexView*>(sample->GetIndexViewPane());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->CountAllItems(), 10);
    for (SInt32 i = 1; i <= view->CountAllItems(); ++i) {
        CIndexItem* item = nullptr;
        ASSERT_TRUE(view->GetItemAt(i, item));
        const QString file = item->GetURL().toLocalFile();
        EXPECT_TRUE(file.startsWith(copy + QStringLiteral("/media/"))) << file.toStdString();
        EXPECT_TRUE(QFileInfo::exists(file));
    }
    EXPECT_TRUE(app.AttemptQuit());
}

// Move to Trash on an item whose file is stored in the package: at the save the file
// leaves media/ for the user's Trash, from where it can be put back.
TEST(EndToEnd, AFileStoredInThePackageMovedToTheTrashArrivesInTheTrashAtTheSave)
{
    const QString copy = TestTempDir() + QStringLiteral("/trashing/Sample.idxp");
    ASSERT_TRUE(CopySampleIndexTo(copy));
    SetPrefBoolean(QStringLiteral("ConfirmDelete"), true);
    IdleApp app;
    app.MakeMenuBar();
    app.Initialize();
    CIndexDoc* sample = OpenIndexWhenSettled(app, copy);
    ASSERT_NE(sample, nullptr);
    CIndexView* view = SelectFirstItemWhenIdle(sample);
    CIndexItem* item = nullptr;
    ASSERT_TRUE(view->GetItemAt(1, item));
    const QString file = item->GetURL().toLocalFile();
    ASSERT_TRUE(file.startsWith(copy + QStringLiteral("/media/"))) << file.toStdString();
    const QByteArray bytes = ReadWholeFile(file);

    QAction* trash = OpenMenuItem(sample->GetWindow(), cmd_TrashSelection);
    ASSERT_NE(trash, nullptr);
    ASSERT_TRUE(trash->isEnabled());
    StAlertAnswers yes(1);
    ChooseMenuItemLater(trash);
    ASSERT_TRUE(RunUntil([&] { return view->CountAllItems() == 9; }));
    EXPECT_EQ(yes.Texts().size(), 1);
    EXPECT_TRUE(QFileInfo::exists(file)) << "the file stays until the index is saved";

    sample->ObeyCommand(cmd_Save, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(sample) && !sample->IsModified(); }));
    EXPECT_FALSE(QFileInfo::exists(file));
    const QString trashFolder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    const QString name = QFileInfo(file).fileName();
    EXPECT_EQ(ReadWholeFile(trashFolder + QStringLiteral("/files/") + name), bytes);
    EXPECT_TRUE(ReadWholeFile(trashFolder + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"))
                    .contains("Path=" + QUrl::toPercentEncoding(file, "/")));
    EXPECT_TRUE(app.AttemptQuit());
}

// A folder handed to the program fills its new untitled index: the index exists
// nowhere else, so Ctrl+Q asks before it is lost. (The answer is Cancel: a quit
// that went through would end every event loop of the test program.)
TEST(EndToEnd, AnUntitledIndexFilledFromAFolderIsNotLostOnQuit)
{
    const QString folder = TestTempDir() + QStringLiteral("/Quit photos");
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& photo : CameraPhotos().mid(0, 3))
        ASSERT_TRUE(QFile::copy(photo, folder + QLatin1Char('/') + QFileInfo(photo).fileName()));
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    IdleApp app;
    CIndexDoc* document = HandFolderToFirstRun(app, folder, 3);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();
    EXPECT_TRUE(document->IsModified()) << "every item added is a change to save";
    EXPECT_TRUE(window->GetShell()->isWindowModified());

    CIndexView* view = IndexViewOfDocument(document);
    window->Select();
    view->setFocus();
    QKeyEvent quit(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier);
    QApplication::sendEvent(view, &quit);
    ASSERT_EQ(OpenIndexDocuments().size(), 1u) << "the index was closed without asking";
    auto* question = qobject_cast<QMessageBox*>(document->GetSheet());
    ASSERT_NE(question, nullptr) << "Ctrl+Q asks to save the untitled index";
    QTest::mouseClick(question->button(QMessageBox::Cancel), Qt::LeftButton);
    EXPECT_EQ(OpenIndexDocuments().size(), 1u);
    EXPECT_TRUE(document->IsModified());
    EXPECT_TRUE(app.AttemptQuit('no  ')); // told not to save
    EXPECT_TRUE(OpenIndexDocuments().empty());
    EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
}
