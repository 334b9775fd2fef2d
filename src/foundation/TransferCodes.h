#pragma once

#include "MacTypes.h"

// Transfer replies: a missing remote file (HTTP 404, FTP 550) is reported as
// kErrRemoteFileNotFound; an FTP server that refused the login answers 530.
inline constexpr OSStatus kErrRemoteFileNotFound = 1000;
inline constexpr OSStatus kReplyNotLoggedIn = 530;
