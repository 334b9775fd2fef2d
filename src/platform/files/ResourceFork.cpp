#include "ResourceFork.h"

#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "MacRoman.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <QtEndian>

#include <sys/xattr.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kResourceHeaderSize = 16;
constexpr int kResourceMapHeaderSize = 28;
constexpr int kResourceTypeEntrySize = 8;
constexpr int kResourceRefEntrySize = 12;
constexpr UInt32 kAppleDoubleMagic = 0x00051607;
constexpr int kAppleDoubleHeaderSize = 26; // magic, version, filler, entry count
constexpr int kAppleDoubleEntrySize = 12; // ID, offset, length
constexpr UInt32 kAppleDoubleResourceFork = 2;
// The old platform kept resource forks under 16 MB; an AppleDouble file may hold a little more.
constexpr qint64 kMaxAppleDoubleSize = 17 * 1024 * 1024;

UInt32 Read32(const QByteArray& bytes, qint64 offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
}

UInt16 Read16(const QByteArray& bytes, qint64 offset)
{
    return qFromBigEndian<quint16>(bytes.constData() + offset);
}

[[noreturn]] void ThrowBadMap(const char* what)
{
    ThrowOSErr_(badFormat, std::string("resource map: ") + what);
}

// The type of an attribute's name part: four characters, "%XX" standing for one byte.
bool TypeFromAttributeName(const QByteArray& text, OSType& out)
{
    OSType type = 0;
    int count = 0;
    for (int i = 0; i < text.size(); ++i) {
        UInt8 c = UInt8(text[i]);
        if (c == '%') {
            bool ok = false;
            c = UInt8(text.mid(i + 1, 2).toUInt(&ok, 16));
            if (!ok || i + 2 >= text.size())
                return false;
            i += 2;
        }
        type = (type << 8) | c;
        ++count;
    }
    out = type;
    return count == 4;
}

} // namespace

std::vector<ResourceEntry> ParseResourceFork(const QByteArray& fork)
{
    std::map<qint64, QByteArray> dataAt;
    const qint64 size = fork.size();
    if (size < kResourceHeaderSize)
        ThrowBadMap("shorter than its header");
    const qint64 dataOffset = Read32(fork, 0);
    const qint64 mapOffset = Read32(fork, 4);
    const qint64 dataLength = Read32(fork, 8);
    const qint64 mapLength = Read32(fork, 12);
    if (dataOffset + dataLength > size || mapOffset + mapLength > size || mapLength < kResourceMapHeaderSize)
        ThrowBadMap("data or map beyond the fork");
    const qint64 mapEnd = mapOffset + mapLength;
    const qint64 typeList = mapOffset + Read16(fork, mapOffset + 24);
    const qint64 nameList = mapOffset + Read16(fork, mapOffset + 26);
    if (typeList + 2 > mapEnd || nameList > mapEnd)
        ThrowBadMap("type or name list beyond the map");

    // Each type's reference list has bytes of its own: lists that overlap would let a
    // small map name billions of entries (65,536 types all naming one list of 65,536).
    const int typeCount = (Read16(fork, typeList) + 1) & 0xFFFF; // stored as count - 1
    std::vector<std::pair<qint64, qint64>> refLists; // [start, end) of each type's list
    for (int t = 0; t < typeCount; ++t) {
        const qint64 entry = typeList + 2 + qint64(t) * kResourceTypeEntrySize;
        if (entry + kResourceTypeEntrySize > mapEnd)
            ThrowBadMap("type entry beyond the map");
        const qint64 refList = typeList + Read16(fork, entry + 6);
        refLists.emplace_back(refList, refList + qint64(Read16(fork, entry + 4) + 1) * kResourceRefEntrySize);
    }
    std::sort(refLists.begin(), refLists.end());
    for (std::size_t i = 1; i < refLists.size(); ++i) {
        if (refLists[i].first < refLists[i - 1].second)
            ThrowBadMap("reference lists overlap");
    }

    std::vector<ResourceEntry> resources;
    for (int t = 0; t < typeCount; ++t) {
        const qint64 entry = typeList + 2 + qint64(t) * kResourceTypeEntrySize;
        const OSType type = Read32(fork, entry);
        const int refCount = Read16(fork, entry + 4) + 1;
        const qint64 refList = typeList + Read16(fork, entry + 6);
        for (int r = 0; r < refCount; ++r) {
            const qint64 ref = refList + qint64(r) * kResourceRefEntrySize;
            if (ref + kResourceRefEntrySize > mapEnd)
                ThrowBadMap("reference beyond the map");
            ResourceEntry resource;
            resource.type = type;
            resource.id = SInt16(Read16(fork, ref));
            const UInt16 nameOffset = Read16(fork, ref + 2);
            if (nameOffset != 0xFFFF) {
                const qint64 name = nameList + nameOffset;
                if (name + 1 > mapEnd || name + 1 + (unsigned char)fork[name] > mapEnd)
                    ThrowBadMap("name beyond the map");
                resource.name = MacRoman::Decode(fork.mid(name + 1, (unsigned char)fork[name]));
            }
            const qint64 data = dataOffset + (Read32(fork, ref + 4) & 0x00FFFFFF);
            if (data + 4 > dataOffset + dataLength)
                ThrowBadMap("resource data beyond the data area");
            const qint64 length = Read32(fork, data);
            if (length > dataOffset + dataLength - data - 4)
                ThrowBadMap("resource length beyond the data area");
            // Entries that point at the same data share one copy of it: a map
            // that names one large resource many times costs its size once.
            auto [shared, added] = dataAt.try_emplace(data);
            if (added)
                shared->second = fork.mid(data + 4, length);
            resource.data = shared->second;
            resources.push_back(std::move(resource));
        }
    }
    return resources;
}

