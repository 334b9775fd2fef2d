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
