#include "CWidgets.h"
#include "InterfaceTestSupport.h"
#include "LScrollerView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

// Takes the addresses the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

namespace {

SPaneInfo Info(PaneIDT id, QRect frame, LView* super)
{
    return SPaneInfo { id, frame.width(), frame.height(), true, true, {}, frame.left(), frame.top(), 0, super };
}

struct Recorder : LListener {
    void ListenToMessage(MessageT message, void*) override { heard.push_back(message); }
    std::vector<MessageT> heard;
};

struct WidgetFixture : ::testing::Test {
    LWindow* window = nullptr;
    void SetUp() override
    {
        window = new LWindow(WindowInfo(20, 20, 400, 300), kRegularWindowAttributes, QStringLiteral("Widgets"), nullptr);
        window->Show();
        window->Select();
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
    int CountPixels(const QImage& image, QColor colour) const
    {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += QColor(image.pixel(x, y)) == colour;
        return count;
    }
};

TEST(GrayRamp, KnownLevels)
{
    EXPECT_EQ(GrayRamp(0).rgba64().red(), 0xFFFF);
    EXPECT_EQ(GrayRamp(1).rgba64().red(), 0xEEEE);
    EXPECT_EQ(GrayRamp(5).rgba64().green(), 0xAAAA);
    EXPECT_EQ(GrayRamp(10).rgba64().blue(), 0x5555);
    EXPECT_EQ(GrayRamp(13).rgba64().red(), 0);
    EXPECT_EQ(GrayRamp(99), GrayRamp(13));
}

TEST_F(WidgetFixture, WheelsScrollByNotchesTimesTheUnitAndTouchpadsByPixels)
{
    auto* scroller = new LScrollerView(Info(1, QRect(0, 0, 300, 200), window), 2);
    auto* view = new LView(Info(2, QRect(0, 0, 280, 180), scroller), { 1000, 2000 }, { 10, 16 });
    Q_UNUSED(view);
    scroller->FinishCreate();
    ASSERT_EQ(scroller->GetScrollingView(), view);
    auto* plain = new LView(Info(3, QRect(310, 0, 80, 80), window));
    CScrollWheelAttachment wheels;
    QPoint over = view->mapToGlobal(QPoint(50, 50));

    EXPECT_TRUE(wheels.HandleWheel(over, QPoint(0, -120), QPoint()));
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 0, 16 })); // one notch down: one unit
    EXPECT_TRUE(wheels.HandleWheel(over, QPoint(0, -60), QPoint())); // half a notch: nothing yet
    EXPECT_EQ(view->GetScrollPosition().v, 16);
    EXPECT_TRUE(wheels.HandleWheel(over, QPoint(0, -60), QPoint()));
    EXPECT_EQ(view->GetScrollPosition().v, 32);
    EXPECT_TRUE(wheels.HandleWheel(over, QPoint(-240, 0), QPoint()));
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 20, 32 }));
    EXPECT_TRUE(wheels.HandleWheel(over, QPoint(0, -120), QPoint(0, -30))); // pixels win
    EXPECT_EQ(view->GetScrollPosition().v, 62);
    EXPECT_TRUE(wheels.HandleWheel(over, QPoint(0, 1200), QPoint())); // pinned at the top
    EXPECT_EQ(view->GetScrollPosition().v, 0);

    // Over a pane without a scroller: taken, nothing moves. Outside the program: not taken.
    EXPECT_TRUE(wheels.HandleWheel(plain->mapToGlobal(QPoint(5, 5)), QPoint(0, -120), QPoint()));
    EXPECT_EQ(view->GetScrollPosition().v, 0);
    EXPECT_FALSE(wheels.HandleWheel(QPoint(-5000, -5000), QPoint(0, -120), QPoint()));

    // A real wheel event over the view goes the same way.
    QWheelEvent event(QPointF(50, 50), QPointF(over), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(QApplication::widgetAt(over), &event);
    EXPECT_EQ(view->GetScrollPosition().v, 16);

    // A Qt list in the window scrolls itself, by its own amount.
    auto* list = new QListWidget(plain);
    for (int i = 0; i < 100; ++i)
        list->addItem(QStringLiteral("row %1").arg(i));
    list->setGeometry(0, 0, 80, 80);
    list->show();
    QPoint overList = list->viewport()->mapToGlobal(QPoint(10, 10));
    QWheelEvent listWheel(QPointF(10, 10), QPointF(overList), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &listWheel);
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    EXPECT_EQ(view->GetScrollPosition().v, 16);
}

