#include "NativePaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <unistd.h>

QString PathFromNativeBytes(const QByteArray& bytes)
{
    const QString decoded = QFile::decodeName(bytes);
    if (QFile::encodeName(decoded) == bytes)
        return decoded;

    QByteArray absolute = bytes;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + absolute;
    while (absolute.size() > 1 && absolute.endsWith('/'))
        absolute.chop(1);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // One folder per target, so that two names read alike as Latin-1 never meet.
    folder += QStringLiteral("/orvex-names/")
        + QString::fromLatin1(QCryptographicHash::hash(absolute, QCryptographicHash::Sha1).toHex().left(16));
    const QString name = QString::fromLatin1(absolute.mid(absolute.lastIndexOf('/') + 1));
    if (name.isEmpty() || !QDir().mkpath(folder))
        return decoded;
    const QByteArray link = QFile::encodeName(folder + QLatin1Char('/') + name);
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length >= 0 && QByteArray(target, qsizetype(length)) == absolute)
        return folder + QLatin1Char('/') + name;
    ::unlink(link.constData());
    if (::symlink(absolute.constData(), link.constData()) != 0)
        return decoded;
    return folder + QLatin1Char('/') + name;
}
