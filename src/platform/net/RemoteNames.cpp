#include "RemoteNames.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace Net {

namespace {

// The longest prefix of `text` whose UTF-8 form has at most `bytes` bytes.
QString CutToBytes(const QString& text, int bytes)
{
    if (text.toUtf8().size() <= bytes)
        return text;
    QString cut;
    int used = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString piece = text.mid(i, length);
        const int size = int(piece.toUtf8().size());
        if (used + size > bytes)
            break;
        cut += piece;
        used += size;
        i += length;
    }
    return cut;
}

QList<QByteArray> SplitLines(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text.at(i) == '\r' || text.at(i) == '\n') {
            if (i > start)
                lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

bool IsListedName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/'));
}

} // namespace

QString LastPathComponent(const QUrl& url)
{
    // Split before decoding: an encoded "/" belongs to the name.
    QString path = url.path(QUrl::FullyEncoded);
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString component = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return CutToBytes(QUrl::fromPercentEncoding(component.toUtf8()), kMaxNameBytes);
}

QString SafeLocalName(const QString& name)
{
    QString safe;
    safe.reserve(name.size());
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            continue;
        safe += c == QLatin1Char('/') ? QLatin1Char('-') : c;
    }
    if (safe.trimmed().isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
        return QStringLiteral("download");
    return CutToBytes(safe, kMaxNameBytes);
}

QString NumberedName(const QString& name, int counter)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QString suffix = QStringLiteral(" %1").arg(counter) + extension;
    return CutToBytes(base, kMaxNameBytes - int(suffix.toUtf8().size())) + suffix;
}

QUrl WithoutPassword(const QUrl& url)
{
    QUrl bare = url;
    bare.setPassword(QString());
    return bare;
}

QUrl ChildURL(const QUrl& folder, const QString& name)
{
    QUrl child = folder;
    QByteArray path = folder.path(QUrl::FullyEncoded).toUtf8();
    if (!path.endsWith('/'))
        path += '/';
    child.setPath(QString::fromUtf8(path + QUrl::toPercentEncoding(name)), QUrl::TolerantMode);
    return child;
}

std::vector<RemoteEntry> ParseMLSDListing(const QByteArray& listing)
{
    std::vector<RemoteEntry> entries;
    for (const QByteArray& line : SplitLines(listing)) {
        // Facts, then one blank, then the name (which may hold blanks and ';').
        const qsizetype blank = line.indexOf(' ');
        if (blank < 0)
            continue;
        const QString name = QString::fromUtf8(line.mid(blank + 1));
        QString type;
        for (const QByteArray& fact : line.left(blank).split(';')) {
            if (fact.toLower().startsWith("type="))
                type = QString::fromUtf8(fact.mid(5)).toLower();
        }
        if ((type != QLatin1String("file") && type != QLatin1String("dir")) || !IsListedName(name))
            continue;
        entries.push_back({name, type == QLatin1String("dir")});
    }
    return entries;
}

std::vector<RemoteEntry> ParseLISTListing(const QByteArray& listing)
{
    // mode, links, owner, group, size, month, day, time or year, then the name.
    static const QRegularExpression kLine(
        QStringLiteral(R"(^([-d])\S*\s+\d+\s+\S+\s+\S+\s+\d+\s+\S+\s+\S+\s+\S+ (.+)$)"));
    std::vector<RemoteEntry> entries;
    for (const QByteArray& line : SplitLines(listing)) {
        const QRegularExpressionMatch match = kLine.match(QString::fromUtf8(line));
        if (!match.hasMatch() || !IsListedName(match.captured(2)))
            continue;
        entries.push_back({match.captured(2), match.captured(1) == QLatin1String("d")});
    }
    return entries;
}

std::vector<QUrl> FileLinksOfIndexPage(const QByteArray& html, const QUrl& page)
{
    static const QRegularExpression kHref(
        QStringLiteral(R"re(href\s*=\s*(?:"([^"]*)"|'([^']*)'))re"), QRegularExpression::CaseInsensitiveOption);
    QString folderPath = page.path(QUrl::FullyEncoded);
    folderPath = folderPath.left(folderPath.lastIndexOf(QLatin1Char('/')) + 1);
    std::vector<QUrl> links;
    QSet<QString> seen;
    auto matches = kHref.globalMatch(QString::fromUtf8(html));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        QString href = match.captured(1).isNull() ? match.captured(2) : match.captured(1);
        href.replace(QLatin1String("&amp;"), QLatin1String("&"));
        const QUrl link = page.resolved(QUrl(href, QUrl::TolerantMode)).adjusted(QUrl::RemoveFragment);
        if (link.scheme() != page.scheme() || link.host() != page.host() || link.port() != page.port()
            || link.hasQuery())
            continue;
        const QString path = link.path(QUrl::FullyEncoded);
        if (!path.startsWith(folderPath))
            continue;
        const QString rest = path.mid(folderPath.size());
        if (rest.isEmpty() || rest.contains(QLatin1Char('/')) || !IsListedName(LastPathComponent(link)))
            continue;
        if (seen.contains(path))
            continue;
        seen.insert(path);
        QUrl withUser = link;
        withUser.setUserName(page.userName());
        withUser.setPassword(page.password());
        links.push_back(withUser);
    }
    return links;
}

} // namespace Net
