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
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus unimpErr = -4;
inline constexpr OSStatus ioErr = -36;
inline constexpr OSStatus eofErr = -39;
inline constexpr OSStatus fnfErr = -43;
inline constexpr OSStatus dupFNErr = -48;
inline constexpr OSStatus opWrErr = -49;
inline constexpr OSStatus paramErr = -50;
inline constexpr OSStatus permErr = -54;
inline constexpr OSStatus dirNFErr = -120;
inline constexpr OSStatus memFullErr = -108;
inline constexpr OSStatus nilHandleErr = -109;
inline constexpr OSStatus resNotFound = -192;
inline constexpr OSStatus userCanceledErr = -128;
inline constexpr OSStatus badFormat = -206;
inline constexpr OSStatus afpAccessDenied = -5000;
inline constexpr OSStatus errFSBadFSRef = -35;
inline constexpr OSStatus coreFoundationUnknownErr = -4960;
inline constexpr OSStatus kNSLBadDataTypeErr = -4979;

// Four-character codes the framework throws for programming faults.
inline constexpr OSStatus err_NilPointer = 'nilP';
inline constexpr OSStatus err_AssertFailed = 'asrt';
