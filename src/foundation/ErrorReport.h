#pragma once

#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "PString.h"

#include <QString>

#include <functional>

// The process-wide record of the last error shown in an alert.
struct SErrorRecord {
    Str255 message;
    Str255 defaultText; // "An error occurred."
    SInt32 lastCode = 0;
};
extern SErrorRecord gErrorRecord;

// A report as the error manager keeps it until it can be shown.
struct SErrorReport {
    SInt16 listID = 0; // 500 or 700
    SInt16 messageIndex = 0;
    SInt32 alertType = 0; // 0 stop, 1 note, 2 caution, 3 no alert
    SInt16 notificationListID = 0;
    SInt16 notificationIndex = 0;
    UInt32 notificationFlags = 0; // 1 mark, 2 sound, 4 text
    bool showAfterNotification = false;
    QString reason; // what failed, for the log and the details; not part of the alert's text
    QString text; // the alert's text when it names what failed; else the message of listID/messageIndex

    bool operator==(const SErrorReport&) const = default;
    // The same alert, whatever the reasons behind it.
    bool ShowsSameAs(const SErrorReport& other) const;
};

enum : SInt16 {
    kStopAlert = 0,
    kNoteAlert = 1,
    kCautionAlert = 2,
    kNoAlert = 3,
};

// The error manager (interface kit) receives the reports through this; it installs
// itself at start-up. Without a receiver a report goes to the debug log.
using ErrorNotificationPoster = std::function<void(const SErrorReport&)>;
void SetErrorNotificationPoster(ErrorNotificationPoster poster);

// Hands `code` to the error manager (user cancels excepted), after logging it
// with its reason under "orvex.errors". `scratch` receives the system message
// text for codes that are not message numbers.
void ReportError(Str255& scratch, const ExceptionCode& error, SInt16 alertType);
void ReportError(const ExceptionCode& error, SInt16 alertType = kStopAlert);
inline void ReportError(Str255& scratch, SInt32 code, SInt16 alertType)
{
    ReportError(scratch, ExceptionCode(code), alertType);
}
inline void ReportError(SInt32 code, SInt16 alertType = kStopAlert)
{
    ReportError(ExceptionCode(code), alertType);
}

// As ReportError, the alert saying `text` (which names the file or address that
// failed) rather than the code's message alone.
void ReportErrorWithText(const ExceptionCode& error, const QString& text, SInt16 alertType);

// Entry of string list 700 for a system code; `out` gets its text (see FormatOSErrorText).
SInt16 GetOSErrorIndex(SInt32 code);
SInt16 GetOSErrorMessage(Str255& out, SInt32 code);
QString GetOSErrorMessageText(SInt32 code, SInt16* outIndex = nullptr);

// The text of list 700 entry `index` for `code`: entry 1 gets " (code)" appended; the
// result is cut to 255 characters.
QString FormatOSErrorText(const QString& entryText, SInt16 index, SInt32 code);

// The text a code stands for: list 500 for message numbers, list 700 otherwise.
QString GetErrorText(SInt32 code);

// 1 mark + 2 sound, plus 4 (text) when "ShowNotificationDialog" is on.
UInt8 GetErrorNotificationFlags();

// Makes ReportError the receiver of codes that lower layers catch (ErrorHook.h).
void InstallErrorReportHook();
