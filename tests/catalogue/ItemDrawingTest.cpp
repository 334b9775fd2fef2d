// Cells drawn into images at device pixel ratios 1 and 2: the picture where the
// cell puts it, the badges, the text lines, the selected looks, nothing outside
// the cell; the printed form, the drag image and the list view's row.

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "FieldKeys.h"
#include "FileTypes.h"
#include "LDataBrowser.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "MediaImageInfo.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "TaskServices.h"
#include "TestIndexView.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <QScopeGuard>
#include <QTreeView>

namespace {

const QColor kSentinel(0, 200, 0); // where nothing may be drawn
const QColor kRed(220, 20, 20);
const QColor kBlue(20, 20, 220);

// A picture whose halves tell where it was put: red left, blue right.
QImage HalvesImage(int width = 160, int height = 120)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, kRed);
    painter.fillRect(width / 2, 0, width - width / 2, height, kBlue);
    return image;
}

std::unique_ptr<CIndexItem> ItemWithPicture(const QImage& image = HalvesImage())
{
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/harbour.jpg")));
    auto caption = std::make_unique<CANPAInfo>();
    caption->SetHeadline(Str255("Harbour at dusk"));
    item->SetCaptionInfo(std::move(caption));
    item->SetDisplayPicture(std::make_unique<Offscreen>(image));
    return item;
}

// A canvas of `size` logical pixels at the ratio, filled with the sentinel.
QImage Canvas(QSize size, qreal ratio)
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(kSentinel);
    return image;
}

// The colour at a logical point of an image drawn at a ratio.
QColor At(const QImage& image, QPoint logical)
{
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(int(logical.x() * ratio), int(logical.y() * ratio));
}

bool Near(const QColor& a, const QColor& b, int tolerance = 24)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Pixels of the rectangle (logical) that are dark: text drawn there.
int DarkPixels(const QImage& image, const QRect& logical)
{
    const qreal ratio = image.devicePixelRatio();
    int count = 0;
    const QRect device(QPoint(int(logical.left() * ratio), int(logical.top() * ratio)), logical.size() * ratio);
    for (int y = device.top(); y <= device.bottom(); ++y)
        for (int x = device.left(); x <= device.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                ++count;
    return count;
}

// Every pixel outside the rectangle (logical) still holds the sentinel.
bool UntouchedOutside(const QImage& image, const QRect& logical)
{
    const qreal ratio = image.devicePixelRatio();
    const QRect device(QPoint(int(logical.left() * ratio), int(logical.top() * ratio)), logical.size() * ratio);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!device.contains(x, y) && image.pixelColor(x, y) != kSentinel)
                return false;
    return true;
}

// Saves what was drawn for a look (ORVEX_CELL_PNG_DIR keeps the files).
void Keep(const QImage& image, const QString& name)
{
    QString dir = qEnvironmentVariable("ORVEX_CELL_PNG_DIR");
    if (dir.isEmpty())
        dir = TestTempDir() + QStringLiteral("/cells");
    QDir().mkpath(dir);
    EXPECT_TRUE(image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
}

class ItemDrawing : public ::testing::TestWithParam<qreal> {
protected:
    void SetUp() override { mView.columns = {kFieldName, kFieldHeadline}; }
    QImage Draw(CIndexItem& item, const QRect& cell, const QString& name, bool selected = false)
    {
        QImage image = Canvas(QSize(cell.right() + 30, cell.bottom() + 30), GetParam());
        QPainter painter(&image);
        item.DrawCell(painter, cell, mView, selected);
        painter.end();
        Keep(image, name + QStringLiteral("@%1x").arg(GetParam()));
        return image;
    }

    StTempPrefBoolean mNoDim {QStringLiteral("DimSelection"), false};
    StTempPrefBoolean mWithExtension {QStringLiteral("ShowFileExtension"), true};
    TestIndexView mView;
    const QRect mCell {QPoint(30, 30), QSize(120, 140)};
};

} // namespace

