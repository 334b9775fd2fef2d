#include "ErrorReport.h"

#include "ErrorHook.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TransferCodes.h"

#include <QDebug>

SErrorRecord gErrorRecord {Str255(), Str255("An error occurred."), 0};

namespace {

constexpr SInt16 kMessageList = 500;
constexpr SInt16 kOSErrorList = 700;
constexpr SInt16 kNotificationList = 128;
constexpr SInt16 kNotificationIndex = 1;
constexpr SInt16 kGenericEntry = 1;

ErrorNotificationPoster& Poster()
{
    static ErrorNotificationPoster poster;
    return poster;
}

} // namespace

void SetErrorNotificationPoster(ErrorNotificationPoster poster)
{
    Poster() = std::move(poster);
}

SInt16 GetOSErrorIndex(SInt32 code)
{
    switch (code) {
    case -43: case -35: case -120:
        return 6;
    case -108: case -41:
        return 2;
    case -61: case -54: case -44: case -45: case -46:
        return 5;
    case -48:
        return 8;
    case -49:
        return 3;
    case -39:
        return 15;
    case -34:
        return 16;
    case -40:
        return 28;
    case -192:
        return 21;
    case -2003: case -8969:
        return 4;
    case -3205:
        return 18;
    case -3162:
        return 19;
    case -2048:
        return 29;
    case -3180:
        return 17;
    case -5000: case kReplyNotLoggedIn:
        return 33;
    case -3221:
        return 22;
    case 28020:
        return 11;
    case 28021:
        return 12;
    case 28022:
        return 13;
    case 28023:
        return 14;
    case 302:
        return 31;
    case 404: case 550: case kErrRemoteFileNotFound:
        return 30;
    case err_AssertFailed:
        return 10;
    case err_NilPointer:
        return 32;
    case kNetworkEndpointErr:
        return 20;
    default:
        return kGenericEntry;
    }
}

QString FormatOSErrorText(const QString& entryText, SInt16 index, SInt32 code)
{
    QString text = entryText;
    if (index == kGenericEntry)
        text += QStringLiteral(" (%1)").arg(code);
    return text.left(255);
}

QString GetOSErrorMessageText(SInt32 code, SInt16* outIndex)
{
    SInt16 index = GetOSErrorIndex(code);
    if (outIndex)
        *outIndex = index;
    return FormatOSErrorText(CopyLocalizedCFString(kOSErrorList, index), index, code);
}

SInt16 GetOSErrorMessage(Str255& out, SInt32 code)
{
    SInt16 index = 0;
    QStringToPString(GetOSErrorMessageText(code, &index), out);
    return index;
}

QString GetErrorText(SInt32 code)
{
    if (IsMessageNumber(code))
        return CopyLocalizedCFString(kMessageList, SInt16(code - kMessageNumberBase));
    return GetOSErrorMessageText(code);
}

UInt8 GetErrorNotificationFlags()
{
    return GetPrefBoolean(QStringLiteral("ShowNotificationDialog")) ? 7 : 3;
}

bool SErrorReport::ShowsSameAs(const SErrorReport& other) const
{
    SErrorReport withOtherReason = *this;
    withOtherReason.reason = other.reason;
    return withOtherReason == other;
}

namespace {
void PostReport(Str255& scratch, const ExceptionCode& error, SInt16 alertType, const QString& text)
{
    const SInt32 code = error.Code();
    // A cancel, whether ours or the system's, is the user's own doing: nothing to say.
    if (IsUserCancelCode(code))
        return;
    LogError(error);
    SErrorReport report;
    if (IsMessageNumber(code)) {
        report.listID = kMessageList;
        report.messageIndex = SInt16(code - kMessageNumberBase);
    } else {
        report.listID = kOSErrorList;
        report.messageIndex = GetOSErrorMessage(scratch, code);
    }
    report.alertType = alertType;
    report.notificationListID = kNotificationList;
    report.notificationIndex = kNotificationIndex;
    report.notificationFlags = GetErrorNotificationFlags();
    report.showAfterNotification = true;
    report.reason = QString::fromStdString(error.Context());
    report.text = text;
    if (Poster())
        Poster()(report);
}
} // namespace

void ReportError(Str255& scratch, const ExceptionCode& error, SInt16 alertType)
{
    PostReport(scratch, error, alertType, QString());
}

void ReportErrorWithText(const ExceptionCode& error, const QString& text, SInt16 alertType)
{
    Str255 scratch;
    PostReport(scratch, error, alertType, text);
}

void ReportError(const ExceptionCode& error, SInt16 alertType)
{
    Str255 scratch;
    ReportError(scratch, error, alertType);
}

void InstallErrorReportHook()
{
    SetErrorReportHook([](const ExceptionCode& error) { ReportError(gErrorRecord.message, error, kStopAlert); });
}
