#include "FrameworkTestSupport.h"

#include "ExceptionCode.h"
#include "LDialogBox.h"
#include "LInPlaceEditField.h"
#include "LMarqueeTask.h"
#include "LTabGroup.h"
#include "LTextEditView.h"
#include "LScrollerView.h"
#include "LStdControls.h"
#include "LWindow.h"

#include <gtest/gtest.h>

#include <QScreen>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

struct WindowFixture : DemoWindowFixture {
};

TEST_F(WindowFixture, BuildsTheLayoutTreeWithFramesInSuperviewCoordinates)
{
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Demo Window"));
    EXPECT_TRUE(window->HasAttribute(windAttr_Resizable));
    LPane* caption = window->FindPaneByID(11);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->GetSuperView(), window->FindPaneByID(10));
    EXPECT_EQ(caption->GetCFDescriptor(), QStringLiteral("Demo Caption"));
    EXPECT_EQ(caption->GetFrame(), QRect(8, 8, 200, 20));

    LPane* deep = window->FindPaneByID(22);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->GetUserCon(), 7);
    QRect port;
    deep->CalcPortFrameRect(port);
    EXPECT_EQ(port, QRect(500, 440, 20, 20)); // 40 down for the scroller
    // Hit tests see only what is inside the frames: the deep pane lies outside its view's frame.
    EXPECT_EQ(window->FindDeepSubPaneContaining(510, 450), nullptr);
    EXPECT_EQ(window->FindDeepSubPaneContaining(100, 100), window->FindPaneByID(21));
    EXPECT_EQ(window->FindDeepSubPaneContaining(20, 15), caption);
    EXPECT_EQ(window->FindPaneByID(999), nullptr);
    EXPECT_TRUE(caption->IsVisible());
    EXPECT_EQ(dynamic_cast<LView*>(window->FindPaneByID(21))->GetImageSize(), (SDimension32 { 1000, 800 }));
}

TEST_F(WindowFixture, SubpanesFollowTheirBindingsWhenTheWindowResizes)
{
    LPane* header = window->FindPaneByID(10);   // left, top, right
    LPane* caption = window->FindPaneByID(11);  // left only
    LPane* button = window->FindPaneByID(12);   // right only
    LPane* scroller = window->FindPaneByID(20); // all four
    LPane* footer = window->FindPaneByID(30);   // left, right, bottom
    window->ResizeFrameBy(100, 50, false);
    EXPECT_EQ(window->width(), 500);
    EXPECT_EQ(header->GetFrame(), QRect(0, 0, 500, 40));
    EXPECT_EQ(caption->GetFrame(), QRect(8, 8, 200, 20));
    EXPECT_EQ(button->GetFrame(), QRect(400, 6, 90, 26));
    EXPECT_EQ(scroller->GetFrame(), QRect(0, 40, 500, 280));
    EXPECT_EQ(footer->GetFrame(), QRect(0, 320, 500, 30));
    // The scrolled view fills the scroller's viewport, which grew with it; the bars follow.
    auto* scrolled = dynamic_cast<LView*>(window->FindPaneByID(21));
    auto* scrollerView = dynamic_cast<LScrollerView*>(scroller);
    const QSize viewport = scrollerView->GetScrollArea()->viewport()->size();
    EXPECT_EQ(scrolled->GetFrameSize(), (SDimension32 { viewport.width(), viewport.height() }));
    EXPECT_EQ(viewport.width(), 500 - scrollerView->VerticalBar()->width());
    EXPECT_EQ(viewport.height(), 280 - scrollerView->HorizontalBar()->height());
    EXPECT_EQ(scrollerView->VerticalBar()->maximum(), 800 - viewport.height());

    // The minimum size holds.
    window->ResizeFrameBy(-1000, -1000, false);
    EXPECT_EQ(window->width(), 200);
    EXPECT_EQ(window->height(), 150);
}

