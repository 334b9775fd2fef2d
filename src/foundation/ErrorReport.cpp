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

// Entries of list 700 by code; any other code is the generic entry, which shows the number.
struct OSErrorEntry {
    SInt32 code;
    SInt16 entry;
};
constexpr OSErrorEntry kOSErrorEntries[] = {
    {-43, 6}, {-35, 6}, {-120, 6},
    {-108, 2}, {-41, 2},
    {-61, 5}, {-54, 5}, {-44, 5}, {-45, 5}, {-46, 5},
    {-48, 8},
    {-49, 3},
    {-39, 15},
    {-34, 16},
    {-40, 28},
    {-192, 21},
    {-2003, 4}, {-8969, 4},
    {-3205, 18},
    {-3162, 19},
    {-2048, 29},
    {-3180, 17},
    {-5000, 33}, {kReplyNotLoggedIn, 33},
    {-3221, 22},
    {28020, 11},
    {28021, 12},
    {28022, 13},
    {28023, 14},
    {302, 31},
    {404, 30}, {550, 30}, {kErrRemoteFileNotFound, 30},
    {err_AssertFailed, 10},
    {err_NilPointer, 32},
    {kNetworkEndpointErr, 20},
    // The program's other codes, each with words of its own.
    {-50, 34}, // a value out of range or form
    {-36, 35}, // an input or output failure of the disk
    {-206, 36}, // malformed data
    {-4, 37}, // not available here (printing among them)
    {-1, 38}, // a camera raw file without a usable preview
    {-42, 39}, // too many files open
    {-47, 40}, // in use
    {-37, 41}, // a bad name
    {-33, 42}, // a full folder
    {-26, 43}, // a file too large for its reader
    {-19, 44}, // a caption block cut short
    {-109, 45}, // missing data
    {-123, 46}, // not supported by the disk
    {-600, 47}, // an application that could not be started
    {kErrInternetConfigUnavailable, 48},
    {kErrDestinationInsideSource, 49},
    {-1302, 50}, // not a file
    {-1303, 51}, // another disk
    {-1320, 52}, // a stored record block that cannot be read
    {-1406, 53}, {-1407, 53}, {-1417, 53}, // a folder's items
    {-1751, 54}, // a script not loaded
    {-1753, 55}, // a script that failed
    {-2000, 56}, // a movie's data not found
    {-2010, 57}, // a bad movie
    {-2014, 58}, {-2015, 58}, // a bad duration or time
    {-2026, 59}, // no such user data
    {-2029, 60}, // no such image in the file
    {-2202, 61}, // a picture or movie parameter out of range
    {-2582, 62}, // no such icon
    {-3004, 63}, // a module that could not be loaded
    {-3260, 64}, // a network transfer that failed
    {-4960, 65}, // a conversion that failed
    {-4979, 66}, // a field that cannot be changed
    {-5620, 67}, // no such field
    {-8960, 68}, // a codec that failed
    {-8961, 69}, // no codec
    {kErrCopyCancelledByFilter, 70},
    {-9950, 71}, // a camera that failed
    {-9951, 82}, // a card file that changed while it was copied
    {-25291, 72}, // no keyring service
    {-25293, 73}, // the keyring refused
    {-25299, 74}, // already in the keyring
    {-25300, 75}, // not in the keyring
    {-25308, 76}, // another failure of the keyring
    {-30583, 77}, // a pane without that kind of data
    {0x10000065, 78}, // a transfer stopped
    {'clas', 79}, // an unknown class in a layout
    {'lock', 80}, // a locked list changed
    {OSStatus(0x80008002), 81}, // an operation the picture routines lack
};

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
    for (const OSErrorEntry& known : kOSErrorEntries) {
        if (known.code == code)
            return known.entry;
    }
    return kGenericEntry;
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
