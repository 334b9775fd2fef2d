#include "FrameworkTestSupport.h"

#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "LApplication.h"
#include "LDialogBox.h"
#include "LDocument.h"
#include "LScrollerView.h"
#include "LStdControls.h"
#include "LString.h"
#include "LWindow.h"
#include "TArray.h"
#include "UKeyFilters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonDocument>
#include <QTimer>
#include <QWheelEvent>

TEST(KeyFilters, EachFilterTakesItsOwnCharacters)
{
    using namespace UKeyFilters;
    EXPECT_EQ(IntegerField(0, QLatin1Char('7'), 0, 0), keyStatus_Input);
    EXPECT_EQ(IntegerField(0, QLatin1Char('x'), 0, 0), keyStatus_Reject);
    EXPECT_EQ(IntegerField(0, QLatin1Char('x'), cmdKey, 0), keyStatus_Input); // command keys pass
    EXPECT_EQ(IntegerField(vkey_Backspace, QChar(char_Backspace), 0, 0), keyStatus_TEDelete);
    EXPECT_EQ(IntegerField(vkey_LeftArrow, QChar(char_LeftArrow), 0, 0), keyStatus_TECursor);
    EXPECT_EQ(IntegerField(vkey_Home, QChar(char_Home), 0, 0), keyStatus_ExtraEdit);
    EXPECT_EQ(IntegerField(vkey_Clear, QChar(char_Clear), 0, 0), keyStatus_ExtraEdit);
    EXPECT_EQ(IntegerField(vkey_Escape, QChar(char_Escape), 0, 0), keyStatus_PassUp); // Escape is not Clear
    EXPECT_EQ(IntegerField(vkey_Return, QChar(char_Return), 0, 0), keyStatus_PassUp);
    EXPECT_EQ(AlphaNumericField(0, QChar(0x00E9), 0, 0), keyStatus_Input);
    EXPECT_EQ(AlphaNumericField(0, QLatin1Char('-'), 0, 0), keyStatus_Reject);
    EXPECT_EQ(PrintingCharField(0, QLatin1Char('-'), 0, 3), keyStatus_Input);
    EXPECT_EQ(NegativeIntegerField(0, QLatin1Char('-'), 0, 0), keyStatus_Input);
    EXPECT_EQ(NegativeIntegerField(0, QLatin1Char('-'), 0, 2), keyStatus_Reject);
    EXPECT_EQ(PrintingCharAndReturnField(vkey_Return, QChar(char_Return), 0, 0), keyStatus_Input);
    EXPECT_EQ(FilterForID(99), &PrintingCharField);

    EXPECT_EQ(FilterText(keyFilter_Integer, QStringLiteral("1a2-3")), QStringLiteral("123"));
    EXPECT_EQ(FilterText(keyFilter_NegativeInteger, QStringLiteral("-12-3")), QStringLiteral("-123"));
    EXPECT_EQ(FilterText(keyFilter_Printing, QStringLiteral("a\tb\x01")), QStringLiteral("ab"));
}

TEST(LayoutData, NumbersCodesAndErrors)
{
    QJsonObject object = QJsonDocument::fromJson(R"({"attributes": "0x80000000", "id": "brow", "n": 12,
        "bad": [1, "x"], "text": 5})").object();
    LLayoutData data(object, 77, QStringLiteral("pane 'brow' (view)"));
    EXPECT_EQ(UInt32(data.Int("attributes")), 0x80000000u);
    EXPECT_EQ(data.Code("id"), FourCharCode('brow'));
    EXPECT_EQ(data.Code("n"), 12u);
    EXPECT_EQ(data.Int("missing", -3), -3);
    try {
        data.Ints("bad", 2);
        FAIL();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_BadLayout);
        EXPECT_NE(std::string(e.what()).find("layout 77, pane 'brow' (view)"), std::string::npos) << e.what();
    }
    EXPECT_THROW(data.String("text"), ExceptionCode);
    QJsonObject bindings = QJsonDocument::fromJson(R"({"bindings": "lx"})").object();
    EXPECT_THROW(LPane::PaneInfoFromLayout(LLayoutData(bindings, 1, QStringLiteral("pane"))), ExceptionCode);
}

TEST(TArrayDetails, RemoveByValueAndReassignKeepOrder)
{
    TArray<SInt32> array(LLongComparator::GetComparator(), true);
    for (SInt32 v : { 5, 1, 5, 3 })
        array.AddItem(v);
    EXPECT_EQ(array.Items(), (std::vector<SInt32> { 1, 3, 5, 5 }));
    array.Remove(5);
    EXPECT_EQ(array.Items(), (std::vector<SInt32> { 1, 3, 5 }));
    array.AssignItemsAt(1, 1, 9); // a kept-sorted array sorts the new value in
    EXPECT_EQ(array.Items(), (std::vector<SInt32> { 3, 5, 9 }));
    EXPECT_TRUE(array.IsSorted());
    array.SetKeepSorted(false);
    array.InsertItemsAt(1, 1, 100);
    EXPECT_FALSE(array.IsSorted());
    EXPECT_EQ(array[1], 100);
}

