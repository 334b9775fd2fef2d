#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

// The bundle's default strings table (resources/strings/Localizable.json, compiled
// in as ":/strings/Localizable.json"): key -> English text. A key without an entry
// comes back as itself.
QString BundleLocalizedString(const QString& key);

// True when the table has an entry for `key`.
bool BundleHasLocalizedString(const QString& key);

// Registers the resources compiled into this library (resources/orvex.qrc, under
// ":/"). Safe to call any number of times.
void InitBundleResources();

// The whole contents of the bundle resource ":/<relativePath>" (for example
// "lists/plsT-128.plist"); resNotFound when there is none.
OSStatus LoadBundleResource(const QString& relativePath, QByteArray& out);
