#pragma once

#include <QJsonObject>
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
}
