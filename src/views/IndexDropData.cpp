#include "IndexDropData.h"

#include <QFile>
#include <QMimeData>
#include <QStringDecoder>

namespace IndexDropData {

namespace {

// A text that is one address and nothing more (a dropped selection of prose is not).
QUrl AddressInText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('\n')) || trimmed.contains(QLatin1Char(' ')))
        return {};
    const QUrl url(trimmed, QUrl::StrictMode);
    return IsDownloadableURL(url) ? url : QUrl();
}

QList<QUrl> MozURLs(const QByteArray& bytes)
{
    // UTF-16 in the sender's byte order; a byte-order mark says which when present.
    QStringDecoder decoder(QStringDecoder::Utf16);
    const QString text = decoder.decode(bytes);
    QList<QUrl> urls;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); i += 2) { // address, then its title
        const QUrl url(lines[i].trimmed(), QUrl::StrictMode);
        if (url.isValid() && !url.isRelative())
            urls << url;
    }
    return urls;
}

// The value of "URL" (also "URL[$e]", a desktop entry's expandable form) in the group.
QUrl ShortcutURL(const QByteArray& bytes, QLatin1StringView group, bool needsLinkType)
{
    bool inGroup = false;
    bool isLink = false;
    QUrl url;
    for (QByteArray line : bytes.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == QByteArray("[") + QByteArray(group.data(), group.size()) + ']';
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inGroup || equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Type")
            isLink = value == "Link";
        else if (key == "URL" || key == "URL[$e]")
            url = QUrl(QString::fromUtf8(value), QUrl::StrictMode);
    }
    if (needsLinkType && !isLink)
        return {};
    return IsDownloadableURL(url) ? url : QUrl();
}

} // namespace

QList<QUrl> DroppedURLs(const QMimeData& data)
{
    if (data.hasUrls())
        return data.urls();
    if (data.hasFormat(kMozUrlType)) {
        QList<QUrl> urls = MozURLs(data.data(kMozUrlType));
        if (!urls.isEmpty())
            return urls;
    }
    if (data.hasText()) {
        const QUrl url = AddressInText(data.text());
        if (!url.isEmpty())
            return {url};
    }
    return {};
}

bool IsDownloadableURL(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("ftp") || scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool IsInternetShortcutName(const QString& path)
{
    return path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".url"), Qt::CaseInsensitive);
}

QUrl ReadInternetShortcut(const QString& path)
{
    if (!IsInternetShortcutName(path))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(kMaxShortcutBytes);
    if (path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        return ShortcutURL(bytes, QLatin1StringView("Desktop Entry"), true);
    return ShortcutURL(bytes, QLatin1StringView("InternetShortcut"), false);
}

} // namespace IndexDropData
