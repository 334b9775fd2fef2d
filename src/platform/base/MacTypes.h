#pragma once

// The old platform's integer and code types, with the fixed widths the stored
// formats use. Everything above this layer spells its types this way.

#include <cstdint>

using UInt8 = std::uint8_t;
using SInt8 = std::int8_t;
using UInt16 = std::uint16_t;
using SInt16 = std::int16_t;
using UInt32 = std::uint32_t;
using SInt32 = std::int32_t;
using UInt64 = std::uint64_t;
using SInt64 = std::int64_t;
using Boolean = bool;
using Byte = std::uint8_t;

using OSErr = SInt16;
using OSStatus = SInt32;
using FourCharCode = UInt32;
using OSType = FourCharCode;
using ResType = FourCharCode;
using ClassIDT = FourCharCode;
using MessageT = SInt32;
using CommandT = SInt32;
using PaneIDT = SInt32;
using ResIDT = SInt16;

// System error numbers the program throws and checks for.
enum : OSStatus {
    noErr = 0,
    unimpErr = -4,
    ioErr = -36,
    eofErr = -39,
    fnfErr = -43,
    dupFNErr = -48,
    opWrErr = -49,
    paramErr = -50,
    permErr = -54,
    dirNFErr = -120,
    memFullErr = -108,
    nilHandleErr = -109,
    resNotFound = -192,
    userCanceledErr = -128,
    badFormat = -206,
    afpAccessDenied = -5000,
    errFSBadFSRef = -35,
    coreFoundationUnknownErr = -4960,
    kNSLBadDataTypeErr = -4979,
};

// Four-character codes the framework throws for programming faults.
inline constexpr OSStatus err_NilPointer = 'nilP';
inline constexpr OSStatus err_AssertFailed = 'asrt';
