#include "ABalloon.h"
#include "InterfaceTestSupport.h"
#include "LStdControls.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QToolTip>

namespace {

SPaneInfo PaneAt(PaneIDT id, QRect frame, LView* super)
{
    return SPaneInfo { id, frame.width(), frame.height(), true, true, {}, frame.left(), frame.top(), 0, super };
}

struct HelpTagFixture : ::testing::Test {
    LWindow* window = nullptr;
    LStdCheckBox* box = nullptr;
    void SetUp() override
    {
        EnableHelpTags();
        SetHelpTagDelay(20);
        window = new LWindow(WindowInfo(20, 20, 300, 200), kRegularWindowAttributes, QStringLiteral("Tags"), nullptr);
        box = new LStdCheckBox(PaneAt(1, QRect(10, 10, 200, 24), window), 0, 0, QStringLiteral("Remember"));
        window->Show();
        window->Select();
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
        EnableHelpTags();
    }
    QPoint GlobalIn(LPane* pane, QPoint local = { 5, 5 }) const { return pane->mapToGlobal(local); }
    bool Content(QPoint global, QString& shortText, QString& longText)
    {
        QRect hot;
        return GetBalloonHelper()->FindContent(window, global, shortText, longText, hot);
    }
};

TEST_F(HelpTagFixture, LocalizedTagTextsFollowThePanesState)
{
    ALocalizedTag recent(QStringLiteral("Recent Entries"));
    EXPECT_EQ(recent.CopyShortText(box), QStringLiteral("The texts you enter here are remembered.")); // " off"
    box->SetValue(1);
    EXPECT_EQ(recent.CopyShortText(box), QStringLiteral("Choose one of the texts you entered before.")); // " on"
    EXPECT_TRUE(recent.CopyLongText(box).isNull());

    ALocalizedTag divider(QStringLiteral("Split View Divider"));
    EXPECT_EQ(divider.CopyShortText(box), QStringLiteral("Drag to change the sizes of the two panes."));
    EXPECT_TRUE(divider.CopyLongText(box).startsWith(QStringLiteral("Drag the divider")));
    box->Disable();
    EXPECT_EQ(divider.CopyShortText(box), QStringLiteral("The two panes keep their sizes."));

    ALocalizedTag web(QStringLiteral("Web Address"));
    EXPECT_EQ(web.CopyShortText(box), QStringLiteral("Opens the address in your web browser.")); // the key itself
    EXPECT_EQ(web.CopyLongText(box), QStringLiteral("The address cannot be opened now."));
    box->Enable();
    EXPECT_TRUE(web.CopyLongText(box).isNull());

    // A key without a text is no text (the table answers the key itself).
    EXPECT_TRUE(CopyHelpTagString(QStringLiteral("No Such Tag")).isNull());
    EXPECT_TRUE(ALocalizedTag(QStringLiteral("No Such Tag")).CopyShortText(box).isNull());
}

TEST_F(HelpTagFixture, StringListTagsPickTheirIndexByState)
{
    ABalloon balloon(150, 3, 5, 6, 7); // Cut, Paste, Clear, Typing
    EXPECT_EQ(balloon.GetHelpString(box), QStringLiteral("Paste"));  // enabled, off
    box->SetValue(1);
    EXPECT_EQ(balloon.GetHelpString(box), QStringLiteral("Typing")); // enabled, on
    box->Disable();
    EXPECT_EQ(balloon.GetHelpString(box), QStringLiteral("Clear"));  // disabled, on
    box->SetValue(0);
    EXPECT_EQ(balloon.GetHelpString(box), QStringLiteral("Cut"));    // disabled, off
    EXPECT_TRUE(ABalloon(150, 0, 0, 0, 0).GetHelpString(box).isEmpty());
}

TEST_F(HelpTagFixture, TheInnermostTagIsShownAndOnlyWhileTagsAreOn)
{
    auto* outer = new LView(PaneAt(2, QRect(10, 50, 200, 100), window));
    auto* inner = new LView(PaneAt(3, QRect(20, 20, 50, 40), outer));
    auto* outerTag = new ALocalizedTag(QStringLiteral("Search Field"));
    auto* innerTag = new ALocalizedTag(QStringLiteral("Split View Divider"));
    outer->AddAttachment(outerTag);
    inner->AddAttachment(innerTag);

    QString shortText, longText;
    ASSERT_TRUE(Content(GlobalIn(inner), shortText, longText));
    EXPECT_EQ(shortText, QStringLiteral("Drag to change the sizes of the two panes."));
    ASSERT_TRUE(Content(GlobalIn(outer), shortText, longText));
    EXPECT_TRUE(shortText.startsWith(QStringLiteral("Type a text")));
    EXPECT_TRUE(longText.startsWith(QStringLiteral("The search looks")));
    EXPECT_FALSE(Content(GlobalIn(box), shortText, longText)); // no tag there

    // The preference switches them off; a tag that is always shown still shows.
    SetPrefBoolean(QStringLiteral("ShowToolTips"), false);
    ApplyShowToolTipsPreference();
    EXPECT_FALSE(AreHelpTagsEnabled());
    EXPECT_FALSE(Content(GlobalIn(inner), shortText, longText));
    box->AddAttachment(new AAutoBalloon(150, 3, 5, 6, 7));
    ASSERT_TRUE(Content(GlobalIn(box), shortText, longText));
    EXPECT_EQ(shortText, QStringLiteral("Paste"));
    SetPrefBoolean(QStringLiteral("ShowToolTips"), true);
    ApplyShowToolTipsPreference();
    EXPECT_TRUE(Content(GlobalIn(inner), shortText, longText));
}

TEST_F(HelpTagFixture, ALongTextAloneShowsNoTag)
{
    struct LongOnly : ABalloonBase {
        QString CopyLongText(LPane*) override { return QStringLiteral("long"); }
    };
    box->AddAttachment(new LongOnly);
    QString shortText, longText;
    EXPECT_FALSE(Content(GlobalIn(box), shortText, longText));
}

TEST_F(HelpTagFixture, ControlKeyShortensTheDelayAndShowsTagsThatAreOff)
{
    box->AddAttachment(new ALocalizedTag(QStringLiteral("Recent Entries")));
    EXPECT_EQ(GetHelpTagDelayMilliseconds(), 340);
    InstallHelpTagHandler();
    DisableHelpTags();
    QString shortText, longText;
    EXPECT_FALSE(Content(GlobalIn(box), shortText, longText));

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Meta, Qt::MetaModifier);
    QApplication::sendEvent(box, &down);
    EXPECT_TRUE(IsControlKeyDownForHelpTags());
    EXPECT_EQ(GetHelpTagDelayMilliseconds(), 1);
    EXPECT_TRUE(Content(GlobalIn(box), shortText, longText));

    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Meta, Qt::NoModifier);
    QApplication::sendEvent(box, &up);
    EXPECT_EQ(GetHelpTagDelayMilliseconds(), 340);
    EXPECT_FALSE(Content(GlobalIn(box), shortText, longText));
}

TEST_F(HelpTagFixture, MovingOverATaggedPaneShowsItsTagAfterTheDelay)
{
    box->AddAttachment(new ALocalizedTag(QStringLiteral("Recent Entries")));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(GlobalIn(box)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    EXPECT_TRUE(GetBalloonHelper()->GetDelayTimer().isActive());
    EXPECT_EQ(GetBalloonHelper()->GetDelayTimer().interval(), 340);
    ASSERT_TRUE(GetBalloonHelper()->ShowTagAt(GlobalIn(box)));
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("The texts you enter here are remembered."));
    QToolTip::hideText();
}

} // namespace