TEST_P(ItemDrawing, GridCellPutsPictureTextAndNothingElsewhere)
{
    auto item = ItemWithPicture();
    const QImage image = Draw(*item, mCell, QStringLiteral("grid"));
    // The picture: 160 x 120 fitted to 100 x 75, centred in the frame.
    const QRect picture = item->GetPartRect(kItemPartPicture, mCell, mView);
    EXPECT_EQ(picture.size(), QSize(100, 75));
    EXPECT_EQ(picture.left(), mCell.left() + 10);
    EXPECT_NEAR(picture.top(), mCell.top() + 4 + (108 - 75) / 2, 1);
    EXPECT_TRUE(Near(At(image, picture.topLeft() + QPoint(20, 30)), kRed));
    EXPECT_TRUE(Near(At(image, picture.topLeft() + QPoint(80, 30)), kBlue));
    // Theme 1 frames the picture in light grey; the frame around it is background.
    EXPECT_EQ(At(image, picture.topLeft()), QColor(0xCC, 0xCC, 0xCC));
    const QRect frame = item->GetPartRect(kItemPartThumbnailFrame, mCell, mView);
    EXPECT_EQ(At(image, frame.topLeft() + QPoint(1, 1)), QColor(Qt::white));
    // Two text lines under the frame, each with text in it.
    const QRect block = item->GetPartRect(kItemPartTextBlock, mCell, mView);
    EXPECT_GT(DarkPixels(image, QRect(block.topLeft(), QSize(block.width(), 12))), 10);
    EXPECT_GT(DarkPixels(image, QRect(block.topLeft() + QPoint(0, 12), QSize(block.width(), 12))), 10);
    EXPECT_TRUE(UntouchedOutside(image, mCell));
    // No badge without an error: its corner shows the picture's own frame area.
    EXPECT_EQ(At(image, item->GetPartRect(kItemPartErrorBadge, mCell, mView).center()), QColor(Qt::white));
}

TEST_P(ItemDrawing, PictureKeepsItsDetailAtTheScreensDensity)
{
    // A picture of single-pixel stripes twice the size of its place: at ratio 2
    // every device pixel takes one stripe, at ratio 1 they are averaged.
    QImage stripes(200, 150, QImage::Format_ARGB32_Premultiplied);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixelColor(x, y, x % 2 ? Qt::black : Qt::white);
    auto item = ItemWithPicture(stripes);
    const QImage image = Draw(*item, mCell, QStringLiteral("stripes"));
    const QRect picture = item->GetPartRect(kItemPartPicture, mCell, mView);
    const QPoint middle = picture.center() * GetParam();
    const int left = qGray(image.pixel(middle));
    const int right = qGray(image.pixel(middle + QPoint(1, 0)));
    if (GetParam() == 2)
        EXPECT_GT(std::abs(left - right), 200);
    else
        EXPECT_LT(std::abs(left - right), 60);
}

TEST_P(ItemDrawing, BadgesAndSelectedLooks)
{
    auto item = ItemWithPicture();
    item->SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:50")));
    // Drawn as the grid draws an item its index's selection holds.
    const QImage image = Draw(*item, mCell, QStringLiteral("selected-error"), true);
    const QRect picture = item->GetPartRect(kItemPartPicture, mCell, mView);
    const QRect badge = item->GetPartRect(kItemPartErrorBadge, mCell, mView);
    // The caution badge covers its square's middle.
    EXPECT_NE(At(image, badge.center()), QColor(Qt::white));
    // Selected without dimming: a three-pixel ring in the highlight colour.
    for (int outset : {1, 2, 3})
        EXPECT_EQ(At(image, QPoint(picture.center().x(), picture.top() - outset)), mView.GetHighlightColor()) << outset;
    EXPECT_NE(At(image, QPoint(picture.center().x(), picture.top() - 4)), mView.GetHighlightColor());
    EXPECT_TRUE(UntouchedOutside(image, mCell));

    // Dimmed: the picture is darkened towards black, no ring.
    StTempPrefBoolean dim(QStringLiteral("DimSelection"), true);
    const QImage dimmed = Draw(*item, mCell, QStringLiteral("selected-dimmed"), true);
    const QColor red = At(dimmed, picture.topLeft() + QPoint(20, 30));
    EXPECT_LT(red.red(), 150);
    EXPECT_GT(red.red(), 80);
    EXPECT_NE(At(dimmed, QPoint(picture.center().x(), picture.top() - 2)), mView.GetHighlightColor());
}

TEST_P(ItemDrawing, BusyItemShowsThePadlockInsteadOfTheCaution)
{
    auto item = ItemWithPicture();
    const QRect badge = item->GetPartRect(kItemPartErrorBadge, mCell, mView);
    const QImage plain = Draw(*item, mCell, QStringLiteral("plain"));
    item->SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:50")));
    const QImage caution = Draw(*item, mCell, QStringLiteral("caution"));
    item->SetBusy(true);
    const QImage busy = Draw(*item, mCell, QStringLiteral("busy"));
    const qreal ratio = GetParam();
    const QRect device(QPoint(int(badge.left() * ratio), int(badge.top() * ratio)), badge.size() * ratio);
    EXPECT_NE(caution.copy(device), plain.copy(device));
    EXPECT_NE(busy.copy(device), plain.copy(device));
    EXPECT_NE(busy.copy(device), caution.copy(device));
}