TEST_F(WindowFixture, CustomPaneDrawsIntoAGrabbedImage)
{
    auto* demo = dynamic_cast<DemoView*>(window->FindPaneByID(21));
    ASSERT_NE(demo, nullptr);
    QImage picture = demo->grab().toImage();
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(demo->draws, 0);
    EXPECT_EQ(picture.pixelColor(50, 50), QColor(200, 0, 0));
    EXPECT_EQ(picture.pixelColor(150, 50), QColor(0, 0, 200));
    // Scrolled by one square, the colours swap.
    demo->ScrollImageTo(100, 0, true);
    picture = demo->grab().toImage();
    EXPECT_EQ(picture.pixelColor(50, 50), QColor(0, 0, 200));
    // The colour-erase attachment paints the footer.
    QImage footer = window->FindPaneByID(30)->grab().toImage();
    EXPECT_EQ(footer.pixelColor(5, 5), QColor(0x33, 0x66, 0x99));
}

TEST_F(WindowFixture, ScrolledViewPinsAtItsEdgesAndConvertsCoordinates)
{
    auto* view = dynamic_cast<LView*>(window->FindPaneByID(21));
    LPane* deep = window->FindPaneByID(22);
    // The viewport's frame (the scroller less the platform's bars) over an image of 1000 x 800.
    const int w = view->width(), h = view->height();
    ASSERT_GT(w, 300);
    ASSERT_GT(h, 150);
    EXPECT_FALSE(view->ScrollPinnedImageBy(-10, -10, false)); // already at the start
    EXPECT_TRUE(view->ScrollPinnedImageBy(5000, 50, false));
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 1000 - w, 50 }));
    EXPECT_TRUE(view->ScrollPinnedImageBy(0, 5000, false));
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 1000 - w, 800 - h }));
    EXPECT_FALSE(view->ScrollPinnedImageBy(1, 1, false));
    EXPECT_TRUE(view->ScrollPinnedImageTo(600, 500, false));
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 600, 500 }));

    // Image point (600, 500) is now at the frame's top left.
    QPoint local;
    view->ImageToLocalPoint(SPoint32 { 610, 520 }, local);
    EXPECT_EQ(local, QPoint(10, 20));
    SPoint32 image;
    view->LocalToImagePoint(QPoint(10, 20), image);
    EXPECT_EQ(image, (SPoint32 { 610, 520 }));
    QPoint port(10, 20);
    view->LocalToPortPoint(port);
    EXPECT_EQ(port, QPoint(10, 60));
    view->PortToLocalPoint(port);
    EXPECT_EQ(port, QPoint(10, 20));
    EXPECT_TRUE(view->ImagePointIsInFrame(600, 500));
    EXPECT_FALSE(view->ImagePointIsInFrame(599, 500));

    // Subpanes keep their image place: the pane at image (500, 400) is now above-left.
    EXPECT_EQ(deep->GetFrame(), QRect(-100, -100, 20, 20));
    // The scroller's bars show the position, and moving one scrolls the view.
    auto* scroller = dynamic_cast<LScrollerView*>(window->FindPaneByID(20));
    EXPECT_EQ(scroller->HorizontalBar()->value(), 600);
    scroller->VerticalBar()->setValue(100);
    EXPECT_EQ(view->GetScrollPosition(), (SPoint32 { 600, 100 }));
}

TEST_F(WindowFixture, AttachmentStopsTheClickOfItsHost)
{
    struct ClickCounter : LPane {
        using LPane::LPane;
        void ClickSelf(const SMouseDownEvent& event) override
        {
            ++clicks;
            last = event.whereLocal;
        }
        int clicks = 0;
        QPoint last {};
    };
    SPaneInfo info;
    info.paneID = 77;
    info.width = 50;
    info.height = 50;
    info.left = 10;
    info.top = 10;
    info.superView = dynamic_cast<LView*>(window->FindPaneByID(30));
    auto* pane = new ClickCounter(info);
    pane->SimulateClick(QPoint(6, 5));
    EXPECT_EQ(pane->clicks, 1);
    EXPECT_EQ(pane->last, QPoint(6, 5));
    struct Stop : LAttachment {
        Stop()
            : LAttachment(msg_Click, false)
        {
        }
        void ExecuteSelf(MessageT, void*) override {}
    };
    pane->AddAttachment(new Stop);
    pane->SimulateClick(QPoint(6, 5));
    EXPECT_EQ(pane->clicks, 1);
}

