#include "LDataBrowser.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

// Clicks, drags, drops, help tags and edit keys on a browser shown offscreen, with
// a column of custom cells (4005) between two text columns (4001 editable, 4002).

namespace {

constexpr DataBrowserPropertyID kName = 4001;
constexpr DataBrowserPropertyID kBadge = 4005;
constexpr DataBrowserPropertyID kNote = 4002;
const QString kRowsFormat = QStringLiteral("application/x-orvex-test-rows");

// A row whose custom cell is a badge in its left half: only clicks there hit it.
class BadgeRow : public LDataBrowserItem {
public:
    explicit BadgeRow(QString name)
        : mName(std::move(name))
    {
    }

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue) override
    {
        if (property == kNote) {
            data.value = QStringLiteral("note");
            return noErr;
        }
        if (property != kName)
            return errDataBrowserPropertyNotSupported;
        if (setValue)
            mName = data.value.toString();
        else
            data.value = mName;
        return noErr;
    }
    void DrawItem(DataBrowserPropertyID, DataBrowserItemState, const QRect& rect, QPainter& painter) override
    {
        painter.fillRect(Badge(rect), Qt::darkGreen);
    }
    bool HitTest(DataBrowserPropertyID property, const QRect& rect, const QRect& mouseRect) override
    {
        hitTests.push_back({ property, rect });
        return Badge(rect).intersects(mouseRect);
    }
    SInt16 TrackItem(DataBrowserPropertyID property, const QRect& rect, QPoint start, UInt16) override
    {
        tracked.push_back({ property, rect });
        trackStart = start;
        return trackAnswer;
    }
    void GetDragRegion(DataBrowserPropertyID property, const QRect& rect, QRegion& region) override
    {
        dragRegions.push_back({ property, rect });
        region += Badge(rect);
    }
    bool AddDragItem(QMimeData& drag) override
    {
        drag.setData(kRowsFormat, drag.data(kRowsFormat) + mName.toUtf8() + ';');
        return true;
    }
    bool AcceptDrag(const QMimeData& drag) override
    {
        ++accepts;
        return acceptsDrops && drag.hasText();
    }
    bool ReceiveDrag(const QMimeData& drag) override
    {
        received << QStringLiteral("row:") + drag.text();
        return true;
    }
    bool AcceptItemDrag(DataBrowserPropertyID property, const QRect& rect, const QMimeData& drag) override
    {
        itemAccepts.push_back({ property, rect });
        return drag.hasText();
    }
    bool ReceiveItemDrag(DataBrowserPropertyID property, const QMimeData& drag) override
    {
        received << QStringLiteral("cell %1:").arg(property) + drag.text();
        return true;
    }
    ControlKeyFilterResult EditKeyFilter(DataBrowserPropertyID property, UInt16, UInt16 charCode, UInt16) override
    {
        filteredProperty = property;
        return charCode >= '0' && charCode <= '9' ? kControlKeyFilterBlockKey : kControlKeyFilterPassKey;
    }

    static QRect Badge(const QRect& cell) { return QRect(cell.left(), cell.top(), cell.width() / 2, cell.height()); }

    struct Call {
        DataBrowserPropertyID property;
        QRect rect;
    };
    QString mName;
    std::vector<Call> hitTests, tracked, dragRegions, itemAccepts;
    QPoint trackStart;
    SInt16 trackAnswer = kDataBrowserNothingHit;
    bool acceptsDrops = true;
    int accepts = 0;
    QStringList received;
    DataBrowserPropertyID filteredProperty = 0;
};

// A browser that records the pane-side callbacks.
class RecordingBrowser : public LDataBrowser {
public:
    using LDataBrowser::LDataBrowser;

    bool AcceptDragItem(const QMimeData& drag) override { return drag.hasText(); }
    bool ReceiveDragItem(const QMimeData& drag) override
    {
        received << QStringLiteral("browser:") + drag.text();
        return true;
    }
    void PostProcessDrag(const QMimeData& drag, Qt::DropAction action) override
    {
        postProcessed.push_back(QString::fromUtf8(drag.data(kRowsFormat)));
        lastAction = action;
    }
    void GetHelpContent(LDataBrowserItem* item, DataBrowserPropertyID property, QString& content) override
    {
        helpAsked.push_back({ item, property });
        if (item)
            content = static_cast<BadgeRow*>(item)->mName + QStringLiteral(" / %1").arg(property);
    }

    QStringList received;
    QStringList postProcessed;
    Qt::DropAction lastAction = Qt::CopyAction;
    std::vector<std::pair<LDataBrowserItem*, DataBrowserPropertyID>> helpAsked;
};

struct ShownBrowser {
    std::unique_ptr<RecordingBrowser> browser;
    std::vector<BadgeRow*> rows;

    QTreeView* Tree() const { return browser->GetControlRef(); }
    QWidget* Viewport() const { return Tree()->viewport(); }
    QRect Cell(int row, DataBrowserPropertyID property) const
    {
        const int column = browser->GetImp().GetModel().ColumnOfProperty(property);
        return Tree()->visualRect(Tree()->model()->index(row, column));
    }
};

