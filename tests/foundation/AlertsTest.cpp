#include "Alerts.h"
#include "AlertAnswer.h"
#include "LDialogBox.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <functional>

namespace {

// The application registers the framework's classes at start-up; so does this test.
const bool kRegistered = [] {
    URegistrar::RegisterFrameworkClasses();
    return true;
}();

} // namespace

TEST(Alerts, MessageAlertTitlesByType)
{
    EXPECT_EQ(MessageAlertTitleKey(kStopAlert), QStringLiteral("600:17"));
    EXPECT_EQ(MessageAlertTitleKey(kCautionAlert), QStringLiteral("600:16"));
    EXPECT_EQ(MessageAlertTitleKey(kNoteAlert), QStringLiteral("600:15"));
    EXPECT_EQ(MessageAlertTitleKey(kNoAlert), QStringLiteral("600:15"));

    AlertAnswer answer;
    QString message, explanation;
    answer.inspect = [&](LDialogBox* dialog) {
        message = PaneText(dialog, 4);
        explanation = PaneText(dialog, 5);
    };
    answer.Arm();
    ShowMessageAlert(QStringLiteral("The disk is full."), kNoteAlert);
    EXPECT_TRUE(answer.sawDialog);
    EXPECT_EQ(message, CopyLocalizedString(QStringLiteral("600:15")));
    EXPECT_EQ(explanation, QStringLiteral("The disk is full."));
    EXPECT_EQ(FindOpenDialog(), nullptr);
}

TEST(Alerts, YesNoAnswers)
{
    AlertAnswer yes;
    QString yesTitle, noTitle;
    yes.inspect = [&](LDialogBox* dialog) {
        yesTitle = PaneText(dialog, 1);
        noTitle = PaneText(dialog, 2);
    };
    yes.Arm();
    EXPECT_TRUE(AskYesNoAlert(QStringLiteral("Delete?"), QStringLiteral("It goes to the Trash."), kCautionAlert));
    EXPECT_EQ(yesTitle, CopyLocalizedString(QStringLiteral("600:21")));
    EXPECT_EQ(noTitle, CopyLocalizedString(QStringLiteral("600:22")));

    AlertAnswer no;
    no.button = 2;
    no.Arm();
    EXPECT_FALSE(AskYesNoAlert(QStringLiteral("Delete?"), QString(), kCautionAlert));
}

TEST(Alerts, OSErrorAlertShowsKindAndNumber)
{
    SErrorRecord record;
    AlertAnswer answer;
    QString message, detail;
    answer.inspect = [&](LDialogBox* dialog) {
        message = PaneText(dialog, 4);
        detail = PaneText(dialog, 5);
    };
    answer.Arm();
    ShowOSErrorAlert(record, 100033, kStopAlert);
    EXPECT_EQ(record.lastCode, 100033);
    EXPECT_EQ(message, CopyLocalizedCFString(500, 33));
    EXPECT_EQ(detail, QStringLiteral("ID 33"));

    answer.Arm();
    ShowOSErrorAlert(record, 12345, kCautionAlert); // a code without words of its own
    EXPECT_TRUE(message.endsWith(QStringLiteral("(12345)")));
    EXPECT_EQ(detail, QStringLiteral("OS Error 12345"));
    EXPECT_EQ(PStringToQString(record.message), message);

    ShowOSErrorAlert(record, 100006, kStopAlert); // beeps, shows nothing
    EXPECT_EQ(record.lastCode, 100006);
}

