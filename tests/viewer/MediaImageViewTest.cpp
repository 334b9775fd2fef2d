// The still image view: layout in its window, scrolling, the cache, commands,
// copying and printing, with real JPEG files.
#include "CMediaImageView.h"
#include "CMediaView.h"
#include "MediaFactory.h"

#include "ViewerTest.h"

#include "DrawnText.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

namespace {
class ImageViewTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        SPaneInfo superInfo;
        superInfo.width = 800;
        superInfo.height = 600;
        super = new LView(superInfo);
        SPaneInfo info;
        info.width = 800;
        info.height = 600;
        info.superView = super;
        info.paneID = 901;
        media = new CMediaImageView(info);
        options.zoomFlag = kZoomFitEnlarge;
        super->show();
    }
    void TearDown() override
    {
        delete super;
        ViewerTest::TearDown();
    }

    void Show(const QString& path)
    {
        media->SetMedia(CreateMediaForFile(QUrl::fromLocalFile(path)), &options);
    }

    bool Enabled(CommandT command)
    {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name {};
        media->FindCommandStatus(command, enabled, usesMark, mark, name);
        return enabled;
    }
    bool Marked(CommandT command)
    {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name {};
        media->FindCommandStatus(command, enabled, usesMark, mark, name);
        return usesMark && mark == checkMark;
    }

    LView* super = nullptr;
    CMediaImageView* media = nullptr;
    MediaViewOptions options;
};
} // namespace

TEST_F(ImageViewTest, ASmallStillShrinksTheFrameAndSitsInTheMiddle)
{
    SetPrefNumber(QStringLiteral("MediaImageMaxZoom"), 200);
    Show(WritePhoto(1, 200, 100));
    EXPECT_EQ(media->GetMediaBounds(), QRect(0, 0, 400, 200));
    EXPECT_EQ(media->GetZoom(), 200);
    EXPECT_EQ(media->GetFrame(), QRect(200, 200, 400, 200));
    EXPECT_FALSE(media->CanScroll());
    EXPECT_TRUE(media->isVisibleTo(super));
}

TEST_F(ImageViewTest, ALargeStillAt100PercentScrollsFromItsMiddleByKeysAndDrags)
{
    options.zoomFlag = kZoomFixed;
    options.zoom = 100;
    Show(WritePhoto(2, 1600, 1200));
    EXPECT_EQ(media->GetFrame(), QRect(0, 0, 800, 600));
    ASSERT_TRUE(media->CanScroll());
    EXPECT_EQ(media->GetScrollPosition(), (SPoint32 { 400, 300 }));
    EXPECT_TRUE(media->KeyScroll(char_RightArrow));
    EXPECT_EQ(media->GetScrollPosition(), (SPoint32 { 432, 300 }));
    // Dragging moves the image four times as far, the other way, pinned to its edges.
    EXPECT_TRUE(media->DragScrollBy(10, 0));
    EXPECT_EQ(media->GetScrollPosition(), (SPoint32 { 392, 300 }));
    EXPECT_TRUE(media->DragScrollBy(-1000, -1000));
    EXPECT_EQ(media->GetScrollPosition(), (SPoint32 { 800, 600 }));
    EXPECT_FALSE(media->DragScrollBy(-10, -10));

    SetPrefBoolean(QStringLiteral("MediaCenterLargeImages"), false);
    media->Relayout();
    EXPECT_EQ(media->GetScrollPosition(), (SPoint32 { 0, 0 }));
}

TEST_F(ImageViewTest, ARotatedStillIsLaidOutUpright)
{
    const QString path = WritePhoto(3, 400, 200);
    std::unique_ptr<CMedia> medium = CreateMediaForFile(QUrl::fromLocalFile(path));
    ASSERT_TRUE(medium);
    medium->SetTransform(kMediaRotateQuarter2, kMediaFlipNone);
    options.zoomFlag = kZoomFitEnlarge;
    media->SetMedia(std::move(medium), &options);
    // The quarter turn makes it portrait: 200 x 400 fitted to the 600-pixel height.
    EXPECT_EQ(media->GetMediaBounds(), QRect(0, 0, 300, 600));
    EXPECT_EQ(media->GetZoom(), 150);
}

