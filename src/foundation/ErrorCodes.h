#pragma once

#include "MacTypes.h"

// The program's own failures are message numbers above 100000; the text of message N
// is entry N - 100000 of string list 500.
inline constexpr SInt32 kMessageNumberBase = 100000;

enum : SInt32 {
    kMsgIndexWriteNote = 100002,
    kMsgUserCancelled = 100006, // never reported
    kMsgOpenWithFailed = 100013,
    kMsgStillImageMedia = 100024,
    kMsgIndexDocCommand = 100025,
    kMsgReadIndexPackage = 100028,
    kMsgIndexDocBusy = 100031,
    kMsgNoFileReference = 100033, // a URL without a file behind it
    kMsgIndexView = 100038,
    kMsgIndexViewItems = 100042,
    kMsgAliasUnresolved = 100043,
    kMsgIndexPassword = 100045,
    kMsgTaskItemErrors = 100047,
    kMsgSearch = 100050,
    kMsgDeactivateFonts = 100051,
    kMsgItemOperation = 100055,
    kMsgImportFiles = 100056,
    kMsgSomeItemsNotExamined = 100057,
    kMsgNoDuplicates = 100058,
    kMsgBatchProcess = 100059,
    kMsgIndexViewOperation = 100060,
    kMsgItemOperation2 = 100061,
    kMsgCameraImport = 100063,
    kMsgListView = 100064,
    kMsgEPSNotAvailable = 100066,
    kMsgSystemTooOld = 100068,
    kMsgIndexDocOperation = 100071,
    kMsgNoBrowser = 100081,     // no application takes web pages
    kMsgNoFileManager = 100082, // no application shows folders
};

// The framework's codes share the space above 100000 but are not message numbers.
inline constexpr SInt32 kNetworkEndpointErr = 0x10000067;

// Codes the copy engine and the folder routines return.
inline constexpr OSStatus kErrCopyCancelledByFilter = -9876;
inline constexpr OSStatus kErrDestinationInsideSource = -1234;
inline constexpr OSStatus kErrInternetConfigUnavailable = -669;

// Message numbers run from 100001 up to the size of list 500; the larger codes above
// 100000 are the framework's ('nilP', 'lock', 0x10000067 and the like), worded by list 700.
inline constexpr SInt32 kLastMessageNumber = kMessageNumberBase + 999;

inline bool IsMessageNumber(SInt32 code)
{
    return code > kMessageNumberBase && code <= kLastMessageNumber;
}

// Codes that mean the user cancelled: no report, no alert.
inline bool IsUserCancelCode(SInt32 code)
{
    return code == kMsgUserCancelled || code == userCanceledErr;
}