TEST(Alerts, ErrorDialogWithCaption)
{
    SErrorRecord record;
    EXPECT_EQ(ShowErrorDialog(record, 100006, kStopAlert, QStringLiteral("x")), 0);
    EXPECT_EQ(ShowErrorDialog(record, -128, kStopAlert, QStringLiteral("x")), 0);
    EXPECT_EQ(record.lastCode, -128);

    AlertAnswer answer;
    QString caption, kind, number;
    bool numberVisible = false;
    answer.inspect = [&](LDialogBox* dialog) {
        caption = PaneText(dialog, 900);
        kind = PaneText(dialog, 901);
        number = PaneText(dialog, 902);
        numberVisible = dialog->FindPaneByID(902)->IsVisible();
    };
    answer.Arm();
    EXPECT_EQ(ShowErrorDialog(record, 100033, kStopAlert, QStringLiteral("Upload failed")), 1);
    EXPECT_EQ(caption, QStringLiteral("Upload failed"));
    EXPECT_EQ(kind, QStringLiteral("Int:"));
    EXPECT_EQ(number, QStringLiteral("33"));
    EXPECT_TRUE(numberVisible);

    answer.Arm();
    ShowErrorDialog(record, -43, kNoteAlert, QStringLiteral("c"));
    EXPECT_EQ(kind, QStringLiteral("OS:"));
    EXPECT_EQ(number, QStringLiteral("-43"));

    answer.Arm();
    ShowErrorDialog(record, 0, kNoteAlert, QStringLiteral("c"));
    EXPECT_FALSE(numberVisible);
}

// The alert lays itself out from its layout's grid: a message of many lines makes
// it taller, so every line shows above the button.
TEST(Alerts, LongMessageMakesTheAlertTallEnoughToShowAllOfIt)
{
    QString longText;
    for (int i = 1; i <= 40; ++i)
        longText += QStringLiteral("Line %1 of a long explanation that wraps within the alert's width. ").arg(i);

    for (auto [type, layoutHeight] : {std::pair {kNoteAlert, 150}, std::pair {kStopAlert, 150}}) {
        AlertAnswer answer;
        QRect textFrame, buttonFrame, content;
        int neededHeight = 0;
        answer.inspect = [&](LDialogBox* dialog) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            LPane* text = dialog->FindPaneByID(5);
            textFrame = text->GetFrame();
            neededHeight = text->heightForWidth(textFrame.width());
            buttonFrame = dialog->FindPaneByID(1)->GetFrame();
            content = dialog->rect();
            if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
                dialog->GetShell()->grab().save(QStringLiteral("long-alert.png"));
        };
        answer.Arm();
        ShowMessageAlert(longText, type);
        ASSERT_TRUE(answer.sawDialog);
        EXPECT_GE(textFrame.height(), neededHeight) << "the text is cut off";
        EXPECT_GT(content.height(), layoutHeight * 2); // grew well past the layout's frame
        EXPECT_TRUE(content.contains(textFrame));
        EXPECT_TRUE(content.contains(buttonFrame));
        EXPECT_GE(buttonFrame.top(), textFrame.bottom()); // the button stays below the text
    }

    // A short message keeps the alert small.
    AlertAnswer shortAnswer;
    int shortHeight = 0;
    shortAnswer.inspect = [&](LDialogBox* dialog) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        shortHeight = dialog->height();
        if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
            dialog->GetShell()->grab().save(QStringLiteral("short-alert.png"));
    };
    shortAnswer.Arm();
    ShowMessageAlert(QStringLiteral("Done."), kNoteAlert);
    EXPECT_LT(shortHeight, 200);
}

TEST(Alerts, ErrorDialogFitsALongCaptionAndKeepsItsNumberRow)
{
    SErrorRecord record;
    AlertAnswer answer;
    QRect caption, number, button;
    int needed = 0;
    answer.inspect = [&](LDialogBox* dialog) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        LPane* text = dialog->FindPaneByID(900);
        caption = text->GetFrame();
        needed = text->heightForWidth(caption.width());
        number = dialog->FindPaneByID(902)->GetFrame();
        button = dialog->FindPaneByID(1)->GetFrame();
        if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
            dialog->GetShell()->grab().save(QStringLiteral("error-dialog.png"));
    };
    answer.Arm();
    ShowErrorDialog(record, -43, kStopAlert, QString(QStringLiteral("The file could not be found in its folder. ")).repeated(12));
    ASSERT_TRUE(answer.sawDialog);
    EXPECT_GE(caption.height(), needed);
    EXPECT_GE(number.top(), caption.bottom());
    EXPECT_GE(button.top(), number.bottom());
}
