#pragma once

#include "ErrorReport.h"
#include "PString.h"

#include <QString>

// The standard alerts, made from the layouts in resources/layouts. Each beeps once
// and shows an application-modal dialog with the arrow cursor.

// Yes (600:21, default) and No (600:22); true for Yes.
bool AskYesNoAlert(const QString& message, const QString& explanation, SInt16 alertType);

// One default button; the message is 600:17 for a stop alert, 600:16 for a caution
// alert and 600:15 for any other type.
void ShowMessageAlert(const QString& explanation, SInt16 alertType);
QString MessageAlertTitleKey(SInt16 alertType);

// The alert shown when a failure escapes the event loop (alert 301): the message, the
// kind word ("ID" or "OS Error") and the number. 100006 and -128 only beep.
void ShowOSErrorAlert(SErrorRecord& record, SInt32 code, SInt16 alertType);

// The error dialog with a caption (layout 990); returns the message of the button
// that closed it, 0 for a cancel code (nothing shown).
MessageT ShowErrorDialog(SErrorRecord& record, SInt32 code, SInt16 alertType, const QString& caption);
MessageT ShowErrorDialogWithLayout(SErrorRecord& record, SInt32 code, SInt16 alertType, const QString& caption,
    ResIDT layoutID);

// What the error dialog's kind and number panes show for a code: code 0 shows
// neither, a message number "Int:" and code - 100000, any other code "OS:" and the code.
struct ErrorDialogNumber {
    bool visible = false;
    QString kind;
    SInt32 number = 0;
};
ErrorDialogNumber ErrorDialogNumberFor(SInt32 code);

// The layouts of the alerts.
inline constexpr ResIDT kOSErrorAlertLayout = 301;
inline constexpr ResIDT kMessageAlertLayout = 302;
inline constexpr ResIDT kYesNoAlertLayout = 303;
inline constexpr ResIDT kErrorDialogLayout = 990;
