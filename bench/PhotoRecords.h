#pragma once

#include "IndexDbRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// index.db records as the program saves them for a user's photographs: the file's
// address and its alias, catalogue fields, the camera's EXIF (the item's user
// data) and image record, and an IPTC caption, for benchmarks that must hold,
// read, search and save what a real index holds.

// The camera's parts of the i-th record come from the camera photographs of the
// test data, each read once through the program's own item.
// `caption` is the record's IPTC block (PhotoCaption).
IndexDbRecord PhotoRecord(int i, const QByteArray& name, const QByteArray& fileURL, const QByteArray& caption);

// An IPTC caption as a photographer's: keywords, a headline and a caption text,
// with the by-line, city, country and copyright notice a camera's template gives.
QByteArray PhotoCaption(int i, const QStringList& keywords, const QString& headline, const QByteArray& caption);

// The alias a save stores for the file at `filePath` in the package whose index.db
// is `indexDbPath` (relative to it); empty when the file does not exist.
QByteArray PhotoAlias(const QString& indexDbPath, const QString& filePath);
