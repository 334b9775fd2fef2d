#include "UResources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPixmap>
#include <QPixmapCache>

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

QImage UResources::ReadImage(const QString& path)
{
    if (path.isEmpty())
        return QImage();
    QImageReader named(path, QFileInfo(path).suffix().toLower().toLatin1());
    named.setAutoDetectImageFormat(false);
    QImage image = named.read();
    // A file whose suffix does not say what it holds: every reader is asked.
    if (image.isNull())
        image = QImageReader(path).read();
    return image;
}

QPixmap UResources::ReadPixmap(const QString& path)
{
    const QString key = QStringLiteral("orvex-resource:") + path;
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap::fromImage(ReadImage(path));
    if (!pixmap.isNull())
        QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon UResources::ReadIcon(const QString& path)
{
    QIcon icon;
    const QImage image = ReadImage(path);
    if (image.isNull())
        return icon;
    icon.addPixmap(QPixmap::fromImage(image));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const QString dense = dot < 0 ? QString() : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
    if (!dense.isEmpty() && QFile::exists(dense)) {
        const QImage denseImage = ReadImage(dense);
        if (!denseImage.isNull())
            icon.addPixmap(QPixmap::fromImage(denseImage));
    }
    return icon;
}
