#include "FontFile.h"

#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "MacRoman.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QRawFont>
#include <QtEndian>

#include <sys/xattr.h>

#include <map>

namespace {

constexpr qint64 kMaxFontFileSize = 256 * 1024 * 1024;
constexpr int kResourceHeaderSize = 16;
constexpr int kResourceMapHeaderSize = 28;
constexpr int kResourceTypeEntrySize = 8;
constexpr int kResourceRefEntrySize = 12;
constexpr UInt32 kAppleDoubleMagic = 0x00051607;
constexpr UInt32 kAppleDoubleResourceFork = 2;
constexpr OSType kOutlineResource = 'sfnt';
constexpr OSType kFamilyResource = 'FOND';
constexpr const char* kResourceAttributePrefix = "user.orvex.rsrc.";

// sfnt version tags: TrueType (two spellings), CFF OpenType, and collections.
constexpr UInt32 kTrueTypeVersion = 0x00010000;
constexpr OSType kAppleTrueTypeVersion = 'true';
constexpr OSType kOpenTypeCFFVersion = 'OTTO';
constexpr OSType kCollectionTag = 'ttcf';

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

bool IsOutlineFont(const QByteArray& bytes)
{
    if (bytes.size() < 12)
        return false;
    const UInt32 tag = Read32(bytes, 0);
    return tag == kTrueTypeVersion || tag == kAppleTrueTypeVersion || tag == kOpenTypeCFFVersion || tag == kCollectionTag;
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        ThrowOSErr_(fnfErr, path.toStdString());
    if (!file.open(QIODevice::ReadOnly))
        ThrowOSErr_(permErr, path.toStdString());
    if (file.size() > kMaxFontFileSize)
        ThrowOSErr_(err_AssertFailed, "font file larger than any font");
    return file.readAll();
}

// The resource fork stored in an AppleDouble file ("._name") beside the font, if any.
QByteArray AppleDoubleResourceFork(const QString& path)
{
    const QFileInfo info(path);
    QFile file(info.dir().filePath(QStringLiteral("._") + info.fileName()));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFontFileSize)
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 26 || Read32(bytes, 0) != kAppleDoubleMagic)
        return {};
    const int entries = Read16(bytes, 24);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = 26 + qint64(i) * 12;
        if (entry + 12 > bytes.size())
            break;
        const qint64 offset = Read32(bytes, entry + 4);
        const qint64 length = Read32(bytes, entry + 8);
        if (Read32(bytes, entry) == kAppleDoubleResourceFork && offset + length <= bytes.size())
            return bytes.mid(offset, length);
    }
    return {};
}

// Resources kept as extended attributes "user.orvex.rsrc.TYPE.ID" (no names there).
std::vector<FontResource> AttributeResources(const QString& path)
{
    std::vector<FontResource> resources;
    const QByteArray name = QFile::encodeName(path);
    const ssize_t listSize = listxattr(name.constData(), nullptr, 0);
    if (listSize <= 0)
        return resources;
    QByteArray list(listSize, '\0');
    const ssize_t got = listxattr(name.constData(), list.data(), list.size());
    if (got <= 0)
        return resources;
    for (const QByteArray& attribute : list.left(got).split('\0')) {
        if (!attribute.startsWith(kResourceAttributePrefix))
            continue;
        const QByteArray rest = attribute.mid(int(strlen(kResourceAttributePrefix)));
        const int dot = rest.lastIndexOf('.');
        OSType type = 0;
        bool numeric = false;
        const int id = rest.mid(dot + 1).toInt(&numeric);
        if (dot != 4 || !numeric || !FourCharCodeFromString(QString::fromLatin1(rest.left(4)), type))
            continue;
        if (type != kOutlineResource && type != kFamilyResource)
            continue;
        const ssize_t size = getxattr(name.constData(), attribute.constData(), nullptr, 0);
        if (size < 0 || size > kMaxFontFileSize)
            continue;
        QByteArray data(size, '\0');
        if (getxattr(name.constData(), attribute.constData(), data.data(), data.size()) != size)
            continue;
        resources.push_back({ type, SInt16(id), QString(), data });
    }
    return resources;
}

QString FamilyOfOutlines(const QByteArray& outlines)
{
    const QRawFont raw(outlines, 12);
    if (!raw.isValid())
        ThrowOSErr_(badFormat, "outlines FreeType cannot read");
    return raw.familyName();
}

struct Activation {
    int count = 0;
    std::vector<int> fontIds;
};

std::map<QString, Activation>& Activations()
{
    static std::map<QString, Activation> activations;
    return activations;
}

QString ActivationKey(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

} // namespace