TEST_F(ImageViewTest, ZoomIsClampedAndTheSameFitModeOnlyTellsTheWindow)
{
    Show(WritePhoto(4, 640, 480));
    int zoomMessages = 0;
    struct Ear : LListener {
        int* count;
        explicit Ear(int* c) : count(c) {}
        void ListenToMessage(MessageT message, void*) override
        {
            if (message == msg_MediaZoomChanged)
                ++*count;
        }
    } ear(&zoomMessages);
    media->AddListener(&ear);

    media->SetZoom(0);
    EXPECT_EQ(options.zoom, 1);
    EXPECT_EQ(options.zoomFlag, kZoomFixed);
    EXPECT_FALSE(Enabled(cmd_MediaZoomOut));
    EXPECT_TRUE(Enabled(cmd_MediaZoomIn));
    media->SetZoom(5000);
    EXPECT_EQ(options.zoom, 2000);
    EXPECT_FALSE(Enabled(cmd_MediaZoomIn));
    EXPECT_EQ(media->GetMediaBounds(), QRect(0, 0, 12800, 9600));

    media->ObeyCommand(cmd_MediaZoom100, nullptr);
    EXPECT_TRUE(Marked(cmd_MediaZoom100));
    EXPECT_FALSE(Marked(cmd_MediaZoom50));
    media->ObeyCommand(cmd_MediaFitShrink, nullptr);
    EXPECT_TRUE(Marked(cmd_MediaFitShrink));
    const QRect fitted = media->GetMediaBounds();
    zoomMessages = 0;
    media->SetZoom(kZoomFitShrink);
    EXPECT_EQ(zoomMessages, 1);
    EXPECT_EQ(media->GetMediaBounds(), fitted);

    // The keys do what the menu does.
    EventRecord key;
    key.what = keyDown;
    key.message = '2';
    ASSERT_TRUE(media->HandleKeyPress(key));
    EXPECT_EQ(options.zoom, 200);
    EXPECT_EQ(options.zoomFlag, kZoomFixed);
    // The desktop's zoom keys: Ctrl+0 the actual size, Ctrl with "=" (plus) and minus.
    key.modifiers = cmdKey;
    key.message = '0';
    ASSERT_TRUE(media->HandleKeyPress(key));
    EXPECT_EQ(options.zoom, 100);
    key.message = '=';
    ASSERT_TRUE(media->HandleKeyPress(key));
    const auto zoomedIn = options.zoom;
    EXPECT_GT(zoomedIn, 100);
    key.message = '-';
    ASSERT_TRUE(media->HandleKeyPress(key));
    EXPECT_LT(options.zoom, zoomedIn);
    const auto zoomedOut = options.zoom;
    key.modifiers = cmdKey | optionKey; // not a zoom key
    key.message = '=';
    media->HandleKeyPress(key);
    EXPECT_EQ(options.zoom, zoomedOut);
    media->RemoveListener(&ear);
}

TEST_F(ImageViewTest, TheCacheHoldsThePixelsOfADenseScreenAndIsKeptForTheSameMedium)
{
    options.zoomFlag = kZoomFixed;
    options.zoom = 50;
    Show(WritePhoto(5, 1200, 800));
    ASSERT_EQ(media->GetMediaBounds(), QRect(0, 0, 600, 400));
    QImage screen(media->size() * 2, QImage::Format_ARGB32_Premultiplied);
    screen.setDevicePixelRatio(2.0);
    {
        QPainter painter(&screen);
        media->DrawSelf(painter);
    }
    EXPECT_EQ(media->GetCache().size(), QSize(1200, 800));
    // The middle of the photograph is its light square.
    EXPECT_GT(qGray(screen.pixel(media->width(), media->height())), 200);
    const qint64 key = media->GetCache().cacheKey();

    // Zooming out keeps the cache (it is scaled); a new medium drops it.
    media->SetZoom(25);
    EXPECT_EQ(media->GetCache().cacheKey(), key);
    Show(WritePhoto(6, 300, 200));
    EXPECT_TRUE(media->GetCache().isNull());
}

TEST_F(ImageViewTest, CopyPutsTheWholePictureOnTheClipboardAndPrintingMakesAPage)
{
    Show(WritePhoto(7, 900, 600));
    media->Copy();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(900, 600));
    EXPECT_GT(qGray(copied.pixel(450, 300)), 200);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = mDir + QStringLiteral("/print.pdf");
    printer.setOutputFileName(pdf);
    EXPECT_EQ(media->PrintTo(printer), 1);
    EXPECT_GT(QFileInfo(pdf).size(), 1000);
    EXPECT_TRUE(ReadWholeFile(pdf).startsWith("%PDF"));
    // The screen's layout is left as it was.
    EXPECT_FALSE(media->IsPrinting());
    EXPECT_EQ(media->GetFrame().size(), media->GetMediaBounds().size());
}

TEST_F(ImageViewTest, ADamagedFileDrawsTheErrorStripInsteadOfThrowingFromPaint)
{
    const QString path = WritePhoto(8, 400, 300);
    std::unique_ptr<CMedia> medium = CreateMediaForFile(QUrl::fromLocalFile(path));
    ASSERT_TRUE(medium);
    // Cut the file under the opened medium: decoding fails at drawing time.
    QFile::resize(path, 200);
    media->SetMedia(std::move(medium), &options);
    QImage screen(media->size(), QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    EXPECT_NO_THROW(media->DrawSelf(painter));
    painter.end();
    if (media->GetCache().isNull())
        EXPECT_EQ(qGray(screen.pixel(media->width() / 2, 5)), 0);

    // The strip says what went wrong in words, never as a bare number: a file
    // cut off in the middle of its picture data.
    const QString cut = WritePhoto(9, 400, 300);
    QFile::resize(cut, QFileInfo(cut).size() * 3 / 5);
    std::unique_ptr<CMedia> damaged = CreateMediaForFile(QUrl::fromLocalFile(cut));
    ASSERT_TRUE(damaged);
    media->SetMedia(std::move(damaged), &options);
    const QStringList drawn = TextsDrawnBy(media->size(), [&](QPainter& on) { media->DrawSelf(on); });
    ASSERT_EQ(drawn.size(), 1) << drawn.join(" | ").toStdString();
    EXPECT_TRUE(drawn[0].startsWith(QStringLiteral("Error processing media: "))) << drawn[0].toStdString();
    EXPECT_FALSE(drawn[0].contains(QRegularExpression(QStringLiteral("-?\\d{3,}")))) << drawn[0].toStdString();
    EXPECT_TRUE(drawn[0].contains(QStringLiteral("damaged"))) << drawn[0].toStdString();
}