ShownBrowser ShowBrowser(UInt32 selectionFlags = 0)
{
    LDataBrowserImp::Settings settings;
    settings.columnListID = 9003;
    settings.titleListID = 777;
    settings.headerHeight = 20;
    settings.selectionFlags = selectionFlags;
    SPaneInfo info;
    info.width = 320;
    info.height = 200;
    ShownBrowser shown;
    shown.browser = std::make_unique<RecordingBrowser>(info, settings);
    shown.browser->FinishCreate();
    for (const char* name : { "alpha", "beta", "gamma" }) {
        shown.rows.push_back(new BadgeRow(QString::fromLatin1(name)));
        shown.browser->AddItem(shown.rows.back());
    }
    shown.browser->resize(320, 200);
    shown.browser->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(shown.browser.get()));
    return shown;
}

// Sends a whole drag over `at` and, when it is accepted there, the drop.
bool DropText(QWidget* viewport, QPoint at, const QString& text)
{
    QMimeData mime;
    mime.setText(text);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
}

} // namespace

TEST(DataBrowserCallbacks, ClicksOnCustomCellsGoThroughTheItemsHitTestAndTracking)
{
    ShownBrowser shown = ShowBrowser();
    BadgeRow* beta = shown.rows[1];
    const QRect cell = shown.Cell(1, kBadge);
    ASSERT_FALSE(cell.isEmpty());

    // On the badge: hit, tracked from the click, and the row is selected.
    const QPoint onBadge(cell.left() + 4, cell.center().y());
    QTest::mouseClick(shown.Viewport(), Qt::LeftButton, Qt::NoModifier, onBadge);
    ASSERT_EQ(beta->hitTests.size(), 1u);
    EXPECT_EQ(beta->hitTests[0].property, kBadge);
    EXPECT_EQ(beta->hitTests[0].rect, cell);
    ASSERT_EQ(beta->tracked.size(), 1u);
    EXPECT_EQ(beta->trackStart, onBadge);
    EXPECT_TRUE(shown.browser->IsItemSelected(beta));

    // Beside the badge: a miss is a click on empty space; nothing is tracked.
    QTest::mouseClick(shown.Viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell.right() - 3, cell.center().y()));
    EXPECT_EQ(beta->hitTests.size(), 2u);
    EXPECT_EQ(beta->tracked.size(), 1u);
    EXPECT_EQ(shown.browser->CountItems(kDataBrowserItemIsSelected), 0);

    // A row that takes the click over keeps the selection as it was.
    shown.browser->SelectItem(shown.rows[0]);
    BadgeRow* gamma = shown.rows[2];
    gamma->trackAnswer = kDataBrowserStopTracking;
    const QRect gammaCell = shown.Cell(2, kBadge);
    QTest::mouseClick(shown.Viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(gammaCell.left() + 2, gammaCell.center().y()));
    EXPECT_EQ(gamma->tracked.size(), 1u);
    EXPECT_TRUE(shown.browser->IsItemSelected(shown.rows[0]));
    EXPECT_FALSE(shown.browser->IsItemSelected(gamma));

    // Text cells never ask the item.
    QTest::mouseClick(shown.Viewport(), Qt::LeftButton, Qt::NoModifier, shown.Cell(2, kName).center());
    EXPECT_EQ(gamma->hitTests.size(), 1u);
    EXPECT_TRUE(shown.browser->IsItemSelected(gamma));
}

TEST(DataBrowserCallbacks, DropsGoToTheRowTheCellOrTheBrowser)
{
    ShownBrowser shown = ShowBrowser();
    QWidget* viewport = shown.Viewport();
    BadgeRow* alpha = shown.rows[0];
    BadgeRow* beta = shown.rows[1];

    // On a text cell: the row's own AcceptDrag and ReceiveDrag.
    EXPECT_TRUE(DropText(viewport, shown.Cell(0, kName).center(), QStringLiteral("one")));
    EXPECT_GE(alpha->accepts, 1);
    EXPECT_EQ(alpha->received, QStringList { QStringLiteral("row:one") });
    EXPECT_TRUE(alpha->itemAccepts.empty());

    // On a custom cell: the item decides for that cell, with the cell's rectangle.
    const QRect badge = shown.Cell(1, kBadge);
    EXPECT_TRUE(DropText(viewport, badge.center(), QStringLiteral("two")));
    ASSERT_FALSE(beta->itemAccepts.empty());
    EXPECT_EQ(beta->itemAccepts.back().property, kBadge);
    EXPECT_EQ(beta->itemAccepts.back().rect, badge);
    EXPECT_EQ(beta->received, QStringList { QStringLiteral("cell 4005:two") });
    EXPECT_EQ(beta->accepts, 0);

    // Below the last row: the browser's own AcceptDragItem and ReceiveDragItem.
    const QPoint below(shown.Cell(2, kName).center().x(), shown.Cell(2, kName).bottom() + 30);
    EXPECT_TRUE(DropText(viewport, below, QStringLiteral("three")));
    EXPECT_EQ(shown.browser->received, QStringList { QStringLiteral("browser:three") });

    // A row that refuses gets no drop.
    alpha->acceptsDrops = false;
    EXPECT_FALSE(DropText(viewport, shown.Cell(0, kName).center(), QStringLiteral("four")));
    EXPECT_EQ(alpha->received.size(), 1);
}

