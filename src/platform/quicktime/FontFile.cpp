#include "FontFile.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QRawFont>
#include <QtEndian>

#include <map>

namespace {

constexpr qint64 kMaxFontFileSize = 256 * 1024 * 1024;
constexpr OSType kOutlineResource = 'sfnt';
constexpr OSType kFamilyResource = 'FOND';

// sfnt version tags: TrueType (two spellings), CFF OpenType, and collections.
constexpr UInt32 kTrueTypeVersion = 0x00010000;
constexpr OSType kAppleTrueTypeVersion = 'true';
constexpr OSType kOpenTypeCFFVersion = 'OTTO';
constexpr OSType kCollectionTag = 'ttcf';

UInt32 Read32(const QByteArray& bytes, qint64 offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
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
        ThrowOSErr_(codecBadDataErr, path.toStdString() + ": font file larger than any font");
    return file.readAll();
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
    for (const QByteArray& fork : { bytes, ReadAppleDoubleResourceFork(path, kMaxFontFileSize) }) {
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
        resources = ReadAttributeResources(path, kMaxFontFileSize);
        std::erase_if(resources, [](const FontResource& r) { return r.type != kOutlineResource && r.type != kFamilyResource; });
        haveMap = !resources.empty();
    }
    if (!haveMap)
        ThrowOSErr_(codecBadDataErr, path.toStdString() + ": neither an outline font nor a resource map");

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
            ThrowOSErr_(codecBadDataErr, "activation did not make the family known");
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
