#include "Alerts.h"

#include "LDialogBox.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "ResourceUtilities.h"

#include <QApplication>
#include <QGuiApplication>

namespace {

enum : PaneIDT {
    kPaneOK = 1,
    kPaneCancel = 2,
    kPaneIcon = 3,
    kPaneMessage = 4,
    kPaneExplanation = 5,
    kPaneCaption = 900,
    kPaneKind = 901,
    kPaneNumber = 902,
    kPaneErrorIcon = 903,
};

// The arrow for the time an alert is up, whatever a view had set.
class StArrowCursor {
public:
    StArrowCursor() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~StArrowCursor() { QGuiApplication::restoreOverrideCursor(); }
};

QIcon AlertIcon(SInt16 alertType)
{
    return GetSystemIcon(alertType == kStopAlert ? 'stop' : alertType == kCautionAlert ? 'caut' : 'note');
}

void SetIcon(LDialogBox* dialog, PaneIDT paneID, SInt16 alertType)
{
    // The icon itself, so it is drawn sharp at whatever density the screen has.
    if (auto* icon = dynamic_cast<LImagePane*>(dialog->FindPaneByID(paneID)))
        icon->SetIcon(AlertIcon(alertType));
}

void SetText(LDialogBox* dialog, PaneIDT paneID, const QString& text)
{
    if (LPane* pane = dialog->FindPaneByID(paneID))
        pane->SetCFDescriptor(text);
}

// Replaces ^0 .. ^3 in the texts of the alert's panes.
void ParamText(LDialogBox* dialog, const QStringList& params)
{
    for (PaneIDT id : {kPaneMessage, kPaneExplanation}) {
        LPane* pane = dialog->FindPaneByID(id);
        if (!pane)
            continue;
        QString text = pane->GetCFDescriptor();
        for (int i = 0; i < params.size(); ++i)
            text.replace(QLatin1Char('^') + QString::number(i), params[i]);
        pane->SetCFDescriptor(text);
    }
}

MessageT RunAlert(ResIDT layoutID, SInt16 alertType, const std::function<void(LDialogBox*)>& fill)
{
    StArrowCursor arrow;
    StDialogHandler handler(layoutID, nullptr);
    LDialogBox* dialog = handler.GetDialog();
    SetIcon(dialog, layoutID == kErrorDialogLayout ? kPaneErrorIcon : kPaneIcon, alertType);
    fill(dialog);
    // Heard as it reads: its first words name it, the rest describe it.
    QStringList words;
    for (PaneIDT id : { kPaneCaption, kPaneMessage, kPaneExplanation }) {
        if (LPane* pane = dialog->FindPaneByID(id); pane && !pane->GetCFDescriptor().trimmed().isEmpty())
            words << pane->GetCFDescriptor().trimmed();
    }
    dialog->PresentAsAlert(words.value(0), words.mid(1).join(QLatin1Char('\n')));
    QApplication::beep();
    MessageT message = msg_Nothing;
    while (message == msg_Nothing)
        message = handler.ModalLoop();
    return message;
}

} // namespace

QString MessageAlertTitleKey(SInt16 alertType)
{
    switch (alertType) {
    case kStopAlert:
        return QStringLiteral("600:17");
    case kCautionAlert:
        return QStringLiteral("600:16");
    default:
        return QStringLiteral("600:15");
    }
}

bool AskYesNoAlert(const QString& message, const QString& explanation, SInt16 alertType)
{
    MessageT answer = RunAlert(kYesNoAlertLayout, alertType,
        [&](LDialogBox* dialog) { ParamText(dialog, {message, explanation}); });
    return answer == kPaneOK;
}

void ShowMessageAlert(const QString& explanation, SInt16 alertType)
{
    RunAlert(kMessageAlertLayout, alertType, [&](LDialogBox* dialog) {
        ParamText(dialog, {CopyLocalizedString(MessageAlertTitleKey(alertType)), explanation});
    });
}

void ShowOSErrorAlert(SErrorRecord& record, SInt32 code, SInt16 alertType)
{
    record.lastCode = code;
    if (IsUserCancelCode(code)) {
        QApplication::beep();
        return;
    }
    QString message, kind;
    SInt32 number;
    if (IsMessageNumber(code)) {
        message = CopyLocalizedCFString(500, SInt16(code - kMessageNumberBase));
        kind = QStringLiteral("ID");
        number = code - kMessageNumberBase;
    } else {
        message = GetOSErrorMessageText(code);
        kind = QStringLiteral("OS Error");
        number = code;
    }
    QStringToPString(message, record.message);
    RunAlert(kOSErrorAlertLayout, alertType,
        [&](LDialogBox* dialog) { ParamText(dialog, {message, kind, QString::number(number), QString()}); });
}

ErrorDialogNumber ErrorDialogNumberFor(SInt32 code)
{
    if (code == 0)
        return {};
    if (IsMessageNumber(code))
        return {true, QStringLiteral("Int:"), code - kMessageNumberBase};
    return {true, QStringLiteral("OS:"), code};
}

MessageT ShowErrorDialog(SErrorRecord& record, SInt32 code, SInt16 alertType, const QString& caption)
{
    if (code == kMsgUserCancelled)
        return 0;
    return ShowErrorDialogWithLayout(record, code, alertType, caption, kErrorDialogLayout);
}

MessageT ShowErrorDialogWithLayout(SErrorRecord& record, SInt32 code, SInt16 alertType, const QString& caption,
    ResIDT layoutID)
{
    record.lastCode = code;
    if (IsUserCancelCode(code))
        return 0;
    return RunAlert(layoutID, alertType, [&](LDialogBox* dialog) {
        SetText(dialog, kPaneCaption, caption);
        ErrorDialogNumber number = ErrorDialogNumberFor(code);
        for (PaneIDT id : {kPaneKind, kPaneNumber}) {
            if (LPane* pane = dialog->FindPaneByID(id)) {
                if (number.visible)
                    pane->Show();
                else
                    pane->Hide();
            }
        }
        SetText(dialog, kPaneKind, number.kind);
        SetText(dialog, kPaneNumber, number.visible ? QString::number(number.number) : QString());
    });
}
