#pragma once

#include <QByteArray>
#include <QString>

// Empty files standing for a collection's photographs, `items` of them spread
// over a thousand folders, made once and kept beside the build: a save looks
// for every item's file, an empty one fails to read as a medium.
QString EmptyPhotoFolder(int items);
// Where the i-th of them lies below that folder (UTF-8).
QByteArray EmptyPhotoPath(int i);
// Its file name as a camera or its owner gave it: names repeat from one folder
// to the next, never within one (below ten million items).
QByteArray PhotoName(int i);
