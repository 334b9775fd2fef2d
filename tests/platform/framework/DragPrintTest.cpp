#include "FrameworkTestSupport.h"

#include "LDragAndDrop.h"
#include "LPrintout.h"
#include "LScrollerView.h"
#include "LWindow.h"
#include "TestSupport.h"
#include "UTextDrawing.h"
#include "UTextTraits.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QAbstractScrollArea>
#include <QScrollBar>

TEST(Drag, ProgramFlavorsCarryOneBlockPerItemAndFileURLsTheirList)
{
    LDragTask task;
    task.AddFlavor(1, 'Itm2', QByteArray("item-one"));
    task.AddFlavor(2, 'Itm2', QByteArray("item-two"));
    task.AddFileURL(1, QUrl::fromLocalFile(QStringLiteral("/tmp/a b.jpg")));
    task.AddFileURL(2, QUrl::fromLocalFile(QStringLiteral("/tmp/c.jpg")));
    task.AddRectangle(1, QRect(0, 0, 10, 10));
    EXPECT_EQ(task.CountItems(), 2);
    EXPECT_TRUE(task.MimeData()->hasFormat(QStringLiteral("application/x-orvex-Itm2")));
    EXPECT_EQ(MimeTypeForFlavor('furl'), QStringLiteral("text/uri-list"));

    DragReference drag(task.MimeData());
    ASSERT_EQ(drag.CountItems(), 2);
    EXPECT_EQ(drag.GetFlavorData(2, 'Itm2'), QByteArray("item-two"));
    EXPECT_EQ(drag.GetFlavorData(1, 'furl'), QByteArray("file:///tmp/a%20b.jpg"));
    EXPECT_FALSE(drag.HasFlavor(3, 'Itm2'));
    EXPECT_FALSE(drag.HasFlavor(1, 'Itm3'));

    // Data of the right type but not ours gives no items, never garbage.
    QMimeData foreign;
    foreign.setData(QStringLiteral("application/x-orvex-Itm2"), QByteArray("\xff\xff\xff\xff\x01", 5));
    DragReference bad(&foreign);
    EXPECT_EQ(bad.CountItems(), 0);
    EXPECT_FALSE(bad.HasFlavor(1, 'Itm2'));
}

namespace {
struct DropPane : LPane, LDragAndDrop {
    explicit DropPane(const SPaneInfo& info)
        : LPane(info)
        , LDragAndDrop(this)
    {
    }
    bool ItemIsAcceptable(const DragReference& drag, UInt16 item) override { return drag.HasFlavor(item, 'Itm2'); }
    void ReceiveDragItem(const DragReference& drag, UInt16 item) override { received << drag.GetFlavorData(item, 'Itm2'); }
    QList<QByteArray> received;
};
} // namespace

