#include "FrameworkTestSupport.h"

#include "LLayoutData.h"
#include "LStdControls.h"
#include "LWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>

namespace {
struct Heard : LListener {
    void ListenToMessage(MessageT message, void* param) override
    {
        if (message == msg_BroadcasterDied)
            return;
        messages.push_back(message);
        values.push_back(param ? *static_cast<SInt32*>(param) : 0);
    }
    std::vector<MessageT> messages;
    std::vector<SInt32> values;
};

struct ControlsFixture : ::testing::Test {
    LWindow* window = nullptr;
    Heard heard;
    void SetUp() override
    {
        SetUpFrameworkFixture();
        window = LWindow::CreateWindow(1005, nullptr);
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
    template <typename T>
    T* Pane(PaneIDT id)
    {
        auto* pane = dynamic_cast<T*>(window->FindPaneByID(id));
        EXPECT_NE(pane, nullptr) << id;
        return pane;
    }
};
} // namespace

TEST_F(ControlsFixture, RadioGroupKeepsOneButtonOn)
{
    auto* one = Pane<LStdRadioButton>(1);
    auto* two = Pane<LStdRadioButton>(2);
    auto* three = Pane<LStdRadioButton>(3);
    two->AddListener(&heard);
    EXPECT_EQ(one->GetValue(), 1);
    // The user's click on the face turns it on and the group turns the first off.
    static_cast<QRadioButton*>(two->GetControlWidget())->click();
    EXPECT_EQ(two->GetValue(), 1);
    EXPECT_EQ(one->GetValue(), 0);
    EXPECT_FALSE(static_cast<QRadioButton*>(one->GetControlWidget())->isChecked());
    three->SimulateHotSpotClick();
    EXPECT_EQ(two->GetValue(), 0);
    EXPECT_EQ(three->GetValue(), 1);
    // A click on the button already on changes nothing.
    three->SimulateHotSpotClick();
    EXPECT_EQ(three->GetValue(), 1);
    EXPECT_EQ(heard.messages, (std::vector<MessageT> { 102, 102 })); // on, then off
}

TEST_F(ControlsFixture, TabsShowThePanelOfTheirValue)
{
    auto* tabs = Pane<LTabsControl>(10);
    LPane* general = window->FindPaneByID(11);
    LPane* advanced = window->FindPaneByID(12);
    window->Show();
    EXPECT_EQ(tabs->GetValue(), 1);
    EXPECT_TRUE(general->IsVisible());
    EXPECT_FALSE(advanced->IsVisible());
    tabs->AddListener(&heard);
    tabs->SetValue(2);
    EXPECT_FALSE(general->IsVisible());
    EXPECT_TRUE(advanced->IsVisible());
    tabs->SetValue(7); // past the last tab: kept at the maximum
    EXPECT_EQ(tabs->GetValue(), 2);
    EXPECT_EQ(heard.messages, (std::vector<MessageT> { 110 }));
}

TEST_F(ControlsFixture, PopupTakesItsItemsFromAMenuResource)
{
    auto* popup = Pane<LStdPopupMenu>(20);
    EXPECT_EQ(popup->GetMenuID(), 130);
    auto* combo = static_cast<QComboBox*>(popup->GetControlWidget());
    EXPECT_EQ(popup->GetValue(), 3);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Cut")); // item 2 of the menu is a separator
    popup->AddListener(&heard);
    combo->activated(4);
    EXPECT_EQ(popup->GetValue(), 5);
    EXPECT_EQ(heard.values, (std::vector<SInt32> { 5 }));
}

TEST_F(ControlsFixture, ValueControlsFollowTheirValues)
{
    auto* progress = Pane<LProgressBar>(21);
    auto* bar = static_cast<QProgressBar*>(progress->GetControlWidget());
    EXPECT_EQ(bar->maximum(), 50);
    EXPECT_EQ(bar->value(), 10);
    progress->SetValue(80);
    EXPECT_EQ(progress->GetValue(), 50);
    progress->SetIndeterminate(true);
    EXPECT_EQ(bar->maximum(), 0);

    auto* group = Pane<LCheckBoxGroupBox>(22);
    group->AddListener(&heard);
    group->SetValue(1);
    EXPECT_EQ(group->GetValue(), 1);

    auto* list = Pane<LListBox>(23);
    list->AddListener(&heard);
    list->GetList()->setCurrentRow(1);
    EXPECT_EQ(list->GetValue(), 1); // rows count from 0

    auto* bevel = Pane<LBevelButton>(24);
    bevel->AddListener(&heard);
    ASSERT_NE(bevel->GetMenu(), nullptr);
    bevel->GetMenu()->actions().at(1)->trigger();
    EXPECT_EQ(bevel->GetCurrentMenuItem(), 2);

    auto* slider = Pane<LSlider>(25);
    static_cast<QSlider*>(slider->GetControlWidget())->setValue(9);
    EXPECT_EQ(slider->GetValue(), 9);

    EXPECT_EQ(heard.messages, (std::vector<MessageT> { 122, 123, 124, 124 }));
}

TEST_F(ControlsFixture, ListBoxStartsWithNoRowAndTextBoxDimsWhenDisabled)
{
    auto* list = Pane<LListBox>(23);
    EXPECT_EQ(list->GetValue(), -1);
    EXPECT_EQ(list->GetList()->currentRow(), -1);

    SPaneInfo info;
    info.width = 120;
    info.height = 40;
    info.superView = window;
    auto* box = new LThemeTextBox(info, QStringLiteral("WWWW WWWW"));
    auto darkest = [](const QImage& image) {
        int best = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                best = std::min(best, qGray(image.pixel(x, y)));
        return best;
    };
    auto paint = [&] {
        QImage image(box->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        box->DrawSelf(painter);
        return image;
    };
    int normal = darkest(paint());
    box->Disable();
    int dimmed = darkest(paint());
    EXPECT_LT(normal, 80);
    EXPECT_GT(dimmed, normal + 40);
}

TEST(TextControls, ShortenedTextsShowWholeInTheirTipAndAFieldKeepsTheWidthOfItsFrame)
{
    SetUpFrameworkFixture();
    const QString whole = QStringLiteral("/home/someone/Pictures/holidays/2024/beach.jpg");
    LStaticText text(LLayoutData(QJsonDocument::fromJson(R"({"class": "stxt", "id": 1, "frame": [0, 0, 80, 18],
        "elide": "middle"})").object(), 1, QStringLiteral("pane 1")));
    text.SetCFDescriptor(whole);
    text.show();
    auto* face = static_cast<QLabel*>(text.GetControlWidget());
    EXPECT_TRUE(face->text().startsWith(QStringLiteral("/h")) && face->text().endsWith(QStringLiteral("jpg"))) << face->text().toStdString();
    EXPECT_TRUE(face->text().contains(QChar(0x2026)));
    EXPECT_EQ(face->toolTip(), whole);
    EXPECT_EQ(text.GetCFDescriptor(), whole);
    EXPECT_EQ(text.minimumSizeHint().width(), 0); // the layout gives it its width
    text.resize(1000, 18);
    EXPECT_EQ(face->text(), whole);
    EXPECT_TRUE(face->toolTip().isEmpty());

    // A popup's long item is shortened too, not run under the arrow.
    LStdPopupMenu popup(LLayoutData(QJsonDocument::fromJson(R"({"class": "popm", "id": 3, "frame": [0, 0, 90, 26],
        "items": ["short", "an item far longer than the popup"]})").object(), 1, QStringLiteral("pane 3")));
    popup.show();
    auto* combo = static_cast<QComboBox*>(popup.GetControlWidget());
    EXPECT_TRUE(combo->toolTip().isEmpty());
    popup.SetValue(2);
    EXPECT_EQ(combo->toolTip(), QStringLiteral("an item far longer than the popup"));
    popup.resize(600, 26);
    EXPECT_TRUE(combo->toolTip().isEmpty());

    // A one-letter field asks for its frame's width, not a line edit's usual one.
    LEditText field(LLayoutData(QJsonDocument::fromJson(R"({"class": "etxt", "id": 2, "frame": [0, 0, 40, 24],
        "maxChars": 1})").object(), 1, QStringLiteral("pane 2")));
    EXPECT_EQ(field.sizeHint().width(), 40);
}
