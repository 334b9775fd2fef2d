// Keys, clicks and menus given to the program's own windows as the user gives them.

#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CIndexModel.h"
#include "FieldKeys.h"
#include "ItemWindows.h"
#include "CMediaView.h"
#include "CMediaWindow.h"
#include "CToolbar.h"
#include "LMenuBar.h"
#include "PrefKeys.h"
#include "QueuedInput.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QImage>
#include <QTest>

namespace {

class WindowInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        CItemWindows::Install();
        app = std::make_unique<IdleApp>();
        app->ClearRecentItems();
        app->MakeMenuBar();
        app->Initialize();
    }
    void TearDown() override
    {
        while (!CMediaWindow::GetWindowList().empty())
            delete CMediaWindow::GetWindowList().back();
        CloseIndexDocumentsUnsaved();
        app.reset();
    }

    // A new index of `count` pictures of that size, in a folder of their own, once it is idle.
    CIndexDoc* NewIndexOfPictures(const QString& folder, int count, QSize size)
    {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        app->MakeNewDocument();
        CIndexDoc* document = OpenIndexDocuments().back();
        QImage image(size, QImage::Format_RGB32);
        for (int i = 0; i < count; ++i) {
            image.fill(QColor(40 * i % 255, 120, 200));
            const QString path = folder + QStringLiteral("/picture%1.jpg").arg(i);
            EXPECT_TRUE(image.save(path, "JPEG"));
            document->AddItem(QUrl::fromLocalFile(path));
        }
        EXPECT_TRUE(RunUntil([&] { return IsIdle(document) && document->GetModel().CountAllItems() == count; }));
        return document;
    }

    std::unique_ptr<IdleApp> app;
};

// Answers every modal window that comes up while it lives, as the user's cancel
// would, and counts them: the file dialogs apart.
struct ModalAnswers {
    int dialogs = 0;
    int fileDialogs = 0;
    QTimer timer;
    ModalAnswers()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++dialogs;
                fileDialogs += qobject_cast<QFileDialog*>(modal) ? 1 : 0;
                CancelModal(modal);
            }
        });
        timer.start(10);
    }
};

// The command of a field's item in the Sort By menu's list of all fields.
CommandT SortByField(SInt32 field)
{
    const std::unique_ptr<LMenu> fields = LMenu::Load(kFieldMenuID);
    for (SInt16 i = 1; i <= fields->CountItems(); ++i)
        if (fields->CommandFromIndex(i) == field)
            return SyntheticCommandForMenuItem(kSortFieldMenuID, i);
    return cmd_Nothing;
}

} // namespace

