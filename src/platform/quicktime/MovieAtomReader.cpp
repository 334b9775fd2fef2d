#include "MovieAtomReader.h"

#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "MacRoman.h"

#include <QFile>
#include <QtEndian>

#include <cstring>
#include <functional>

namespace {

constexpr OSType kMovieAtom = 'moov';
constexpr OSType kMovieHeaderAtom = 'mvhd';
constexpr OSType kUserDataAtom = 'udta';
constexpr OSType kMetaAtom = 'meta';
constexpr OSType kMetaKeysAtom = 'keys';
constexpr OSType kMetaItemListAtom = 'ilst';
constexpr OSType kMetaDataAtom = 'data';
constexpr OSType kMetaKeyNamespace = 'mdta';
constexpr UInt32 kMetaDataTypeUTF8 = 1;
constexpr UInt16 kLanguageUndetermined = 0x55C4; // "und" packed as three 5-bit letters
constexpr UInt16 kFirstPackedLanguage = 0x400;   // below this, a Mac language code (Mac text)
constexpr qint64 kMaxMovieAtomSize = 256 * 1024 * 1024;

UInt32 BigEndian32(const char* p)
{
    return qFromBigEndian<quint32>(p);
}

UInt16 BigEndian16(const char* p)
{
    return qFromBigEndian<quint16>(p);
}

UInt64 BigEndian64(const char* p)
{
    return qFromBigEndian<quint64>(p);
}

QByteArray TextEntry(const QByteArray& bytes, UInt16 language)
{
    const QByteArray text = bytes.left(0xFFFF);
    QByteArray entry;
    entry.append(char(text.size() >> 8)).append(char(text.size() & 0xFF));
    entry.append(char(language >> 8)).append(char(language & 0xFF));
    return entry + text;
}

[[noreturn]] void ThrowBadAtom(OSType type, const char* what)
{
    ThrowOSErr_(invalidMovie, "atom '" + FourCharCodeToString(type) + "': " + what);
}

struct AtomHeader {
    OSType type = 0;
    qint64 headerSize = 0;
    qint64 size = 0; // header included
};

// Reads the atom header at `p`; `available` is what remains of the parent from `p` on.
AtomHeader ReadAtomHeader(const char* headerBytes, qint64 headerBytesAvailable, qint64 available)
{
    if (available < 8 || headerBytesAvailable < 8)
        ThrowOSErr_(invalidMovie, "atom header cut short");
    AtomHeader header;
    header.type = BigEndian32(headerBytes + 4);
    const UInt32 size32 = BigEndian32(headerBytes);
    header.headerSize = 8;
    if (size32 == 1) {
        if (available < 16 || headerBytesAvailable < 16)
            ThrowBadAtom(header.type, "64-bit size cut short");
        const UInt64 size64 = BigEndian64(headerBytes + 8);
        if (size64 > UInt64(available))
            ThrowBadAtom(header.type, "size beyond its container");
        header.headerSize = 16;
        header.size = qint64(size64);
    } else if (size32 == 0) {
        header.size = available; // runs to the end of its container
    } else {
        header.size = size32;
    }
    if (header.size < header.headerSize)
        ThrowBadAtom(header.type, "size smaller than its header");
    if (header.size > available)
        ThrowBadAtom(header.type, "size beyond its container");
    return header;
}

// Calls `visit` for each child atom of [begin, end) with the child's contents.
void ForEachAtom(const char* begin, const char* end,
    const std::function<void(OSType, const char*, const char*)>& visit, bool zeroTerminated = false)
{
    const char* p = begin;
    while (end - p >= 8) {
        if (zeroTerminated && BigEndian32(p) == 0)
            return; // a 32-bit zero ends a user data list
        const AtomHeader header = ReadAtomHeader(p, end - p, end - p);
        visit(header.type, p + header.headerSize, p + header.size);
        p += header.size;
    }
    // Up to three trailing bytes are padding some writers leave; more is not an atom.
}

QString TextFromMetaData(const char* begin, const char* end)
{
    QString text;
    ForEachAtom(begin, end, [&](OSType type, const char* b, const char* e) {
        if (type != kMetaDataAtom || !text.isNull() || e - b < 8)
            return;
        if ((BigEndian32(b) & 0x00FFFFFF) != kMetaDataTypeUTF8)
            return;
        text = QString::fromUtf8(b + 8, int(e - b - 8));
    });
    return text;
}

// The 'meta' atom: a full atom in MP4 files (version and flags first), a plain one in
// QuickTime files. iTunes items are keyed by their ©-type; QuickTime items by the index of
// a name in the 'keys' atom.
void ParseMetaAtom(const char* begin, const char* end, std::vector<MovieUserDataItem>& items)
{
    if (end - begin >= 4 && BigEndian32(begin) == 0)
        begin += 4;
    std::vector<QByteArray> keys;
    const char* listBegin = nullptr;
    const char* listEnd = nullptr;
    ForEachAtom(begin, end, [&](OSType type, const char* b, const char* e) {
        if (type == kMetaItemListAtom) {
            listBegin = b;
            listEnd = e;
        } else if (type == kMetaKeysAtom && e - b >= 8) {
            const UInt32 count = BigEndian32(b + 4);
            const char* p = b + 8;
            for (UInt32 i = 0; i < count && e - p >= 8; ++i) {
                const UInt32 size = BigEndian32(p);
                if (size < 8 || size > UInt64(e - p))
                    ThrowBadAtom(kMetaKeysAtom, "key size beyond its container");
                keys.push_back(BigEndian32(p + 4) == kMetaKeyNamespace ? QByteArray(p + 8, int(size - 8)) : QByteArray());
                p += size;
            }
        }
    });
    if (!listBegin)
        return;
    ForEachAtom(listBegin, listEnd, [&](OSType type, const char* b, const char* e) {
        OSType itemType = 0;
        if ((type >> 24) == 0xA9) {
            itemType = type;
        } else if (type >= 1 && type <= keys.size()) {
            QByteArray key = keys[type - 1].toLower();
            const QByteArray applePrefix = "com.apple.quicktime.";
            if (key.startsWith(applePrefix))
                itemType = UserDataTypeForTagKey(key.mid(applePrefix.size()));
        }
        if (!itemType)
            return;
        const QString text = TextFromMetaData(b, e);
        if (!text.isNull())
            items.push_back({ itemType, MakeUserDataTextPayload(text) });
    });
}

void ParseMovieHeader(const char* b, const char* e, MovieHeaderAtoms& out)
{
    // Version 0 and 1 differ in the widths of the times before the time scale and duration.
    if (e - b < 4)
        ThrowBadAtom(kMovieHeaderAtom, "too short");
    const bool version1 = static_cast<unsigned char>(*b) == 1;
    const qint64 need = version1 ? 96 : 84;
    if (e - b < need)
        ThrowBadAtom(kMovieHeaderAtom, "too short");
    if (version1) {
        out.timeScale = BigEndian32(b + 20);
        out.duration = BigEndian64(b + 24);
        out.posterTime = BigEndian32(b + 92);
    } else {
        out.timeScale = BigEndian32(b + 12);
        out.duration = BigEndian32(b + 16);
        out.posterTime = BigEndian32(b + 80);
    }
    out.foundMovieHeader = true;
}

void ParseMovieAtom(const char* begin, const char* end, MovieHeaderAtoms& out)
{
    ForEachAtom(begin, end, [&](OSType type, const char* b, const char* e) {
        if (type == kMovieHeaderAtom)
            ParseMovieHeader(b, e, out);
        else if (type == kUserDataAtom) {
            auto items = ParseUserDataAtoms(b, e);
            out.userData.insert(out.userData.end(), items.begin(), items.end());
        } else if (type == kMetaAtom)
            ParseMetaAtom(b, e, out.userData);
    });
}

// Walks the top-level atoms through `readAt` (offset, count) and parses the first 'moov'.
MovieHeaderAtoms WalkTopLevel(qint64 fileSize, const std::function<QByteArray(qint64, qint64)>& readAt)
{
    qint64 offset = 0;
    int atomsSeen = 0;
    while (fileSize - offset >= 8) {
        const QByteArray head = readAt(offset, std::min<qint64>(16, fileSize - offset));
        const AtomHeader header = ReadAtomHeader(head.constData(), head.size(), fileSize - offset);
        if (header.type == kMovieAtom) {
            const qint64 contentSize = header.size - header.headerSize;
            if (contentSize > kMaxMovieAtomSize)
                ThrowBadAtom(kMovieAtom, "larger than any movie header");
            const QByteArray contents = readAt(offset + header.headerSize, contentSize);
            if (contents.size() != contentSize)
                ThrowOSErr_(eofErr, "movie atom cut short");
            MovieHeaderAtoms out;
            ParseMovieAtom(contents.constData(), contents.constData() + contents.size(), out);
            return out;
        }
        // Anything before the first atoms that does not look like one ends the walk early.
        if (++atomsSeen > 100000)
            break;
        offset += header.size;
    }
    ThrowOSErr_(invalidMovie, "no movie atom");
}

} // namespace

