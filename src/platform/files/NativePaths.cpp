#include "NativePaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// The runtime folder's own folder for the links; its children are named by a hash
// of the link's target, so two names that read alike as Latin-1 never meet.
constexpr QLatin1StringView kLinksFolder("/orvex-names/");
constexpr qsizetype kHashLength = 16;

bool IsUtf8(const QByteArray& bytes)
{
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QByteArray LinkHash(const QByteArray& target)
{
    return QCryptographicHash::hash(target, QCryptographicHash::Sha1).toHex().left(kHashLength);
}

} // namespace

QByteArray CleanNativePath(const QByteArray& bytes)
{
    QByteArray path = bytes;
    if (!path.startsWith('/'))
        path = QFile::encodeName(QDir::currentPath()) + '/' + path;
    QList<QByteArray> kept;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept << part;
    }
    return '/' + kept.join('/');
}

namespace {

// The link standing for `target` (absolute, clean, its last component not UTF-8),
// made or renewed; empty when it cannot be made.
QString LinkFor(const QByteArray& target)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    folder += kLinksFolder + QString::fromLatin1(LinkHash(target));
    const QString name = QString::fromLatin1(target.mid(target.lastIndexOf('/') + 1));
    if (name.isEmpty() || !QDir().mkpath(folder))
        return {};
    const QString path = folder + QLatin1Char('/') + name;
    const QByteArray link = QFile::encodeName(path);
    char held[4096];
    const ssize_t length = ::readlink(link.constData(), held, sizeof held);
    if (length >= 0 && QByteArray(held, qsizetype(length)) == target)
        return path;
    ::unlink(link.constData());
    if (::symlink(target.constData(), link.constData()) != 0)
        return {};
    return path;
}

// Where the link in `path` ends, with its target; -1 when the path goes through
// no link made here (a folder of the user's that happens to carry the same name
// fails the hash check).
qsizetype FindLink(const QString& path, QByteArray& target)
{
    const qsizetype at = path.indexOf(kLinksFolder);
    if (at < 0)
        return -1;
    const qsizetype hashAt = at + kLinksFolder.size();
    if (path.size() <= hashAt + kHashLength + 1 || path.at(hashAt + kHashLength) != QLatin1Char('/'))
        return -1;
    qsizetype end = path.indexOf(QLatin1Char('/'), hashAt + kHashLength + 1);
    if (end < 0)
        end = path.size();
    char held[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path.left(end)).constData(), held, sizeof held);
    if (length <= 0)
        return -1;
    target = QByteArray(held, qsizetype(length));
    if (QLatin1StringView(LinkHash(target)) != QStringView(path).mid(hashAt, kHashLength))
        return -1;
    return end;
}

} // namespace

QString PathFromNativeBytes(const QByteArray& bytes)
{
    const QString decoded = QFile::decodeName(bytes);
    if (IsUtf8(bytes))
        return decoded;

    const QByteArray absolute = CleanNativePath(bytes);
    // The link stands for the path up to its last component that is not UTF-8.
    const QList<QByteArray> parts = absolute.split('/');
    qsizetype last = parts.size() - 1;
    while (last > 0 && IsUtf8(parts.at(last)))
        --last;
    const QString link = LinkFor(parts.mid(0, last + 1).join('/'));
    if (link.isEmpty())
        return decoded;
    QString path = link;
    for (qsizetype i = last + 1; i < parts.size(); ++i)
        path += QLatin1Char('/') + QFile::decodeName(parts.at(i));
    return path;
}

QByteArray NativeBytesOfPath(const QString& path)
{
    QByteArray target;
    const qsizetype end = FindLink(path, target);
    if (end < 0)
        return QFile::encodeName(path);
    return target + QFile::encodeName(path.mid(end));
}

bool IsLinkedPath(const QString& path)
{
    QByteArray target;
    return FindLink(path, target) >= 0;
}

QString ReadableNativePath(const QByteArray& bytes)
{
    if (IsUtf8(bytes))
        return QFile::decodeName(bytes);
    QStringList parts;
    for (const QByteArray& part : bytes.split('/'))
        parts << (IsUtf8(part) ? QFile::decodeName(part) : QString::fromLatin1(part));
    return parts.join(QLatin1Char('/'));
}

QByteArray NativeFileUrlBytes(const QUrl& url)
{
    if (!url.isLocalFile())
        return url.toEncoded();
    const QString path = url.toLocalFile();
    QByteArray target;
    if (FindLink(path, target) < 0)
        return url.toEncoded();
    QUrl native(url);
    native.setPath(QString::fromLatin1(NativeBytesOfPath(path).toPercentEncoding("/")), QUrl::StrictMode);
    return native.toEncoded();
}

QUrl UrlFromNativeFileUrl(const QUrl& url)
{
    if (!url.isLocalFile() || !url.host().isEmpty())
        return url;
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (IsUtf8(bytes))
        return url;
    QUrl local = QUrl::fromLocalFile(PathFromNativeBytes(bytes));
    local.setQuery(url.query(QUrl::FullyEncoded), QUrl::StrictMode);
    local.setFragment(url.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
    return local;
}