TEST_P(ItemDrawing, OpenInViewerIsWashedOut)
{
    auto item = ItemWithPicture();
    item->SetOpenInViewer(1);
    const QImage image = Draw(*item, mCell, QStringLiteral("open-in-viewer"));
    const QRect picture = item->GetPartRect(kItemPartPicture, mCell, mView);
    const QColor blue = At(image, picture.topLeft() + QPoint(80, 30));
    EXPECT_GT(blue.red(), 100); // half way to white
    EXPECT_GT(blue.blue(), 200);
}

TEST_P(ItemDrawing, OnlyTheExposedPartIsDrawn)
{
    auto item = ItemWithPicture();
    const QRect block = item->GetPartRect(kItemPartTextBlock, mCell, mView);
    QImage image = Canvas(QSize(mCell.right() + 30, mCell.bottom() + 30), GetParam());
    QPainter painter(&image);
    painter.setClipRect(block);
    item->DrawCell(painter, mCell, mView);
    painter.end();
    const QRect picture = item->GetPartRect(kItemPartPicture, mCell, mView);
    EXPECT_EQ(At(image, picture.center()), kSentinel);
    EXPECT_GT(DarkPixels(image, block), 10);
}

TEST_P(ItemDrawing, IconWithoutPictureAsksForOne)
{
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/harbour.jpg")));
    QPixmap yellow(64, 64);
    yellow.fill(QColor(240, 220, 0));
    item->SetIcon(QIcon(yellow));
    item->SetDisplayPictureChanged(false);
    const QImage image = Draw(*item, mCell, QStringLiteral("icon"));
    const QRect frame = item->GetPartRect(kItemPartThumbnailFrame, mCell, mView);
    EXPECT_TRUE(Near(At(image, frame.center()), QColor(240, 220, 0)));
    EXPECT_TRUE(item->HasDisplayPictureChanged());
    EXPECT_TRUE(UntouchedOutside(image, mCell));
}

TEST_P(ItemDrawing, ExtendedRowShowsLabelsAndValues)
{
    mView.extended = true;
    mView.cellWidth = 400;
    mView.thumbnailSize = 50;
    mView.columns = {kFieldName, kFieldHeadline, kFieldCity};
    auto item = ItemWithPicture();
    const QRect cell(QPoint(30, 30), QSize(400, 60));
    const QImage image = Draw(*item, cell, QStringLiteral("extended"));
    const QRect block = item->GetPartRect(kItemPartTextBlock, cell, mView);
    const int valueLeft = block.left() + 1 + mView.GetExtraColumnWidth() + int(8 * mView.GetCharWidth());
    // Label column and value area in their colours, text in both.
    EXPECT_EQ(At(image, QPoint(block.left() + 3, block.top() + 1)), QColor(0xEE, 0xEE, 0xEE));
    EXPECT_EQ(At(image, QPoint(block.right() - 8, block.top() + 1)), QColor(Qt::white));
    const QRect firstLine(block.left() + 1, block.top(), block.width() - 5, 11);
    EXPECT_GT(DarkPixels(image, QRect(firstLine.left(), firstLine.top(), valueLeft - firstLine.left(), 11)), 5);
    EXPECT_GT(DarkPixels(image, QRect(valueLeft, firstLine.top(), firstLine.right() - valueLeft, 11)), 5);
    // The row ends in a light grey line one pixel above its bottom.
    EXPECT_EQ(At(image, QPoint(cell.center().x(), cell.bottom() - 1)), QColor(0xCC, 0xCC, 0xCC));
    // The picture sits in the square frame at the left.
    const QRect picture = item->GetPartRect(kItemPartPicture, cell, mView);
    EXPECT_LT(picture.right(), block.left());
    EXPECT_TRUE(Near(At(image, picture.topLeft() + QPoint(5, picture.height() / 2)), kRed));
    EXPECT_TRUE(UntouchedOutside(image, cell));
}

INSTANTIATE_TEST_SUITE_P(AtRatios, ItemDrawing, ::testing::Values(1.0, 2.0));

namespace {

// The cell printed on a white page of its size.
QImage PrintedPage(CIndexItem& item, const QRect& cell, const TestIndexView& view, const QString& name)
{
    QImage page = Canvas(cell.size(), 1);
    page.fill(Qt::white);
    QPainter painter(&page);
    item.PrintCell(painter, cell, view);
    painter.end();
    Keep(page, name);
    return page;
}

} // namespace