std::vector<MovieUserDataItem> ParseUserDataAtoms(const char* begin, const char* end)
{
    std::vector<MovieUserDataItem> items;
    ForEachAtom(
        begin, end,
        [&](OSType type, const char* b, const char* e) {
            if (type == kMetaAtom)
                ParseMetaAtom(b, e, items);
            else if ((type >> 24) == 0xA9)
                items.push_back({ type, WithMacTextEntry(QByteArray(b, int(e - b))) });
            else
                items.push_back({ type, QByteArray(b, int(e - b)) });
        },
        true);
    return items;
}

QByteArray WithMacTextEntry(const QByteArray& payload)
{
    qsizetype at = 0;
    while (payload.size() - at >= 4) {
        const UInt16 length = BigEndian16(payload.constData() + at);
        if (length > payload.size() - at - 4)
            return payload; // not international text: kept as it is
        if (BigEndian16(payload.constData() + at + 2) < kFirstPackedLanguage)
            return payload;
        at += 4 + length;
    }
    const QString text = UserDataTextFromPayload(payload);
    return text.isNull() ? payload : TextEntry(MacRoman::Encode(text), 0) + payload;
}

MovieHeaderAtoms ParseMovieHeaderAtoms(const QByteArray& fileBytes)
{
    return WalkTopLevel(fileBytes.size(), [&](qint64 offset, qint64 count) { return fileBytes.mid(offset, count); });
}

