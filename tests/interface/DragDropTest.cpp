#include "CDASAndDrop.h"
#include "ExceptionCode.h"
#include "InterfaceTestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <QApplication>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>

namespace {

// A view of a large image that takes file drags.
class FileDropView : public LView, public CDASAndDrop {
public:
    FileDropView(LView* super, SDimension32 image)
        : LView(SPaneInfo { 5, 200, 200, true, true, {}, 10, 10, 0, super }, image, { 10, 20 })
        , CDASAndDrop(this)
    {
    }
    bool ItemIsAcceptable(const DragReference& drag, UInt16 item) override { return drag.HasFlavor(item, flavorTypeFileURL); }
    void ReceiveDragItem(const DragReference& drag, UInt16 item) override { received.append(QString::fromUtf8(drag.GetFlavorData(item, flavorTypeFileURL))); }
    QStringList received;
};

QMimeData* TextData(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

QMimeData* FileData()
{
    auto* data = new QMimeData;
    data->setUrls({ QUrl::fromLocalFile(QStringLiteral("/tmp/a.jpg")) });
    return data;
}

// Sends a drag entering (and optionally moving in) a pane at a local point; true when accepted.
bool Enter(QWidget* pane, QMimeData* data, QPoint where)
{
    QDragEnterEvent enter(where, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane, &enter);
    return enter.isAccepted();
}

void Leave(QWidget* pane)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(pane, &leave);
}

bool Drop(QWidget* pane, QMimeData* data, QPoint where)
{
    QDropEvent drop(where, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane, &drop);
    return drop.isAccepted();
}

struct DropFixture : ::testing::Test {
    LWindow* window = nullptr;
    void SetUp() override
    {
        window = new LWindow(WindowInfo(20, 20, 300, 260), kRegularWindowAttributes, QStringLiteral("Drops"), nullptr);
        window->AddAttachment(new LUndoer);
        window->Show();
        LCommander::SwitchTarget(window);
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
};

TEST_F(DropFixture, AreasAcceptAndRefuseByFlavour)
{
    auto* view = new FileDropView(window, { 1000, 1000 });
    std::unique_ptr<QMimeData> files(FileData()), text(TextData(QStringLiteral("words")));
    EXPECT_TRUE(Enter(view, files.get(), { 100, 100 }));
    EXPECT_TRUE(view->IsHilited());
    Leave(view);
    EXPECT_FALSE(view->IsHilited());
    EXPECT_FALSE(view->IsAutoScrolling());
    EXPECT_FALSE(Enter(view, text.get(), { 100, 100 }));
    EXPECT_FALSE(view->IsHilited());
    Leave(view);

    EXPECT_TRUE(Enter(view, files.get(), { 100, 100 }));
    EXPECT_TRUE(Drop(view, files.get(), { 100, 100 }));
    EXPECT_EQ(view->received, QStringList { QStringLiteral("file:///tmp/a.jpg") });

    auto* field = new CDragEditField(SPaneInfo { 6, 200, 22, true, true, {}, 10, 220, 0, window }, QStringLiteral("xyz"));
    EXPECT_TRUE(Enter(field, text.get(), { 5, 5 }));
    Leave(field);
    EXPECT_FALSE(Enter(field, files.get(), { 5, 5 }));
    Leave(field);
}

TEST_F(DropFixture, ADroppedTextReplacesTheFieldsTextUndoably)
{
    auto* field = new CDragEditField(SPaneInfo { 6, 200, 22, true, true, {}, 10, 10, 0, window }, QStringLiteral("xyz"));
    std::unique_ptr<QMimeData> text(TextData(QStringLiteral("abc")));
    ASSERT_TRUE(Enter(field, text.get(), { 5, 5 }));
    EXPECT_TRUE(Drop(field, text.get(), { 5, 5 }));
    EXPECT_EQ(field->GetCFDescriptor(), QStringLiteral("abc"));
    LCommander::GetTarget()->ProcessCommand(cmd_Undo);
    EXPECT_EQ(field->GetCFDescriptor(), QStringLiteral("xyz"));
    LCommander::GetTarget()->ProcessCommand(cmd_Redo);
    EXPECT_EQ(field->GetCFDescriptor(), QStringLiteral("abc"));

    // More than 255 bytes is refused and the text stays.
    std::unique_ptr<QMimeData> longText(TextData(QString(256, QLatin1Char('w'))));
    DragReference drag(longText.get());
    try {
        field->ReceiveDragItem(drag, 1);
        FAIL() << "an over-long drop was taken";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), OSStatus('asrt'));
    }
    EXPECT_EQ(field->GetCFDescriptor(), QStringLiteral("abc"));
}