TEST(Drag, DropAreaHilitesAcceptableDragsAndReceivesEachItem)
{
    SPaneInfo info;
    info.width = 100;
    info.height = 100;
    DropPane pane(info);
    LDragTask task;
    task.AddFlavor(1, 'Itm2', "a");
    task.AddFlavor(2, 'Itm2', "b");

    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, task.MimeData(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(pane.CanAcceptCurrentDrag());
    EXPECT_TRUE(pane.IsHilited());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, task.MimeData(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(pane.IsHilited());
    EXPECT_EQ(pane.received, (QList<QByteArray> { "a", "b" }));

    // A drag with one unacceptable item is refused whole.
    QMimeData text;
    text.setText(QStringLiteral("plain"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_FALSE(pane.IsHilited());
}

TEST(Print, PrintoutPrintsEveryPanelOfItsOccupantToPdf)
{
    SetUpFrameworkFixture();
    LWindow* window = LWindow::CreateWindow(1000, nullptr);
    auto* demo = dynamic_cast<LView*>(window->FindPaneByID(21));
    auto* scroller = dynamic_cast<LScrollerView*>(window->FindPaneByID(20));
    demo->ScrollImageTo(30, 40, false);

    SPaneInfo pageInfo;
    pageInfo.width = 500;
    pageInfo.height = 400;
    LPrintout printout(pageInfo);
    SPaneInfo holderInfo;
    holderInfo.width = 500;
    holderInfo.height = 400;
    holderInfo.superView = &printout;
    auto* holder = new LPlaceHolder(holderInfo);
    holder->InstallOccupant(demo);
    EXPECT_EQ(demo->GetSuperView(), holder);
    SInt32 across = 0, down = 0;
    printout.CountPanels(across, down);
    EXPECT_EQ(across, 2); // an image of 1000 x 800 in panels of 500 x 400
    EXPECT_EQ(down, 2);

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = TestTempDir() + QStringLiteral("/printout.pdf");
    printer.setOutputFileName(path);
    EXPECT_EQ(printout.DoPrintJob(printer), 4);
    EXPECT_EQ(printout.DoPrintJob(printer, 2, 3), 2);
    QByteArray pdf = ReadWholeFile(path);
    EXPECT_TRUE(pdf.startsWith("%PDF"));

    // The occupant goes home as it was.
    holder->RemoveOccupant();
    EXPECT_EQ(demo->GetSuperView(), window->FindPaneByID(20));
    EXPECT_EQ(demo->GetScrollPosition(), (SPoint32 { 30, 40 }));
    EXPECT_EQ(demo->GetFrame(), QRect(QPoint(0, 0), scroller->GetScrollArea()->viewport()->size()));
    // and the scroller's bars scroll it again.
    scroller->VerticalBar()->setValue(100);
    EXPECT_EQ(demo->GetScrollPosition(), (SPoint32 { 30, 100 }));
    delete window;
    FlushDeletes();
}

TEST(Text, TraitsComeFromTheirResourceAndDefaultToTheSystemFont)
{
    UTextTraits::AddTextTraitsFolder(QStringLiteral(ORVEX_SOURCE_DIR "/tests/platform/framework/fixture/texttraits"));
    TextTraitsRecord traits = UTextTraits::LoadTextTraits(1037);
    EXPECT_EQ(traits.font.pixelSize(), 20);
    EXPECT_TRUE(traits.font.bold());
    EXPECT_EQ(traits.justification, teCenter);
    EXPECT_EQ(traits.color, QColor(0xcc, 0, 0));
    TextTraitsRecord missing = UTextTraits::LoadTextTraits(4444);
    EXPECT_EQ(missing.font, QApplication::font());
    EXPECT_EQ(missing.justification, teFlushDefault);
}

namespace {
// The columns and rows of a picture that hold dark ink.
QRect InkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128)
                bounds = bounds.united(QRect(x, y, 1, 1));
        }
    }
    return bounds;
}
} // namespace

TEST(Text, JustifiedDrawingWrapsAndKeepsToTheBox)
{
    QImage image(200, 200, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    QFont font = QApplication::font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QString text = QStringLiteral("several words that cannot fit on one short line");
    QStringList lines = UTextDrawing::BreakLines(painter, text, 80);
    EXPECT_GT(lines.size(), 2);
    int used = UTextDrawing::DrawWithJustification(painter, text, QRect(100, 0, 80, 200), teFlushRight);
    painter.end();
    QRect ink = InkBounds(image);
    EXPECT_GE(ink.left(), 100);
    EXPECT_LE(ink.right(), 180);
    EXPECT_GE(ink.right(), 170); // flush right
    EXPECT_GT(used, QFontMetrics(font).height());

    // A box one line high shows one line only.
    QImage one(200, 100, QImage::Format_ARGB32);
    one.fill(Qt::white);
    QPainter p2(&one);
    p2.setFont(font);
    p2.setPen(Qt::black);
    int height = QFontMetrics(font).height();
    UTextDrawing::DrawWithJustification(p2, text, QRect(0, 0, 80, height + 2), teFlushLeft);
    p2.end();
    EXPECT_LE(InkBounds(one).bottom(), height + 2);
}