MovieHeaderAtoms ReadMovieHeaderAtoms(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ThrowOSErr_(file.exists() ? OSStatus(permErr) : OSStatus(fnfErr), path.toStdString());
    return WalkTopLevel(file.size(), [&](qint64 offset, qint64 count) {
        if (!file.seek(offset))
            ThrowOSErr_(ioErr);
        return file.read(count);
    });
}

QByteArray MakeUserDataTextPayload(const QString& text)
{
    // Readers ask for language 0 (Mac Roman); a text Mac Roman cannot hold keeps its
    // full form in a second, UTF-8 entry.
    QByteArray payload = TextEntry(MacRoman::Encode(text), 0);
    if (!MacRoman::CanEncode(text))
        payload += TextEntry(text.toUtf8(), kLanguageUndetermined);
    return payload;
}

QString UserDataTextFromPayload(const QByteArray& payload)
{
    QString macText;
    bool found = false;
    qsizetype at = 0;
    while (payload.size() - at >= 4) {
        const UInt16 length = BigEndian16(payload.constData() + at);
        const UInt16 language = BigEndian16(payload.constData() + at + 2);
        if (length > payload.size() - at - 4)
            return QString();
        const QByteArray bytes = payload.mid(at + 4, length);
        at += 4 + length;
        if (language >= kFirstPackedLanguage) {
            if (bytes.startsWith("\xFE\xFF"))
                return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
            return QString::fromUtf8(bytes);
        }
        if (!found) {
            macText = MacRoman::Decode(bytes);
            found = true;
        }
    }
    return found ? macText : QString();
}

OSType UserDataTypeForTagKey(const QByteArray& key)
{
    struct Entry {
        const char* key;
        const char* type; // the three letters after ©
    };
    static constexpr Entry kTable[] = {
        { "title", "nam" }, { "artist", "ART" }, { "album", "alb" }, { "album_artist", "ART" },
        { "date", "day" }, { "creation_time", "day" }, { "creationdate", "day" }, { "year", "day" },
        { "comment", "cmt" }, { "author", "aut" }, { "copyright", "cpy" }, { "description", "des" },
        { "genre", "gen" }, { "composer", "com" }, { "encoder", "swr" }, { "software", "swr" },
        { "encoded_by", "enc" }, { "performer", "prf" }, { "producer", "prd" }, { "director", "dir" },
        { "location", "xyz" }, { "location.iso6709", "xyz" }, { "make", "mak" }, { "model", "mod" },
        { "info", "inf" }, { "keywords", "key" }, { "disclaimer", "dis" }, { "warning", "wrn" },
        { "host_computer", "hst" }, { "track", "trk" },
    };
    const QByteArray lower = key.toLower();
    for (const Entry& entry : kTable) {
        if (lower == entry.key) {
            const auto* t = reinterpret_cast<const unsigned char*>(entry.type);
            return (OSType(0xA9) << 24) | (OSType(t[0]) << 16) | (OSType(t[1]) << 8) | OSType(t[2]);
        }
    }
    return 0;
}