TEST(ItemPrinting, MissingThumbnailPrintsACross)
{
    TestIndexView view;
    StTempPrefBoolean thumbnails(QStringLiteral("HighQualityPrinting"), false);
    StTempPrefBoolean frame(QStringLiteral("PrintFrame"), true);
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/none.jpg")));
    item->SetError(std::make_unique<CItemError>(-36, QString(), QStringLiteral("600:50")));
    const QRect cell(QPoint(0, 0), QSize(120, 140));
    const QImage page = PrintedPage(*item, cell, view, QStringLiteral("printed-cross"));
    const QRect picture = item->GetPartRect(kItemPartPicture, cell, view);
    // Both diagonals of the picture's place, and the light grey frame around it.
    EXPECT_LT(qGray(page.pixel(picture.center())), 100);
    EXPECT_LT(qGray(page.pixel(picture.topLeft() + QPoint(10, 10))), 100);
    EXPECT_LT(qGray(page.pixel(picture.left() + 10, picture.bottom() - 10)), 100);
    EXPECT_EQ(page.pixelColor(picture.left() - 1, picture.center().y()), QColor(0xCC, 0xCC, 0xCC));
    // The item keeps the error it had, whatever printing met.
    ASSERT_NE(item->GetError(), nullptr);
    EXPECT_EQ(item->GetError()->GetCode(), -36);
}

TEST(ItemPrinting, ThumbnailPrintsInThePictureRectangle)
{
    TestIndexView view;
    StTempPrefBoolean thumbnails(QStringLiteral("HighQualityPrinting"), false);
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/halves.jpg")));
    item->SetThumbnail(std::make_unique<Picture>(Picture::FromImage(HalvesImage(), MakeRect(0, 0, 120, 160))));
    const QRect cell(QPoint(0, 0), QSize(120, 140));
    const QImage page = PrintedPage(*item, cell, view, QStringLiteral("printed-thumbnail"));
    const QRect picture = item->GetPartRect(kItemPartPicture, cell, view);
    EXPECT_TRUE(Near(page.pixelColor(picture.topLeft() + QPoint(20, 30)), kRed));
    EXPECT_TRUE(Near(page.pixelColor(picture.topLeft() + QPoint(80, 30)), kBlue));
}

TEST(ItemDragImage, PictureWithTheCountOrTheIcon)
{
    TestIndexView view;
    auto item = ItemWithPicture();
    const QRect cell(QPoint(200, 300), QSize(120, 140));
    QPoint hotSpot;
    const QPixmap image = item->MakeDragImage(cell, view, 150, hotSpot);
    Keep(image.toImage(), QStringLiteral("drag-150"));
    const QRect picture = item->GetPartRect(kItemPartPicture, cell, view);
    EXPECT_EQ(image.size(), picture.size());
    EXPECT_EQ(hotSpot, -picture.topLeft());
    // The badge at the top right is neither of the picture's colours.
    const QImage pixels = image.toImage();
    const QColor corner = pixels.pixelColor(pixels.width() - 12, 10);
    EXPECT_FALSE(Near(corner, kBlue));
    EXPECT_TRUE(Near(pixels.pixelColor(10, pixels.height() - 10), kRed));

    auto bare = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/bare.jpg")));
    QPixmap yellow(64, 64);
    yellow.fill(QColor(240, 220, 0));
    bare->SetIcon(QIcon(yellow));
    const QPixmap icon = bare->MakeDragImage(cell, view, 1, hotSpot);
    EXPECT_FALSE(icon.isNull());
    EXPECT_LE(icon.width(), 128);
}

namespace {

// The list view: a data browser that is also the items' index view.
class TestListView : public LDataBrowser, public TestIndexView {
public:
    explicit TestListView(const LDataBrowserImp::Settings& settings)
        : LDataBrowser(SPaneInfo {}, settings)
    {
    }
};

std::unique_ptr<TestListView> MakeListView()
{
    LDataBrowserImp::Settings settings;
    settings.columnListID = 9101;
    settings.titleListID = 777;
    auto view = std::make_unique<TestListView>(settings);
    view->FinishCreate();
    return view;
}

QVariant RowValue(CIndexItem& item, DataBrowserPropertyID property, OSStatus expected = noErr)
{
    DataBrowserItemData data;
    EXPECT_EQ(item.GetSetItemData(property, data, false), expected) << property;
    return data.value;
}

} // namespace