TEST_F(DropFixture, ADragInACornerScrollsBothWaysSlowlyThenFast)
{
    auto* view = new FileDropView(window, { 1000, 1000 });
    view->ScrollImageTo(300, 400, false);
    std::unique_ptr<QMimeData> files(FileData());
    ASSERT_TRUE(Enter(view, files.get(), { 3, 3 })); // in the top-left bands
    ProcessEventsFor(30);
    EXPECT_EQ(view->GetAutoScrollSteps(), 1); // the first at once
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 290, 380 }));
    ProcessEventsFor(250);
    // Then 0.2 seconds apart (a busy machine may deliver one late, never fifteen).
    EXPECT_GE(view->GetAutoScrollSteps(), 2);
    EXPECT_LE(view->GetAutoScrollSteps(), 4);
    while (view->GetAutoScrollSteps() < CDASAndDrop::kSlowSteps)
        ProcessEventsFor(20);
    // 60 a second now: five steps come well before five slow ones (a second) would.
    QElapsedTimer fast;
    fast.start();
    while (view->GetAutoScrollSteps() < CDASAndDrop::kSlowSteps + 5 && fast.elapsed() < 5000)
        ProcessEventsFor(10);
    EXPECT_GE(view->GetAutoScrollSteps(), CDASAndDrop::kSlowSteps + 5);
    EXPECT_LT(fast.elapsed(), 700);
    EXPECT_TRUE(view->IsHilited());
    Leave(view);
    EXPECT_FALSE(view->IsAutoScrolling());
}

TEST_F(DropFixture, NoScrollingWhereTheImageEndsOrFits)
{
    auto* view = new FileDropView(window, { 1000, 1000 });
    std::unique_ptr<QMimeData> files(FileData());
    // At the top left already: up and left are both gone.
    ASSERT_TRUE(Enter(view, files.get(), { 3, 3 }));
    ProcessEventsFor(30);
    EXPECT_EQ(view->GetAutoScrollSteps(), 0);
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 0, 0 }));
    Leave(view);
    // The bottom-right corner: the right and bottom bands.
    ASSERT_TRUE(Enter(view, files.get(), { 195, 195 }));
    ProcessEventsFor(30);
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 10, 20 }));
    Leave(view);

    auto* small = new FileDropView(window, { 100, 100 });
    ASSERT_TRUE(Enter(small, files.get(), { 195, 195 }));
    ProcessEventsFor(30);
    EXPECT_EQ(small->GetAutoScrollSteps(), 0);
    SInt32 h = -1, v = 1;
    small->LimitScroll(h, v);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(v, 0);
    Leave(small);
}

TEST(DragTask, OutlinesItsRectanglesTwoPixelsWide)
{
    CDragTask task;
    task.AddRectangle(1, QRect(0, 0, 20, 10));
    task.AddRectangle(2, QRect(40, 0, 10, 10));
    QRegion outline = task.GetOutline();
    int pixels = 0;
    for (const QRect& r : outline)
        pixels += r.width() * r.height();
    EXPECT_EQ(pixels, (20 * 10 - 16 * 6) + (10 * 10 - 6 * 6));
    EXPECT_FALSE(outline.contains(QPoint(10, 5))); // the inside is not dragged
    EXPECT_EQ(task.GetRectangles().size(), 2);
    EXPECT_EQ(task.GetRectangles().at(0), QRect(0, 0, 20, 10));
    EXPECT_TRUE(task.CopyDropLocationURL().isEmpty()); // not dropped anywhere yet
    EXPECT_FALSE(task.DroppedInTrash());
}

} // namespace
