#pragma once

#include <QByteArray>
#include <QString>

// Empty files standing for a collection's photographs, `items` of them spread
// over a thousand folders, made once and kept beside the build: a save looks
// for every item's file, an empty one fails to read as a medium.
QString EmptyPhotoFolder(int items);
// Where the i-th of them lies below that folder.
QByteArray EmptyPhotoPath(int i);