TEST(ItemListRow, ColumnsShowShortOrLongFormsByWidth)
{
    StTempPrefBoolean noExtension(QStringLiteral("ShowFileExtension"), false);
    StTempPrefBoolean icons(QStringLiteral("ListViewShowThumbnails"), false);
    auto view = MakeListView();
    auto item = ItemWithPicture();
    QPixmap yellow(16, 16);
    yellow.fill(QColor(240, 220, 0));
    item->SetIcon(QIcon(yellow));
    item->SetFileTypeCode('JPEG', false);
    item->SetCreatorCode(kUnknownFileType, false);
    auto info = std::make_unique<MediaImageInfo>();
    info->width = 640;
    item->SetImageInfo(std::move(info));
    view->AddItem(item.get());
    ASSERT_EQ(item->GetOwningBrowser(), view.get());

    // The name column always shows the whole name, with the file's icon.
    DataBrowserItemData name;
    ASSERT_EQ(item->GetSetItemData(kFieldName, name, false), noErr);
    EXPECT_EQ(name.value.toString(), QStringLiteral("harbour.jpg"));
    EXPECT_FALSE(name.icon.isNull());

    // 80 pixels: the type and creator codes; wider: their texts.
    EXPECT_EQ(RowValue(*item, kFieldKind).toString(), QStringLiteral("JPEG"));
    EXPECT_EQ(RowValue(*item, kFieldCreator).toString(), QStringLiteral("????"));
    view->GetControlRef()->setColumnWidth(1, 81);
    view->GetControlRef()->setColumnWidth(3, 81);
    EXPECT_EQ(RowValue(*item, kFieldKind).toString(), QStringLiteral("JPEG image"));
    EXPECT_EQ(RowValue(*item, kFieldCreator).toString(), kFieldPlaceholder);

    // Width units follow the numbers only where there is room.
    EXPECT_EQ(RowValue(*item, kFieldWidth).toString(), QStringLiteral("640") + CopyLocalizedCFString(602, 4));
    view->GetControlRef()->setColumnWidth(4, 80);
    EXPECT_EQ(RowValue(*item, kFieldWidth).toString(), QStringLiteral("640"));

    // Errors: "-" without one; the code with its text at any width (a narrow
    // column cuts the text off, never leaves a bare number).
    EXPECT_EQ(RowValue(*item, kFieldError).toString(), kFieldPlaceholder);
    item->SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:50")));
    DataBrowserItemData error;
    ASSERT_EQ(item->GetSetItemData(kFieldError, error, false), noErr);
    EXPECT_TRUE(error.value.toString().startsWith(QStringLiteral("-43 ")));
    EXPECT_FALSE(error.icon.isNull());
    view->GetControlRef()->setColumnWidth(2, 200);
    EXPECT_TRUE(RowValue(*item, kFieldError).toString().startsWith(QStringLiteral("-43 ")));

    // Dates are date values, for the column to sort and show.
    item->SetDateAdded(3000000000u);
    EXPECT_EQ(RowValue(*item, kFieldDateAdded).toDateTime(), MacSecondsToDateTime(3000000000u));
    view->RemoveItem(item.get());
}

TEST(ItemListRow, EditingGoesThroughTheFieldSetter)
{
    auto view = MakeListView();
    auto item = ItemWithPicture();
    view->AddItem(item.get());

    // The editable property: the urgency and sizes are not offered.
    for (const auto& [key, editable] : std::initializer_list<std::pair<SInt32, bool>> {
             {kFieldUrgency, false}, {kFieldTotalSize, false}, {kFieldExposureTime, false},
             {kFieldDateAdded, true}, {kFieldHeadline, true}, {kFieldName, true}}) {
        DataBrowserItemData data;
        data.value = key;
        ASSERT_EQ(item->GetSetItemData(3, data, false), noErr);
        EXPECT_EQ(data.value.toBool(), editable) << key;
    }

    DataBrowserItemData edit;
    edit.value = QStringLiteral("New headline");
    ASSERT_EQ(item->GetSetItemData(kFieldHeadline, edit, true), noErr);
    EXPECT_EQ(item->CopyFieldString(kFieldHeadline, 0), QStringLiteral("New headline"));
    // A read-only field offered for editing refuses the text; the cell keeps its value.
    const QString added = item->CopyFieldString(kFieldDateAdded, 0);
    edit.value = QStringLiteral("1/1/2000");
    EXPECT_EQ(item->GetSetItemData(kFieldDateAdded, edit, true), kFieldReadOnlyErr);
    EXPECT_EQ(item->CopyFieldString(kFieldDateAdded, 0), added);
    view->RemoveItem(item.get());

    // An item in no browser answers nothing.
    DataBrowserItemData none;
    EXPECT_EQ(item->GetSetItemData(kFieldName, none, false), noErr);
    EXPECT_FALSE(none.value.isValid());
}
