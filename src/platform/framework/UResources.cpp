#include "UResources.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {
QHash<QString, QStringList>& Folders()
{
    static QHash<QString, QStringList> folders;
    return folders;
}
} // namespace

void UResources::AddFolder(const QString& kind, const QString& folder)
{
    QStringList& list = Folders()[kind];
    if (!list.contains(folder))
        list.prepend(folder);
}

QString UResources::FindFile(const QString& kind, const QString& name)
{
    for (const QString& folder : Folders().value(kind)) {
        QString path = QDir(folder).filePath(name);
        if (QFile::exists(path))
            return path;
    }
    QString compiled = QStringLiteral(":/%1/%2").arg(kind, name);
    return QFile::exists(compiled) ? compiled : QString();
}

bool UResources::ReadJsonObject(const QString& kind, const QString& name, QJsonObject& outObject, QString& outError, bool& outMissing)
{
    outMissing = false;
    QFile file(FindFile(kind, name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
        outMissing = true;
        outError = QStringLiteral("no resource");
        return false;
    }
    QJsonParseError error {};
    QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        outError = QStringLiteral("not valid JSON at offset %1: %2").arg(error.offset).arg(error.errorString());
        return false;
    }
    if (!document.isObject()) {
        outError = QStringLiteral("not a JSON object");
        return false;
    }
    outObject = document.object();
    return true;
}