TEST(Dialog, HandlerReturnsTheMessageOfTheButtonClicked)
{
    SetUpFrameworkFixture();
    {
        StDialogHandler handler(1001, nullptr);
        LDialogBox* dialog = handler.GetDialog();
        EXPECT_TRUE(dialog->HasAttribute(windAttr_Modal));
        EXPECT_EQ(dialog->GetShell()->windowModality(), Qt::ApplicationModal);
        auto* ok = dynamic_cast<LStdButton*>(dialog->FindPaneByID(900));
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->IsDefaultButton());
        // A click on the real button, as the user makes it.
        QTimer::singleShot(10, [ok] { static_cast<QPushButton*>(ok->GetControlWidget())->click(); });
        EXPECT_EQ(handler.ModalLoop(), msg_OK);
    }
    {
        StDialogHandler handler(1001, nullptr);
        LDialogBox* dialog = handler.GetDialog();
        // Other controls' messages come through too, then Escape cancels.
        auto* check = dynamic_cast<LControl*>(dialog->FindPaneByID(4));
        QTimer::singleShot(10, [check] { check->SimulateHotSpotClick(); });
        EXPECT_EQ(handler.ModalLoop(), 1004);
        EXPECT_EQ(check->GetValue(), 1);
        LCommander::SwitchTarget(dialog);
        QTimer::singleShot(10, [dialog] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(dialog->GetShell(), &escape);
        });
        EXPECT_EQ(handler.ModalLoop(), msg_Cancel);
    }
    FlushDeletes();
}

TEST(Dialog, EditFieldFiltersKeysAndKeepsItsMaximum)
{
    SetUpFrameworkFixture();
    StDialogHandler handler(1001, nullptr);
    auto* field = dynamic_cast<LEditText*>(handler.GetDialog()->FindPaneByID(3));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->GetValue(), 12);
    QLineEdit* edit = field->GetLineEdit();
    edit->setCursorPosition(2);
    for (auto [key, text] : { std::pair { Qt::Key_A, "a" }, std::pair { Qt::Key_3, "3" } }) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text));
        QApplication::sendEvent(edit, &press);
    }
    EXPECT_EQ(field->GetCFDescriptor(), QStringLiteral("123")); // the letter was refused
    field->SetCFDescriptor(QStringLiteral("4x5678"));
    EXPECT_EQ(field->GetCFDescriptor(), QStringLiteral("45678")); // filtered, and at most 5
}

TEST(Reanimator, UnknownClassIDNamesTheLayoutAndThePane)
{
    SetUpFrameworkFixture();
    size_t windows = LWindow::FetchWindows().size();
    try {
        LWindow::CreateWindow(1002, nullptr);
        FAIL() << "made a window with an unknown class";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_UnknownClassID);
        EXPECT_NE(std::string(e.what()).find("layout 1002"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("pane 2 (Nope)"), std::string::npos) << e.what();
    }
    FlushDeletes();
    EXPECT_EQ(LWindow::FetchWindows().size(), windows);
}

TEST(Reanimator, MalformedLayoutsGiveClearCodes)
{
    SetUpFrameworkFixture();
    try {
        LWindow::CreateWindow(1003, nullptr);
        FAIL();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_BadLayout);
        EXPECT_NE(std::string(e.what()).find("not valid JSON"), std::string::npos) << e.what();
    }
    try {
        LWindow::CreateWindow(1004, nullptr);
        FAIL();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_BadLayout);
        EXPECT_NE(std::string(e.what()).find("\"frame\""), std::string::npos) << e.what();
    }
    try {
        LWindow::CreateWindow(4242, nullptr);
        FAIL();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_LayoutNotFound);
    }
    // Class IDs are case-sensitive.
    URegistrar::RegisterClass('CCbx', [](const LLayoutData&) { return SCreatedObject {}; });
    EXPECT_TRUE(URegistrar::IsRegistered('CCbx'));
    EXPECT_FALSE(URegistrar::IsRegistered('CCBX'));
}

TEST(PaneDescriptors, CopyAndSetByPaneID)
{
    SetUpFrameworkFixture();
    LWindow* window = LWindow::CreateWindow(1000, nullptr);
    EXPECT_EQ(CopyPaneCFDescriptor(window, 11), QStringLiteral("Demo Caption"));
    EXPECT_TRUE(CopyPaneCFDescriptor(window, 999).isNull());
    SetPaneCFDescriptor(window, 11, QStringLiteral("Changed"));
    EXPECT_EQ(CopyPaneCFDescriptor(window, 11), QStringLiteral("Changed"));
    SetPaneCFDescriptorAndRelease(window, 11, QString());
    EXPECT_EQ(CopyPaneCFDescriptor(window, 11), QStringLiteral(""));
    SetPaneCFDescriptor(window, 999, QStringLiteral("nothing happens"));
    delete window;
}