QByteArray ReadAppleDoubleResourceFork(const QString& path, qint64 maxSize)
{
    const QFileInfo info(path);
    QFile file(info.dir().filePath(QStringLiteral("._") + info.fileName()));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxSize)
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < kAppleDoubleHeaderSize || Read32(bytes, 0) != kAppleDoubleMagic)
        return {};
    const int entries = Read16(bytes, 24);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = kAppleDoubleHeaderSize + qint64(i) * kAppleDoubleEntrySize;
        if (entry + kAppleDoubleEntrySize > bytes.size())
            break;
        const qint64 offset = Read32(bytes, entry + 4);
        const qint64 length = Read32(bytes, entry + 8);
        if (Read32(bytes, entry) == kAppleDoubleResourceFork && offset + length <= bytes.size())
            return bytes.mid(offset, length);
    }
    return {};
}

std::vector<ResourceEntry> ReadAttributeResources(const QString& path, qint64 maxSize)
{
    std::vector<ResourceEntry> resources;
    const QByteArray name = QFile::encodeName(path);
    const ssize_t listSize = llistxattr(name.constData(), nullptr, 0);
    if (listSize <= 0)
        return resources;
    QByteArray list(listSize, '\0');
    const ssize_t got = llistxattr(name.constData(), list.data(), list.size());
    if (got <= 0)
        return resources;
    const qsizetype prefixLength = qsizetype(std::strlen(kResourceAttributePrefix));
    for (const QByteArray& attribute : list.left(got).split('\0')) {
        if (!attribute.startsWith(kResourceAttributePrefix))
            continue;
        const QByteArray rest = attribute.mid(prefixLength);
        const qsizetype dot = rest.lastIndexOf('.');
        OSType type = 0;
        bool numeric = false;
        const int id = rest.mid(dot + 1).toInt(&numeric);
        if (dot < 4 || !numeric || id < -32768 || id > 32767 || !TypeFromAttributeName(rest.left(dot), type))
            continue;
        const ssize_t size = lgetxattr(name.constData(), attribute.constData(), nullptr, 0);
        if (size < 0 || size > maxSize)
            continue;
        QByteArray data(size, '\0');
        if (lgetxattr(name.constData(), attribute.constData(), data.data(), data.size()) != size)
            continue;
        resources.push_back({ type, SInt16(id), QString(), data });
    }
    return resources;
}

std::vector<ResourceEntry> ReadFileResources(const QString& path, OSType type, qint64 maxSize)
{
    auto ofType = [type](std::vector<ResourceEntry> all) {
        std::erase_if(all, [type](const ResourceEntry& r) { return r.type != type; });
        std::sort(all.begin(), all.end(), [](const ResourceEntry& a, const ResourceEntry& b) { return a.id < b.id; });
        return all;
    };
    std::vector<ResourceEntry> found = ofType(ReadAttributeResources(path, maxSize));
    if (!found.empty())
        return found;
    const QByteArray fork = ReadAppleDoubleResourceFork(path, std::max(maxSize, kMaxAppleDoubleSize));
    if (fork.isEmpty())
        return {};
    try {
        found = ofType(ParseResourceFork(fork));
    } catch (const ExceptionCode&) {
        return {}; // a damaged map holds nothing we can trust
    }
    std::erase_if(found, [maxSize](const ResourceEntry& r) { return r.data.size() > maxSize; });
    return found;
}