TEST(StringDetails, InsertAndAppendStayWithinTheCapacity)
{
    LString text(QStringLiteral("cde"), 6);
    text.Insert(QStringLiteral("ab"), 0);
    EXPECT_EQ(text.ToQString(), QStringLiteral("abcde"));
    text += QStringLiteral("fgh");
    EXPECT_EQ(text.ToQString(), QStringLiteral("abcdef"));
    EXPECT_EQ(text.Length(), 6);
    LString copy(3);
    copy = text; // keeps its own capacity
    EXPECT_EQ(copy.ToQString(), QStringLiteral("abc"));
    LString roman(QStringLiteral("caf\u00e9"));
    EXPECT_EQ(roman.Length(), 4); // one Mac Roman byte for the accented letter
    EXPECT_EQ(roman.ToQString(), QStringLiteral("caf\u00e9"));
}

TEST(TimerDetails, NextFireTimeMovesAOneShotTimer)
{
    int fired = 0;
    LEventLoopTimer timer;
    timer.Install(10.0, 0, [&] { ++fired; });
    timer.SetNextFireTime(0.0);
    for (int i = 0; i < 100 && fired == 0; ++i)
        ProcessEventsFor(10);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.IsInstalled());
}

struct ViewFixture : DemoWindowFixture {
};

TEST_F(ViewFixture, WheelScrollsByScrollUnitsPinnedToTheImage)
{
    auto* scroller = dynamic_cast<LScrollerView*>(window->FindPaneByID(20));
    auto* view = scroller->GetScrollingView();
    ASSERT_NE(view, nullptr);
    QWheelEvent down(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(scroller, &down);
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 0, 60 })); // three units of 20
    QWheelEvent up(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, 1200), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(scroller, &up);
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 0, 0 }));
}

TEST_F(ViewFixture, ReconcilingViewScrollsBackWhenItsFrameGrowsPastTheImage)
{
    auto* view = dynamic_cast<LView*>(window->FindPaneByID(21));
    view->SetReconcileOverhang(true);
    view->ScrollImageTo(600, 500, false);
    view->ResizeImageTo(900, 600, false);
    // The image's far edges would show inside the frame; scrolled back.
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 900 - view->width(), 600 - view->height() }));
}

TEST_F(ViewFixture, WindowAttributesBecomeQtFlags)
{
    QWidget* shell = window->GetShell();
    EXPECT_TRUE(shell->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(shell->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(shell->windowModality(), Qt::NonModal);
    window->ClearAttribute(windAttr_Resizable);
    EXPECT_EQ(shell->minimumSize(), shell->maximumSize()); // fixed size
    window->SetAttribute(windAttr_Floating);
    EXPECT_EQ(shell->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(LWindow::GetFrontWindow() == window, false); // floating windows are not the front window
}

TEST(DialogDetails, ReturnClicksTheDefaultButtonOnlyWhileItIsEnabled)
{
    SetUpFrameworkFixture();
    StDialogHandler handler(1001, nullptr);
    LDialogBox* dialog = handler.GetDialog();
    LCommander::SwitchTarget(dialog);
    auto send = [&](Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dialog->GetShell(), &press);
    };
    QTimer::singleShot(0, [&] { send(Qt::Key_Return); });
    EXPECT_EQ(handler.ModalLoop(), msg_OK);
    dialog->FindPaneByID(900)->Disable();
    QTimer::singleShot(0, [&] { send(Qt::Key_Enter); });
    EXPECT_EQ(handler.DoDialog(), msg_Nothing);
}

namespace {
struct RunApp : LDocApplication {
    void OpenDocument(const FileRef& file) override
    {
        if (file.Name() == QLatin1String("bad.jpg"))
            ThrowOSErr_(fnfErr);
        opened << file.Name();
    }
    void Initialize() override { ++initialized; }
    QStringList opened;
    int initialized = 0;
};
} // namespace

TEST(ApplicationDetails, RunOpensTheCommandLineDocumentsAndQuitsOnCommand)
{
    std::vector<OSStatus> reported;
    SetErrorReportHook([&](OSStatus code) { reported.push_back(code); });
    {
        RunApp app;
        QTimer::singleShot(0, [&] { app.ProcessCommand(cmd_Quit); });
        EXPECT_EQ(app.Run({ QStringLiteral("/tmp/a.jpg"), QStringLiteral("/tmp/bad.jpg"), QStringLiteral("/tmp/c.jpg") }), 0);
        EXPECT_EQ(app.initialized, 1);
        EXPECT_NE(app.GetMenuBar(), nullptr);
        // One file failing is reported and the others still open.
        EXPECT_EQ(app.opened, (QStringList { QStringLiteral("a.jpg"), QStringLiteral("c.jpg") }));
        EXPECT_EQ(reported, (std::vector<OSStatus> { fnfErr }));
    }
    SetErrorReportHook(nullptr);
}