TEST_F(WidgetFixture, UrlButtonOpensItsAddressAndDragsItWithoutBrackets)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
    auto* button = new CURLPushButton(Info(4, QRect(10, 10, 200, 20), window), 555, QStringLiteral("https://orvex.org/help"), QString());
    Recorder recorder;
    button->AddListener(&recorder);
    EXPECT_EQ(button->GetAddress(), QStringLiteral("https://orvex.org/help")); // no URL: the title
    EXPECT_EQ(button->GetValue(), 0);
    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(recorder.heard, std::vector<MessageT> { 555 });
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.first(), QUrl(QStringLiteral("https://orvex.org/help")));

    // Released outside: nothing opens.
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    button->SetDraggable(false);
    QMouseEvent out(QEvent::MouseMove, QPointF(300, 5), button->mapToGlobal(QPointF(300, 5)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &out);
    EXPECT_FALSE(button->IsPressed());
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(300, 5));
    EXPECT_EQ(catcher.opened.size(), 1);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    button->SetURL(QStringLiteral("<https://orvex.org>"));
    EXPECT_EQ(button->GetDragText(), QStringLiteral("https://orvex.org"));
    button->SetURL(QStringLiteral("<>"));
    EXPECT_EQ(button->GetDragText(), QStringLiteral("<>"));
    button->SetPressedColor(0x12, 0x34, 0x56);
    EXPECT_EQ(button->GetPressedColor(), QColor(0x12, 0x34, 0x56));
}

TEST_F(WidgetFixture, UrlButtonDrawsWithThePressedColourItStores)
{
    auto* button = new CURLPushButton(Info(4, QRect(10, 10, 200, 24), window), 0, QStringLiteral("Orvex on the web"), QStringLiteral("https://orvex.org"));
    button->SetDraggable(false);
    const QColor pressed(200, 30, 40);
    button->SetPressedColor(pressed);
    button->SetPressedColorFlag(true);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(button->IsPressed());
    QImage down = button->grab().toImage();
    EXPECT_GT(CountPixels(down, pressed), 5);
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        down.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/url-pressed.png"));
    QMouseEvent out(QEvent::MouseMove, QPointF(500, 5), button->mapToGlobal(QPointF(500, 5)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &out);
    EXPECT_EQ(CountPixels(button->grab().toImage(), pressed), 0); // the normal look again
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(500, 5));

    // Without the flag the pressed look is inverted, not coloured.
    button->SetPressedColorFlag(false);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(CountPixels(button->grab().toImage(), pressed), 0);
    QMouseEvent away(QEvent::MouseMove, QPointF(500, 5), button->mapToGlobal(QPointF(500, 5)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &away);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(500, 5));
}

