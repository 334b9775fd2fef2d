#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

// Generic passwords in the user's keychain: the freedesktop Secret Service,
// reached through QtKeychain. Each operation waits for the service's answer (the
// event loop runs meanwhile) and answers a code; nothing throws.
namespace Keychain {

inline constexpr OSStatus kErrNotAvailable = -25291; // no secret service runs
inline constexpr OSStatus kErrItemNotFound = -25300;
inline constexpr OSStatus kErrDuplicateItem = -25299;
inline constexpr OSStatus kErrAuthFailed = -25293;   // the user or the service refused
inline constexpr OSStatus kErrKeychainFailed = -25308; // any other failure of the service
inline constexpr qsizetype kMaxPasswordLength = 254;

// True when a secret service runs on the session bus (or can be started by it).
bool IsAvailable();

// The password of (service, account); kErrItemNotFound when there is none. At
// most kMaxPasswordLength bytes are answered.
OSStatus FindGenericPassword(const QString& service, const QString& account, QByteArray& outPassword);
// Adds the password; kErrDuplicateItem when the entry exists (it is left as it is).
OSStatus AddGenericPassword(const QString& service, const QString& account, const QByteArray& password);
// Adds the password or replaces the entry's.
OSStatus SetGenericPassword(const QString& service, const QString& account, const QByteArray& password);
// Removes the entry; noErr when there was none.
OSStatus DeleteGenericPassword(const QString& service, const QString& account);

// What the keychain module ("orvex-keychain", with QtKeychain) gives: its entry,
// `OrvexKeychainJobs`, answers it. The functions above run these, once the secret
// service is known to be there; the module is loaded at the first of them.
struct Jobs {
    OSStatus (*find)(const QString& service, const QString& account, QByteArray& outPassword);
    OSStatus (*set)(const QString& service, const QString& account, const QByteArray& password);
    OSStatus (*remove)(const QString& service, const QString& account);
};

} // namespace Keychain