TEST(DataBrowserCallbacks, ADragCarriesTheRowsOutlinedByTheirCellsThenIsPostProcessed)
{
    ShownBrowser shown = ShowBrowser();
    shown.browser->SelectItem(shown.rows[0]);
    shown.browser->SelectItem(shown.rows[2]);
    QWidget* viewport = shown.Viewport();
    const QPoint start = shown.Cell(2, kName).center();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, start);
    // The move that passes the drag distance starts the drag; offscreen it ends at once.
    for (int step = 1; step <= 4; ++step) {
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(0, step * QApplication::startDragDistance())),
            viewport->mapToGlobal(QPointF(start)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, start);

    ASSERT_EQ(shown.browser->postProcessed.size(), 1);
    EXPECT_EQ(shown.browser->postProcessed[0], QStringLiteral("alpha;gamma;"));
    EXPECT_EQ(shown.browser->lastAction, Qt::IgnoreAction);
    // The custom cells of both rows gave their outline.
    ASSERT_EQ(shown.rows[0]->dragRegions.size(), 1u);
    EXPECT_EQ(shown.rows[0]->dragRegions[0].property, kBadge);
    EXPECT_EQ(shown.rows[0]->dragRegions[0].rect, shown.Cell(0, kBadge));
    EXPECT_EQ(shown.rows[2]->dragRegions.size(), 1u);
    EXPECT_TRUE(shown.rows[1]->dragRegions.empty());
}

TEST(DataBrowserCallbacks, HelpTagsComeFromTheBrowser)
{
    ShownBrowser shown = ShowBrowser();
    QWidget* viewport = shown.Viewport();
    const QPoint onNote = shown.Cell(1, kNote).center();
    QHelpEvent help(QEvent::ToolTip, onNote, viewport->mapToGlobal(onNote));
    QApplication::sendEvent(viewport, &help);
    ASSERT_EQ(shown.browser->helpAsked.size(), 1u);
    EXPECT_EQ(shown.browser->helpAsked[0].first, shown.rows[1]);
    EXPECT_EQ(shown.browser->helpAsked[0].second, kNote);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("beta / 4002"));

    // Over empty space there is no row and no tag.
    const QPoint below(onNote.x(), shown.Cell(2, kNote).bottom() + 30);
    QHelpEvent empty(QEvent::ToolTip, below, viewport->mapToGlobal(below));
    QApplication::sendEvent(viewport, &empty);
    ASSERT_EQ(shown.browser->helpAsked.size(), 2u);
    EXPECT_EQ(shown.browser->helpAsked[1].first, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
}

TEST(DataBrowserCallbacks, KeysTypedIntoAnEditPassThroughTheEditedItemsFilter)
{
    ShownBrowser shown = ShowBrowser();
    BadgeRow* alpha = shown.rows[0];
    // Without an edited item every key passes.
    EXPECT_EQ(shown.browser->EditKeyFilter(alpha, kName, 0, '7', 0), kControlKeyFilterPassKey);

    QTreeView* tree = shown.Tree();
    const QModelIndex name = tree->model()->index(0, 0);
    tree->setCurrentIndex(name);
    tree->edit(name);
    auto* editor = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(shown.browser->GetEditedItem(), alpha);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("b4e7t"));
    EXPECT_EQ(editor->text(), QStringLiteral("bet")); // the row blocks digits
    EXPECT_EQ(alpha->filteredProperty, kName);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the view commits and closes the editor from the event loop
    EXPECT_EQ(alpha->mName, QStringLiteral("bet"));
    EXPECT_EQ(shown.browser->GetEditedItem(), nullptr);
}

TEST(DataBrowserCallbacks, TheMinimalHiliteShowsTheSelectionInTheFirstColumnOnly)
{
    ShownBrowser shown = ShowBrowser();
    shown.browser->SelectItem(shown.rows[1]);
    const QColor highlight = shown.Tree()->palette().color(QPalette::Active, QPalette::Highlight);
    auto shade = [&](DataBrowserPropertyID property) {
        const QRect cell = shown.Cell(1, property);
        const QImage picture = shown.Viewport()->grab().toImage();
        // The right end of the cell, clear of its text.
        return QColor(picture.pixel(cell.right() - 2, cell.top() + 2));
    };
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40;
    };
    EXPECT_EQ(shown.browser->GetHiliteStyle(), UInt32(kDataBrowserTableViewFillHilite));
    EXPECT_TRUE(near(shade(kName), highlight));
    EXPECT_TRUE(near(shade(kNote), highlight));

    shown.browser->SetHiliteStyle(kDataBrowserTableViewMinimalHilite);
    EXPECT_EQ(shown.browser->GetHiliteStyle(), UInt32(kDataBrowserTableViewMinimalHilite));
    EXPECT_TRUE(near(shade(kName), highlight));
    EXPECT_FALSE(near(shade(kNote), highlight));
}
