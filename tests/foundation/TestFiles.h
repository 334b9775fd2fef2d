#pragma once

#include "FileRef.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// A fresh, empty folder under the test's temporary folder.
inline FileRef FreshFolder(const QString& name)
{
    QString path = TestTempDir() + QLatin1Char('/') + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return FileRef(path);
}

inline FileRef WriteFile(const FileRef& folder, const QString& relative, const QByteArray& data)
{
    QString path = folder.Path() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(data);
    return FileRef(path);
}

inline QStringList TreeListing(const FileRef& folder)
{
    QStringList entries;
    QDir root(folder.Path());
    std::function<void(const QString&)> walk = [&](const QString& rel) {
        QDir dir(rel.isEmpty() ? folder.Path() : folder.Path() + QLatin1Char('/') + rel);
        for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
            QString name = rel.isEmpty() ? info.fileName() : rel + QLatin1Char('/') + info.fileName();
            entries << (info.isSymLink() ? name + QLatin1String(" -> ") + info.symLinkTarget().section(QLatin1Char('/'), -1)
                                          : info.isDir() ? name + QLatin1Char('/') : name);
            if (info.isDir() && !info.isSymLink())
                walk(name);
        }
    };
    walk(QString());
    return entries;
}
