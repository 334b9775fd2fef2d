#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

#include <vector>

// A resource of a resource map: its type, ID, name (Mac Roman, may be empty) and data.
struct ResourceEntry {
    OSType type = 0;
    SInt16 id = 0;
    QString name;
    QByteArray data;
};

// Parses a resource fork's bytes (a .dfont's data fork, an AppleDouble file's fork); every
// offset and length is checked against the bytes given. Throws badFormat for a damaged map.
std::vector<ResourceEntry> ParseResourceFork(const QByteArray& fork);

// The resource fork kept in the AppleDouble file beside `path` ("._name", as archives and
// file servers write them); empty when there is none or it is larger than `maxSize`.
QByteArray ReadAppleDoubleResourceFork(const QString& path, qint64 maxSize);

// The resources kept in the file's extended attributes "user.orvex.rsrc.TYPE.ID" (they
// carry no names); those larger than `maxSize` are left out.
std::vector<ResourceEntry> ReadAttributeResources(const QString& path, qint64 maxSize);

// The file's resources of `type`, lowest ID first: from its extended attributes, or, when
// it has none of that type there, from its AppleDouble companion. A damaged AppleDouble
// fork gives none; resources larger than `maxSize` are left out.
std::vector<ResourceEntry> ReadFileResources(const QString& path, OSType type, qint64 maxSize);