TEST_F(WindowFixture, InPlaceEditEndsOnceOnReturnOrLosingTheTarget)
{
    struct Rename : LInPlaceEditField {
        using LInPlaceEditField::LInPlaceEditField;
        void DoneEditing() override
        {
            ++done;
            finalText = GetCFDescriptor();
        }
        int done = 0;
        QString finalText;
    };
    SPaneInfo info;
    info.paneID = 3021;
    info.width = 120;
    info.height = 20;
    info.superView = dynamic_cast<LView*>(window->FindPaneByID(30));
    auto* field = new Rename(info, QStringLiteral("old"), 0, 255, window);
    LCommander::SwitchTarget(field);
    field->SelectAll();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_N, Qt::NoModifier, QStringLiteral("n"));
    QApplication::sendEvent(field->GetLineEdit(), &typed);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(field->GetLineEdit(), &enter);
    EXPECT_EQ(field->done, 1);
    EXPECT_EQ(field->finalText, QStringLiteral("n"));
    EXPECT_EQ(LCommander::GetTarget(), window);

    auto* second = new Rename(info, QStringLiteral("two"), 0, 255, window);
    LCommander::SwitchTarget(second);
    LCommander::SwitchTarget(window); // the user clicked elsewhere
    EXPECT_EQ(second->done, 1);
    LCommander::SwitchTarget(second);
    LCommander::SwitchTarget(window);
    EXPECT_EQ(second->done, 1); // once only
}

TEST_F(WindowFixture, TargetFollowsTheKeyboardFocusToACommanderPane)
{
    SPaneInfo info;
    info.paneID = 40;
    info.width = 100;
    info.height = 40;
    info.superView = dynamic_cast<LView*>(window->FindPaneByID(30));
    auto* text = new LTextEditView(info, QStringLiteral("notes"));
    window->Select();
    QApplication::setActiveWindow(window->GetShell());
    EXPECT_EQ(LCommander::GetTarget(), window);
    text->GetEditor()->setFocus(Qt::MouseFocusReason);
    if (QApplication::focusWidget() != text->GetEditor())
        GTEST_SKIP() << "this platform gives no keyboard focus to an inactive window";
    EXPECT_EQ(LCommander::GetTarget(), text);
    LCommander::SwitchTarget(window);
}

TEST_F(WindowFixture, MarqueeTellsItsReceiverEachChange)
{
    struct Cells : LMarqueeReceiver {
        // A change counts only when the rectangle covers other 50-pixel cells.
        bool CheckSelectionChanged(const LMarqueeTask&, const QRect& a, const QRect& b) override
        {
            return (a.x() + a.width()) / 50 != (b.x() + b.width()) / 50 || (a.y() + a.height()) / 50 != (b.y() + b.height()) / 50;
        }
        void UpdateSelection(const LMarqueeTask&, const QRect&, const QRect& b) override { updates.push_back(b); }
        std::vector<QRect> updates;
    } cells;
    LPane* area = window->FindPaneByID(21);
    SMouseDownEvent down;
    down.whereLocal = QPoint(10, 10);
    LMarqueeTask task(cells, area, down);
    task.Step(QPoint(20, 20));  // same cell
    task.Step(QPoint(30, 60));  // a row further down
    task.Step(QPoint(120, 5));  // back above and right of the anchor
    task.Finish();
    ASSERT_EQ(cells.updates.size(), 2u);
    EXPECT_EQ(cells.updates[0], QRect(10, 10, 20, 50));
    EXPECT_EQ(task.GetMarqueeRect(), QRect(10, 5, 110, 5));
}

