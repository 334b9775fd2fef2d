#pragma once

#include <QString>

// The bundle's default strings table (resources/strings/Localizable.json, compiled
// in as ":/strings/Localizable.json"): key -> English text. A key without an entry
// comes back as itself.
QString BundleLocalizedString(const QString& key);

// True when the table has an entry for `key`.
bool BundleHasLocalizedString(const QString& key);
