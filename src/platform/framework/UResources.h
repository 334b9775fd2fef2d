#pragma once

#include <QIcon>
#include <QImage>
#include <QJsonObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

// The framework's resource files (layouts, menus, text traits): a file `name` is
// looked for in the folders added for its kind (first added, last searched) and
// then among the compiled-in resources under ":/<kind>/".
namespace UResources {
void AddFolder(const QString& kind, const QString& folder);
// The path of the file, empty when there is none.
QString FindFile(const QString& kind, const QString& name);
// The file read as one JSON object. False with a reason in `outError` when it is
// missing (`outMissing` set) or not a JSON object.
bool ReadJsonObject(const QString& kind, const QString& name, QJsonObject& outObject, QString& outError, bool& outMissing);
// A picture the program ships, read by the reader its suffix names. Qt would
// otherwise load every image plugin to ask each whether it reads the file, which
// costs a start more than the first window's own drawing. Null when unreadable.
QImage ReadImage(const QString& path);
// The same as a pixmap, kept in Qt's pixmap cache as QPixmap::load keeps it.
QPixmap ReadPixmap(const QString& path);
// The picture as an icon, with its "@2x" sibling for dense screens when there is one.
QIcon ReadIcon(const QString& path);
}