TEST_F(WindowFixture, ADialogOpensOverItsWindowAndEveryWindowStaysWithinTheScreen)
{
    window->DoSetBounds(QRect(200, 150, 320, 240));
    // The dialog's layout was drawn at (100, 100): it opens over its window instead,
    // centred across and in the upper third.
    LWindow* dialog = LWindow::CreateWindow(1001, window);
    dialog->Show();
    const QRect over = window->GetShell()->frameGeometry();
    const QRect placed = dialog->GetShell()->frameGeometry();
    EXPECT_LE(std::abs(placed.center().x() - over.center().x()), 3); // the frame's margins come with the show
    EXPECT_GE(placed.top(), over.top());
    EXPECT_LT(placed.center().y(), over.center().y());
    delete dialog;

    // Larger than the screen (a large layout at scale factor 2) and past its corner:
    // shrunk and moved to lie within the available area.
    const QRect available = window->GetShell()->screen()->availableGeometry();
    window->Hide();
    window->ResizeFrameTo(available.width() + 300, available.height() + 200, true);
    window->MoveWindowTo(available.right() - 50, available.bottom() - 50);
    window->Show();
    EXPECT_TRUE(available.contains(window->GetShell()->frameGeometry()));
}

TEST_F(WindowFixture, BoundsZoomAndModifiedMark)
{
    window->DoSetBounds(QRect(120, 100, 500, 300));
    QRect bounds;
    window->GetGlobalBounds(bounds);
    EXPECT_EQ(bounds.width(), 500);
    EXPECT_EQ(bounds.height(), 300);
    QRect standard;
    EXPECT_FALSE(window->CalcStandardBounds(standard));
    window->DoSetZoom(true);
    window->GetGlobalBounds(bounds);
    EXPECT_EQ(bounds.width(), standard.width());
    EXPECT_EQ(bounds.height(), standard.height());
    window->DoSetZoom(false);
    window->GetGlobalBounds(bounds);
    EXPECT_EQ(bounds.width(), 500);
    EXPECT_EQ(bounds.height(), 300);

    EXPECT_FALSE(window->IsModified());
    window->SetModified(true);
    EXPECT_TRUE(window->GetShell()->isWindowModified());
    window->SetCFDescriptor(QStringLiteral("Renamed"));
    EXPECT_EQ(LWindow::FetchWindowByTitle(QStringLiteral("Renamed")), window);

    // A sheet is window-modal over its parent.
    LWindow* sheet = LWindow::CreateWindow(1001, window);
    sheet->ShowAsSheetOf(window);
    EXPECT_EQ(sheet->GetShell()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->GetShell()->parentWidget(), window->GetShell());
    delete sheet;
}

TEST_F(WindowFixture, TabGroupRotatesTheTargetAmongItsFields)
{
    struct Field : LPane, LCommander {
        Field(const SPaneInfo& info, LCommander* super)
            : LPane(info)
            , LCommander(super)
        {
            setFocusPolicy(Qt::StrongFocus); // a field takes Tab
        }
    };
    SPaneInfo info;
    info.width = 300;
    info.height = 30;
    info.superView = dynamic_cast<LView*>(window->FindPaneByID(30));
    auto* group = new LTabGroup(info, window);
    SPaneInfo fieldInfo;
    fieldInfo.width = 50;
    fieldInfo.height = 20;
    fieldInfo.superView = group;
    auto* a = new Field(fieldInfo, group);
    auto* b = new Field(fieldInfo, group);
    auto* c = new Field(fieldInfo, group);
    b->Disable(); // skipped
    LCommander::SwitchTarget(a);
    EventRecord tab;
    tab.message = char_Tab;
    EXPECT_TRUE(a->ProcessKeyPress(tab));
    EXPECT_EQ(LCommander::GetTarget(), c);
    EXPECT_TRUE(c->ProcessKeyPress(tab));
    EXPECT_EQ(LCommander::GetTarget(), a); // wraps around
    tab.modifiers = shiftKey;
    EXPECT_TRUE(a->ProcessKeyPress(tab));
    EXPECT_EQ(LCommander::GetTarget(), c);

    // The order is Qt's focus chain: put c before a and Tab from c goes to a.
    b->Enable();
    QWidget::setTabOrder(c, a);
    QWidget::setTabOrder(a, b);
    tab.modifiers = 0;
    EXPECT_TRUE(c->ProcessKeyPress(tab));
    EXPECT_EQ(LCommander::GetTarget(), a);
    EXPECT_TRUE(a->ProcessKeyPress(tab));
    EXPECT_EQ(LCommander::GetTarget(), b);
    LCommander::SwitchTarget(window);
}