TEST_F(WidgetFixture, ALongBevelPressIsNoClick)
{
    auto* button = new CTrackBevelButton(Info(5, QRect(10, 40, 60, 30), window), 700, QStringLiteral("Hold"));
    Recorder recorder;
    button->AddListener(&recorder);
    QWidget* face = button->GetControlWidget();
    QTest::mouseClick(face, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(recorder.heard, std::vector<MessageT> { 700 }); // short: an ordinary click

    recorder.heard.clear();
    QTest::mousePress(face, Qt::LeftButton, {}, QPoint(5, 5));
    ProcessEventsFor((CTrackBevelButton::kLongPressTicks + 4) * 1000 / 60);
    EXPECT_EQ(recorder.heard, std::vector<MessageT> { 701 });
    QTest::mouseRelease(face, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(recorder.heard, (std::vector<MessageT> { 701, 701 }));
}

TEST_F(WidgetFixture, SuperBroadcastViewRelaysItsPanesMessages)
{
    auto* relay = new MSuperBroadcastView(Info(6, QRect(0, 100, 300, 100), window));
    auto* inner = new LView(Info(7, QRect(0, 0, 200, 50), relay));
    auto* button = new CTrackBevelButton(Info(8, QRect(0, 0, 60, 30), inner), 810, QStringLiteral("Deep"));
    relay->FinishCreate();
    Recorder recorder;
    relay->AddListener(&recorder);
    button->BroadcastValueMessage();
    EXPECT_EQ(recorder.heard, std::vector<MessageT> { 810 });
}

TEST_F(WidgetFixture, LiveResizeOnlyForResizableWindows)
{
    CLiveResizeAttachment resizable(window);
    EXPECT_TRUE(resizable.IsSetUp());
    LWindow fixed(WindowInfo(0, 0, 100, 100), windAttr_TitleBar | windAttr_Enabled, QStringLiteral("Fixed"), nullptr);
    CLiveResizeAttachment none(&fixed);
    EXPECT_FALSE(none.IsSetUp());
}

TEST_F(WidgetFixture, SmallViewsDrawTheirLook)
{
    auto* framed = new CFramedWhiteView(Info(9, QRect(10, 10, 120, 60), window));
    auto* placard = new CPlacardView(Info(10, QRect(10, 80, 300, 16), window));
    auto* shadow = new CThemeTextBoxWithShadow(Info(11, QRect(10, 110, 300, 24), window), QStringLiteral("150:7"), 0);
    ProcessEventsFor(10);
    QImage image = window->grab().toImage();
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        image.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/widgets.png"));
    EXPECT_EQ(image.pixelColor(10, 10), QColor(0, 0, 255));  // the blue frame
    EXPECT_EQ(image.pixelColor(40, 40), QColor(Qt::white)); // white inside
    EXPECT_EQ(image.pixelColor(50, 88), QImage(QStringLiteral(":/pictures/151.png")).scaled(300, 16).pixelColor(40, 8));
    QImage text = shadow->grab().toImage();
    EXPECT_GT(CountPixels(text, GrayRamp(5)), 0); // the shadow
    EXPECT_GT(CountPixels(text, Qt::black), 0);
    Q_UNUSED(framed);
    Q_UNUSED(placard);
}

TEST_F(WidgetFixture, ListBoxTellsOfSelectionChanges)
{
    QJsonObject object { { "class", "clbx" }, { "id", 12 }, { "frame", QJsonArray { 10, 10, 150, 120 } },
        { "items", QJsonArray { "One", "Two", "Three" } } };
    LPane::SetDefaultView(window);
    auto* list = new CListBox(LLayoutData(object, 0, QStringLiteral("test")));
    LPane::SetDefaultView(nullptr);
    Recorder recorder;
    list->AddListener(&recorder);
    auto changes = [&] { return std::count(recorder.heard.begin(), recorder.heard.end(), CListBox::msg_SelectionChanged); };
    list->SelectCell(2);
    EXPECT_EQ(changes(), 1);
    EXPECT_EQ(list->GetValue(), 2);
    list->DeselectAll();
    EXPECT_EQ(list->GetValue(), -1);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(list->GetList(), &down);
    EXPECT_EQ(changes(), 3);
    EXPECT_GE(list->GetValue(), 1); // nothing was selected: the key starts from the second row
    EXPECT_FALSE(list->GetFlag());
    list->SetFlag(true);
    EXPECT_TRUE(list->GetFlag());
}

} // namespace

#include "WidgetsTest.moc"