std::vector<FontResource> ParseResourceFork(const QByteArray& fork)
{
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

    std::vector<FontResource> resources;
    const int typeCount = (Read16(fork, typeList) + 1) & 0xFFFF; // stored as count - 1
    for (int t = 0; t < typeCount; ++t) {
        const qint64 entry = typeList + 2 + qint64(t) * kResourceTypeEntrySize;
        if (entry + kResourceTypeEntrySize > mapEnd)
            ThrowBadMap("type entry beyond the map");
        const OSType type = Read32(fork, entry);
        const int refCount = Read16(fork, entry + 4) + 1;
        const qint64 refList = typeList + Read16(fork, entry + 6);
        for (int r = 0; r < refCount; ++r) {
            const qint64 ref = refList + qint64(r) * kResourceRefEntrySize;
            if (ref + kResourceRefEntrySize > mapEnd)
                ThrowBadMap("reference beyond the map");
            FontResource resource;
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
            resource.data = fork.mid(data + 4, length);
            resources.push_back(std::move(resource));
        }
    }
    return resources;
}

std::unique_ptr<FontFile> FontFile::Open(const QString& path)
{
    std::unique_ptr<FontFile> font(new FontFile);
    font->mPath = path;
    const QByteArray bytes = ReadFileBytes(path);
    if (IsOutlineFont(bytes)) {
        font->mOutlines.push_back(bytes);
        font->mFamilyName = font->mOutlineFamily = FamilyOfOutlines(bytes);
        return font;
    }

    std::vector<FontResource> resources;
    bool haveMap = false;
    for (const QByteArray& fork : { bytes, AppleDoubleResourceFork(path) }) {
        if (haveMap || fork.isEmpty())
            continue;
        try {
            resources = ParseResourceFork(fork);
            haveMap = true;
        } catch (const ExceptionCode&) {
            // not a resource map: try the next place one may be
        }
    }
    if (!haveMap) {
        resources = AttributeResources(path);
        haveMap = !resources.empty();
    }
    if (!haveMap)
        ThrowOSErr_(err_AssertFailed, "neither an outline font nor a resource map");

    font->mSuitcase = true;
    const FontResource* family = nullptr;
    for (const FontResource& resource : resources) {
        if (resource.type == kOutlineResource && IsOutlineFont(resource.data))
            font->mOutlines.push_back(resource.data);
        else if (resource.type == kFamilyResource && !family)
            family = &resource;
    }
    if (!family || font->mOutlines.empty())
        ThrowOSErr_(resNotFound, !family ? "no 'FOND' resource" : "no 'sfnt' resource");
    font->mOutlineFamily = FamilyOfOutlines(font->mOutlines.front());
    font->mFamilyName = family->name.isEmpty() ? font->mOutlineFamily : family->name;
    return font;
}

bool IsFontFamilyKnown(const QString& family)
{
    // hasFamily also finds families listed once per foundry ("Nimbus Sans [urw]").
    return !family.isEmpty() && QFontDatabase::hasFamily(family);
}

OSStatus ActivateFontFile(const QString& path)
{
    if (path.isEmpty())
        return paramErr;
    return CatchCode([&] {
        const QString key = ActivationKey(path);
        auto found = Activations().find(key);
        if (found != Activations().end()) {
            ++found->second.count;
            return;
        }
        const auto font = FontFile::Open(path);
        Activation activation;
        bool familyAdded = false;
        for (const QByteArray& outlines : font->Outlines()) {
            const int id = QFontDatabase::addApplicationFontFromData(outlines);
            if (id < 0)
                continue;
            activation.fontIds.push_back(id);
            familyAdded |= QFontDatabase::applicationFontFamilies(id).contains(font->OutlineFamily(), Qt::CaseInsensitive);
        }
        if (!familyAdded || !IsFontFamilyKnown(font->OutlineFamily())) {
            for (int id : activation.fontIds)
                QFontDatabase::removeApplicationFont(id);
            ThrowOSErr_(-1, "activation did not make the family known");
        }
        activation.count = 1;
        Activations().emplace(key, std::move(activation));
    });
}

OSStatus DeactivateFontFile(const QString& path)
{
    if (path.isEmpty())
        return paramErr;
    auto found = Activations().find(ActivationKey(path));
    if (found == Activations().end())
        return fnfErr;
    if (--found->second.count == 0) {
        for (int id : found->second.fontIds)
            QFontDatabase::removeApplicationFont(id);
        Activations().erase(found);
    }
    return noErr;
}

bool IsFontFileActivated(const QString& path)
{
    return Activations().count(ActivationKey(path)) != 0;
}