// The media window's zoom keys are its own: the newest recent item's Ctrl+0 (a
// folder, which would be imported again) does not take them.
TEST_F(WindowInput, TheMediaWindowsZoomKeysWinOverTheRecentItemsKey)
{
    const QString folder = TestTempDir() + QStringLiteral("/zoom-keys");
    CIndexDoc* document = NewIndexOfPictures(folder, 3, QSize(2400, 1800));
    app->AddRecentItem(FileRef(folder));
    CIndexView* view = SelectFirstItemWhenIdle(document);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(RunUntil([] { return !CMediaWindow::GetWindowList().empty(); }));
    CMediaWindow* window = CMediaWindow::GetWindowList().front();
    ASSERT_TRUE(RunUntil([&] { return window->GetShell()->isVisible() && window->GetMediaView()->GetZoom() > 0; }));
    window->Select();
    const struct {
        const char* name;
        Qt::Key key;
        std::function<bool(SInt16 before, SInt16 after)> zoomed;
    } cases[] = {
        { "Ctrl+minus zooms out", Qt::Key_Minus, [](SInt16 before, SInt16 after) { return after < before; } },
        { "Ctrl+0 shows the actual size", Qt::Key_0, [](SInt16, SInt16 after) { return after == 100; } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SInt16 before = window->GetMediaView()->GetZoom();
        QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : window->GetMediaView();
        QTest::keyClick(keys, c.key, Qt::ControlModifier);
        ProcessEventsFor(300);
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
        EXPECT_TRUE(c.zoomed(before, window->GetMediaView()->GetZoom())) << before << " to " << window->GetMediaView()->GetZoom();
        EXPECT_EQ(document->GetModel().CountAllItems(), 3);
    }
}

// Items whose files are gone are drawn as missing; only opening one asks for it.
TEST_F(WindowInput, ItemsWhoseFilesAreGoneAskForThemOnlyWhenOpened)
{
    const QString folder = TestTempDir() + QStringLiteral("/gone");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    app->MakeNewDocument();
    CIndexDoc* document = OpenIndexDocuments().back();
    std::vector<CIndexItem*> items;
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    for (int i = 0; i < 8; ++i) {
        const QString path = folder + QStringLiteral("/gone%1.jpg").arg(i);
        ASSERT_TRUE(image.save(path, "JPEG"));
        items.push_back(new CIndexItem(QUrl::fromLocalFile(path)));
    }
    document->GetModel().AppendItems(items, ItemInsert::Filling);
    ASSERT_TRUE(QDir(folder).removeRecursively());

    ModalAnswers answers;
    const int& asked = answers.fileDialogs;
    document->GetWindow()->Select();
    CIndexView* view = IndexViewOfDocument(document);
    const auto allMissing = [&] {
        for (CIndexItem* item : items)
            if (!item->GetError())
                return false;
        return true;
    };
    EXPECT_TRUE(RunUntil([&] { return IsIdle(document) && allMissing(); })) << "the items are drawn as missing";
    ProcessEventsFor(300);
    EXPECT_EQ(asked, 0) << "asked while drawing";

    view->DeselectAll();
    view->SelectIndex(1);
    LCommander::SwitchTarget(view);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_TRUE(RunEventsUntil([&] { return asked == 1; }, 5000)) << "opening asked for the file";
    ProcessEventsFor(200);
    EXPECT_EQ(asked, 1);
}

// While a large index sorts, the window takes the user's input, and the commands
// given meanwhile (a key of the grid, a toolbar button, a contextual-menu item)
// wait for the sort and then run, instead of being refused as "in use".
TEST_F(WindowInput, CommandsGivenWhileALargeIndexSortsRunWhenTheSortEnds)
{
    constexpr int kRemoteItems = 40000;
    // What earlier tests may have changed: the toolbar's items and the keys' and Delete's settings.
    SetPrefValue(kIndexToolbarIdentifier, QVariant());
    SetPrefBoolean(QStringLiteral("BackSpaceDeletes"), true);
    Pref::ConfirmDelete.Set(false);
    const QString folder = TestTempDir() + QStringLiteral("/sorting");
    CIndexDoc* document = NewIndexOfPictures(folder, 3, QSize(32, 24));
    CIndexModel& model = document->GetModel();
    // The pictures come first in either order: by name ("picture" before "x")
    // and by size (the remote items are far larger).
    std::vector<CIndexItem*> remote;
    for (int i = 0; i < kRemoteItems; ++i) {
        const int number = (i * 7919) % kRemoteItems;
        remote.push_back(new CIndexItem(QUrl(QStringLiteral("http://127.0.0.1:9/x%1.jpg").arg(number))));
        remote.back()->SetTotalSize(UInt32(1000000 + (number % 97) * 1000));
    }
    model.AppendItems(remote, ItemInsert::Filling);
    LWindow* window = document->GetWindow();
    CIndexView* view = SelectFirstItemWhenIdle(document);
    document->GetToolbar()->SetDisplayMode(toolbarDisplay_IconOnly); // the whole toolbar shows

    const QString showSelectedOnly = [] {
        LMenu* menu = nullptr;
        SInt16 index = 0;
        return LMenuBar::GetCurrentMenuBar()->FindMenuItem(cmd_ShowSelectedOnly, menu, index) ? menu->Item(index)->text : QString();
    }();
    PopupChooser chooser;
    SInt32 countBefore = 0;
    QString chosenFile;
    const struct {
        const char* name;
        CommandT sortBy;
        std::function<void()> give;
        std::function<bool()> done;
    } cases[] = {
        { "Delete in the grid", SortByField(kFieldTotalSize), [&] { QueueKeyPress(view, Qt::Key_Delete); },
            [&] { return model.CountAllItems() == countBefore - 1; } },
        { "the toolbar's Move to Trash", SortByField(kFieldName),
            [&] {
                QAction* trash = ToolbarItem(window, cmd_TrashSelection);
                ASSERT_NE(trash, nullptr);
                app->SpendTime(EventRecord {}); // the toolbar follows the selection
                ASSERT_TRUE(trash->isEnabled());
                QWidget* button = nullptr;
                for (QToolBar* bar : window->GetShell()->findChildren<QToolBar*>())
                    if (QWidget* widget = bar->widgetForAction(trash))
                        button = widget;
                ASSERT_TRUE(button && button->isVisible()) << "the button is in the toolbar's overflow";
                QueueClick(button, button->rect().center());
            },
            [&] { return model.CountAllItems() == countBefore - 1 && !QFile::exists(chosenFile); } },
        { "the contextual menu's Show Selected Only", SortByField(kFieldTotalSize),
            [&] {
                QRect cell;
                ASSERT_TRUE(view->GetCellRect(view->GetFirstSelectedIndex(), cell));
                chooser.ChooseNext(showSelectedOnly);
                QueueClick(view, cell.center(), Qt::RightButton);
            },
            [&] { return view->IsFiltered() && view->CountItems() == 1; } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view->ShowAllItems(true);
        view->DeselectAll();
        view->SelectIndex(1);
        CIndexItem* chosen = nullptr;
        ASSERT_TRUE(view->GetItemAt(1, chosen) && chosen && chosen->GetURL().isLocalFile());
        chosenFile = chosen->GetURL().toLocalFile();
        countBefore = model.CountAllItems();
        ModalAnswers alerts;
        bool doneWhenSorted = true;
        int sorts = 0;
        const auto sorted = QObject::connect(&model, &CIndexModel::itemsMoved, [&] {
            doneWhenSorted = c.done();
            ++sorts;
        });
        window->Select();
        ProcessEventsFor(100); // the window system's activation comes
        LCommander::SwitchTarget(view);
        c.give();
        // As the menu item runs it; the input queued above comes while it sorts.
        LCommander::GetTarget()->ProcessCommand(c.sortBy, nullptr);
        const bool done = RunEventsUntil(c.done, 5000);
        ProcessEventsFor(100);
        QObject::disconnect(sorted);
        EXPECT_EQ(sorts, 1);
        EXPECT_FALSE(doneWhenSorted) << "the command ran before the sort ended";
        EXPECT_TRUE(done) << "the command never ran";
        EXPECT_EQ(alerts.dialogs, 0) << "an alert came";
    }
}
