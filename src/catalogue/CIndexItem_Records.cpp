// The item's stored records: index.db records in a package, and the older records
// on an open index file.
#include "CIndexItem.h"

#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "IndexFileRecord.h"
#include "MacDates.h"
#include "LStream.h"
#include "MediaImageInfo.h"
#include "NativePaths.h"
#include "Offscreen.h"
#include "Picture.h"
#include "StWritingItem.h"
#include "UserData.h"

#include <QFile>
#include <QScopeGuard>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Copies into "media/" pick a free name rather than replace a file already
// stored there: two originals named alike must not overwrite each other.
constexpr SInt16 kCopyWithFreeName = 0;


// Runs a lazy getter for the writer: a part that cannot be made is written as
// absent, so an item whose medium is missing keeps its record.
template <typename F>
auto PartOrNull(F&& get) -> decltype(get())
{
    try {
        return get();
    } catch (const std::exception&) {
        return {}; // our codes, and a library's failure on one part never costs the record
    }
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
QByteArray CutUtf8(QByteArray text, int limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype end = limit;
    while (end > 0 && (UInt8(text[end]) & 0xC0) == 0x80)
        --end;
    text.truncate(end);
    return text;
}

// The remote URL's stored text: at most 255 bytes; a folder address gets the
// item's name appended.
QByteArray RemoteURLText(const QUrl& url, const QString& name)
{
    QByteArray text = CutUtf8(url.toEncoded(), kMaxRemoteURLBytes);
    if (text.endsWith('/'))
        text = CutUtf8(text + name.toUtf8(), kMaxRemoteURLBytes);
    return text;
}

// Names as stored: mostly ASCII, which Latin-1 reads alike and faster than UTF-8.
QString NameFromUtf8(const QByteArray& bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (UInt8(c) & 0x80) == 0; });
    return ascii ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
}

// File URLs are stored as their encoded bytes, a name that is not UTF-8 by its
// own bytes. Older indexes wrote the host as "localhost"; both forms read back as
// the same local file.
QUrl DecodeFileURL(const QByteArray& bytes)
{
    // A path that decodes to ASCII is UTF-8 as it is: most are, and telling the
    // others costs a decoded copy of the path.
    const auto hex = [](char c) { return std::isxdigit(uchar(c)) != 0; };
    bool ascii = true;
    bool plainPath = true; // no query, no fragment
    for (qsizetype i = 0; i < bytes.size() && ascii; ++i) {
        const char c = bytes[i];
        ascii = !(uchar(c) >= 0x80
            || (c == '%' && i + 2 < bytes.size() && hex(bytes[i + 1]) && hex(bytes[i + 2])
                && std::strchr("89abcdefABCDEF", bytes[i + 1])));
        plainPath = plainPath && c != '?' && c != '#';
    }
    // The usual stored form, "file:///" and such a path, sets only its path on a
    // copy of an empty file URL: parsing the whole address costs several times
    // that, read by the million. The path goes through the setter the parse
    // uses, so the URL is the same.
    const QByteArrayView kLocalPrefix("file:///");
    if (ascii && plainPath && bytes.startsWith(kLocalPrefix)) {
        static const QUrl kEmptyFileUrl = QUrl::fromEncoded(kLocalPrefix.toByteArray(), QUrl::TolerantMode);
        const QByteArrayView path = QByteArrayView(bytes).sliced(kLocalPrefix.size() - 1);
        QUrl url = kEmptyFileUrl;
        QString text = QString::fromLatin1(path);
        // Spaces are the usual escapes, and the URL keeps them decoded: done
        // here, the path is set as it is kept.
        const qsizetype escapes = path.count('%');
        if (escapes > 0 && escapes == path.count("%20"))
            text.replace(QLatin1String("%20"), QLatin1String(" "));
        url.setPath(text, QUrl::TolerantMode);
        // Other escapes decoded leave the path in a buffer with room to spare:
        // set again at its own size.
        if (escapes > 0 && text.contains(QLatin1Char('%'))) {
            const QString pretty = url.path(QUrl::PrettyDecoded);
            url.setPath(QString(pretty.constData(), pretty.size()), QUrl::TolerantMode);
        }
        return url;
    }
    QUrl url = QUrl::fromEncoded(bytes, QUrl::TolerantMode);
    if (url.scheme() == QLatin1String("file")
        && url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    if (!ascii)
        return UrlFromNativeFileUrl(url);
    // The parse leaves a path whose escapes it decoded in room for three times
    // its length, and a scheme of its own: set again, the path at its own size
    // and the scheme shared, as long as that is the same address.
    const QString path = url.path();
    QUrl compact = url;
    compact.setPath(QString(path.constData(), path.size()), QUrl::TolerantMode);
    if (const QString file = QStringLiteral("file"); compact.scheme() == file)
        compact.setScheme(file);
    return compact == url ? compact : url;
}

// Whether a stored file URL ("file://" or "file://localhost", then the path
// percent-encoded) names the path an alias holds, compared without decoding it
// into a copy: records are read by the million.
bool FileUrlNamesPath(QByteArrayView url, QByteArrayView path)
{
    if (!url.startsWith("file://") || path.isEmpty())
        return false;
    url = url.sliced(7);
    if (url.size() >= 9 && url.first(9).compare("localhost", Qt::CaseInsensitive) == 0)
        url = url.sliced(9);
    if (url.contains('?') || url.contains('#'))
        return false; // not a plain path: the URL is kept
    const auto digit = [](char h) { return h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10; };
    for (;;) {
        // Runs without escapes compare whole.
        const qsizetype escape = url.indexOf('%');
        const QByteArrayView plain = escape < 0 ? url : url.first(escape);
        if (!path.startsWith(plain))
            return false;
        url = url.sliced(plain.size());
        path = path.sliced(plain.size());
        if (url.isEmpty())
            return path.isEmpty();
        if (url.size() < 3 || !std::isxdigit(UInt8(url[1])) || !std::isxdigit(UInt8(url[2])) || path.isEmpty()
            || path[0] != char(digit(url[1]) << 4 | digit(url[2])))
            return false;
        url = url.sliced(3);
        path = path.sliced(1);
    }
}

// The image record in the older files lies in host order (little-endian):
// every field but the name and the last six bytes is swapped against index.db's
// big-endian form. Swapping twice gives the record back.
void SwapImageRecordFields(ImageRecordBytes& bytes)
{
    static constexpr struct {
        int offset;
        int size;
    } kFields[] = {{0, 2}, {66, 4}, {70, 2}, {72, 2}, {74, 4}, {78, 4}, {82, 2}, {84, 2}, {86, 2}, {88, 4}, {92, 4}};
    for (const auto& field : kFields)
        std::reverse(bytes.begin() + field.offset, bytes.begin() + field.offset + field.size);
}

ImageRecordBytes ImageInfoToBytes(const MediaImageInfo& info, bool hostOrder)
{
    const QByteArray bigEndian = info.ToBytes();
    ImageRecordBytes bytes {};
    std::memcpy(bytes.data(), bigEndian.constData(), kImageRecordSize);
    if (hostOrder)
        SwapImageRecordFields(bytes);
    return bytes;
}

std::unique_ptr<MediaImageInfo> ImageInfoFromBytes(ImageRecordBytes bytes, bool hostOrder)
{
    if (hostOrder)
        SwapImageRecordFields(bytes);
    auto info = std::make_unique<MediaImageInfo>();
    ThrowIfOSErr_(MediaImageInfo::FromBytes(QByteArray(reinterpret_cast<const char*>(bytes.data()), kImageRecordSize), *info));
    return info;
}

} // namespace

// index.db: reading.

CIndexItem::CIndexItem(LStream& stream, CIndexPackage* package)
{
    Init();
    ApplyIndexDbRecord(ReadIndexDbRecord(stream), package);
}

CIndexItem::CIndexItem(const IndexDbRecord& record, CIndexPackage* package)
{
    Init();
    ApplyIndexDbRecord(record, package);
}

CIndexItem::CIndexItem(
    const IndexDbRecord& record, CIndexPackage* package, UInt64 sequenceNumber, const StoredBlocksOnDisk& onDisk)
    : mSequenceNumber(sequenceNumber)
{
    Init();
    ApplyIndexDbRecord(record, package, onDisk);
}

void CIndexItem::ApplyIndexDbRecord(const IndexDbRecord& record, CIndexPackage* package, const StoredBlocksOnDisk& onDisk)
{
    // A part of the record that does not read is left out and named in the
    // item's error: the item keeps the rest, its name and its file above all.
    QStringList dropped;
    if (!record.dropped.isEmpty())
        dropped << QStringLiteral("image record (%1)").arg(record.dropped);
    std::optional<IndexDbRecord> kept; // the record without its damaged blocks, once one is
    const auto dropBlock = [&](std::optional<QByteArray> IndexDbRecord::*block, const QString& why) {
        if (!kept)
            kept = record;
        (*kept).*block = std::nullopt;
        dropped << why;
    };

    if (record.name)
        SetName(NameFromUtf8(*record.name));
    if (record.storedName) {
        const QString stored = NameFromUtf8(*record.storedName);
        // Media are only ever read from inside "media/".
        if (IsValidFileName(stored))
            SetStoredName(stored);
        else
            dropped << QStringLiteral("stored name (not one file name: %1)").arg(stored);
    }
    // With an alias the file is found through it: the URL is kept only where it
    // names another path than the alias (the file was found there after the alias
    // was made), for a path that still names the file keeps the item's link.
    const bool keepURL = record.fileURL
        && (!record.alias || !FileUrlNamesPath(*record.fileURL, AliasRecord::AbsolutePathIn(*record.alias)));
    if (keepURL) {
        const QUrl url = DecodeFileURL(*record.fileURL);
        if (url.isValid() && !url.isEmpty())
            SetURL(url);
        else
            dropped << QStringLiteral("file URL (does not parse)");
    }
    if (record.fields) {
        const CatalogueFields& f = *record.fields;
        mFileType = f.fileType;
        mTotalSize = f.totalSize;
        mDateAdded = f.dateAdded;
        mCreationDate = f.creationDate;
        mModificationDate = f.modificationDate;
        mThumbnailNumber = f.thumbnailNumber;
        mFlags = f.flags;
    } else {
        mDateAdded = GetDateTimeNow();
    }
    if (record.remoteURL)
        MakeRare().remoteURL = QUrl::fromEncoded(*record.remoteURL, QUrl::TolerantMode);
    // Most items are never asked for their alias, caption or image record: those
    // blocks are kept as read, the caption and user data checked now.
    if (record.caption) {
        try {
            CANPAInfo::CheckBlock(*record.caption);
        } catch (const ExceptionCode& e) {
            dropBlock(
                &IndexDbRecord::caption, QStringLiteral("caption block (%1)").arg(QString::fromStdString(e.Context())));
        }
    }
    if (record.userData) {
        // Checked now, parsed when asked for: most items' EXIF is never looked at.
        std::unique_ptr<UserData> userData;
        if (UserData::NewUserDataFromHandle(*record.userData, userData) != noErr)
            dropBlock(&IndexDbRecord::userData, QStringLiteral("user data block (its atoms' sizes do not hold)"));
    }
    mStored = StoredRecordBlocks::Make(kept ? *kept : record, onDisk);
    if (!dropped.isEmpty()) {
        const ExceptionCode damage(
            badFormat, "index.db record: left out as damaged: " + dropped.join("; ").toStdString());
        SetError(std::make_unique<CItemError>(damage, QString(), QStringLiteral("RECORD_PARTS_DROPPED")));
    }

    if (record.alias) {
        // The file is found through the alias when it is needed.
        mCaption.SetLookedFor(true);
        mUserData.SetLookedFor(true);
        mImageInfo.SetLookedFor(true);
        mRemoteURLLookedFor = mThumbnailLookedFor = true;
        mAliasRead = true;
        if (!keepURL)
            SetURL(QUrl());
    }
    mRecordLoaded = true;
    mPackage = package;
    mDirty = false;
    mRecordCurrent = true;
    FinishInit();
}

void CIndexItem::LoadStoredPart(LazyPart<CANPAInfo>& part)
{
    if (part || !mStored || !mStored->HasCaption())
        return;
    try {
        part.Set(std::make_unique<CANPAInfo>(mStored->CaptionBytes()));
    } catch (const ExceptionCode& e) {
        // The block stays, to be written back as it is.
        ThrowOSErr_(err_NilPointer, "caption block does not parse: " + e.Context());
    }
    DropStoredBlocks(true, false);
}

void CIndexItem::StoreCaptionBlock()
{
    const CANPAInfo* caption = mCaption.Get();
    if (!caption)
        return;
    const QByteArray block = caption->GetDataHandle();
    if (mStored) {
        mStored = mStored->WithCaption(block);
    } else {
        IndexDbRecord kept;
        kept.caption = block;
        mStored = StoredRecordBlocks::Make(kept);
    }
    mCaption.Reset();
}

void CIndexItem::LoadStoredPart(LazyPart<MediaImageInfo>& part)
{
    if (part || !mStored || !mStored->HasImageRecord())
        return;
    part.Set(ImageInfoFromBytes(mStored->ImageRecord(), false));
    DropStoredBlocks(false, true);
}

void CIndexItem::LoadStoredPart(LazyPart<UserData>& part)
{
    if (part || !mStored || !mStored->HasUserData())
        return;
    std::unique_ptr<UserData> userData;
    ThrowIfOSErr_(UserData::NewUserDataFromHandle(mStored->UserDataBytes(), userData));
    part.Set(std::move(userData));
    DropStoredBlocks(false, false, false, true);
}

void CIndexItem::KeepWrittenAlias(const IndexDbRecord& written)
{
    if (!mRare || !mRare->alias || !written.alias || *written.alias != *mRare->alias)
        return;
    // The alias made for the record joins the blocks kept as the record holds
    // them, in one allocation with them, as if the record had been read.
    if (mStored) {
        mStored = mStored->WithAlias(*written.alias);
    } else {
        IndexDbRecord kept;
        kept.alias = written.alias;
        mStored = StoredRecordBlocks::Make(kept);
    }
    mRare->alias.reset();
    const Rare& rare = *mRare.get();
    if (!rare.exif.Get() && !rare.exif.LookedFor() && !rare.displayPicture && !rare.thumbnail && !rare.error
        && rare.remoteURL.isEmpty() && rare.icon.isNull() && !rare.fileRef && !rare.infoWindow && !rare.rawKindText
        && rare.failedFileStamp.isEmpty() && !rare.indexFile && rare.recordOffset == -1 && rare.openInViewer == 0)
        mRare.reset();
}

void CIndexItem::MoveStoredBlocks(const StoredBlocksOnDisk& places, const IndexDbRecordPlaces& written)
{
    if (mStored)
        mStored->MoveToFile(places, written);
}

void CIndexItem::DropStoredBlocks(bool caption, bool imageRecord, bool alias, bool userData)
{
    if (!mStored)
        return;
    if (caption)
        mStored->DropCaption();
    if (imageRecord)
        mStored->DropImageRecord();
    if (alias)
        mStored->DropAlias();
    if (userData)
        mStored->DropUserData();
    if (mStored->IsEmpty())
        mStored.reset();
}

// index.db: writing.

void CIndexItem::WriteToStream(LStream& stream, CIndexPackage& package, const PremadeAlias* premade)
{
    const TLivePtr<CIndexItem> self(this);
    StWritingItem writing(mWriting, &mLiveness);
    const bool fromOtherPackage = mPackage && mPackage != &package;
    // The medium is made once for all parts, or its failure once for all.
    WriteMedium medium;
    mWriteMedium = &medium;
    const auto forgetMedium = qScopeGuard([&] {
        if (self)
            mWriteMedium = nullptr;
    });

    IndexDbRecord record;
    const QString name = GetName();
    if (name.isEmpty())
        ThrowOSErr_(err_NilPointer, "item without a name");
    record.name = CutUtf8(name.toUtf8(), kMaxNameBytes);

    if (fromOtherPackage || mThumbnailNumber < 1) {
        // The thumbnail can always be made again; the record is the user's work,
        // so an item that gets no thumbnail is written with number 0.
        try {
            WriteThumbnailFile(package); // may yield
        } catch (const std::exception&) { // our codes and any library's failure
            self.Checked("the item was deleted while its thumbnail was written");
            mThumbnailNumber = 0;
        }
    }

    // Where the media file is. A copy made into "media/" is taken back when the
    // record cannot be completed, so a failed write leaves the package as it was.
    const QString oldStoredName = GetStoredName();
    QUrl original;
    QUrl copy;
    try {
        if ((!package.IsStoreMediaFile() || mPackage) && !mStoredName) {
            // A new alias is made relative to this package; one held is written
            // as it is (from the record's block, without making it) while it
            // leads to where the file was found.
            CIndexPackage* itemPackage = mPackage;
            mPackage = &package;
            const auto restorePackage = qScopeGuard([&] {
                if (self)
                    mPackage = itemPackage;
            });
            // A file where the item's URL says is found by the look its new alias
            // takes at it (a first save makes a million of them); only a file
            // not there is looked for.
            const bool madeAlias = PartOrNull([&] { return MakeAliasOfURLFile(premade); });
            if (!madeAlias)
                mPackage = itemPackage;
            const QUrl url = madeAlias ? HeldURL() : LocateFile(false);
            mPackage = &package;
            medium.located = url;
            if (!url.isEmpty())
                record.fileURL = NativeFileUrlBytes(url);
            std::optional<QByteArray> held = CopyHeldAlias();
            if (held && url.isLocalFile()) {
                const FileRef found = FileRef::FromUrl(url);
                QByteArray renewed;
                if (AliasRecord::AbsolutePathIn(*held) != found.NativePath()
                    && NewAliasBytes(AliasBaseFile(), found, renewed) == noErr) {
                    HoldFoundAlias(renewed);
                    held = std::move(renewed);
                }
            }
            if (held) {
                record.alias = std::move(held);
            } else if (const QByteArray* alias = PartOrNull([&] { return GetAlias(); })) {
                record.alias = *alias;
            }
        } else if (!fromOtherPackage && mStoredName) {
            record.storedName = mStoredName->toUtf8();
        } else {
            original = GetURL();
            ThrowIfOSErr_(CopyURLToFolder(original, package.GetMediaURL(), kCopyWithFreeName, &copy));
            const QString stored = FileRef::FromUrl(copy).Name();
            if (stored.isEmpty() || package.StoredMediaURL(stored).isEmpty())
                ThrowOSErr_(err_NilPointer, "copy without a file name");
            SetStoredName(stored);
            SetURL(copy);
            record.storedName = stored.toUtf8();
            if (record.storedName->size() > kMaxNameBytes)
                ThrowOSErr_(paramErr, "stored name longer than 255 bytes");
        }

        record.fields = CatalogueFields {GetFileTypeCode(), GetTotalSize(), GetDateAdded(), GetCreationDate(),
            GetModificationDate(), mThumbnailNumber, GetFlags()};

        const QUrl remote = GetRemoteURL();
        if (!remote.isEmpty())
            record.remoteURL = RemoteURLText(remote, name);
        // Blocks never parsed go back byte for byte.
        if (mStored && mStored->HasUserData())
            record.userData = mStored->UserDataBytes();
        else if (UserData* userData = PartOrNull([&] { return GetUserData(); }))
            record.userData = userData->ToHandle();
        if (mStored && mStored->HasCaption())
            record.caption = mStored->CaptionBytes();
        else if (CANPAInfo* caption = PartOrNull([&] { return GetCaptionInfo(); }))
            record.caption = caption->GetDataHandle();
        if (mStored && mStored->HasImageRecord())
            record.imageRecord = mStored->ImageRecord();
        else if (MediaImageInfo* info = PartOrNull([&] { return GetImageInfo(); }))
            record.imageRecord = ImageInfoToBytes(*info, false);

        // The whole record goes to the stream at once: a failure above leaves
        // nothing of it there.
        WriteIndexDbRecord(stream, record);
    } catch (...) {
        if (!copy.isEmpty()) {
            QFile::remove(FileRef::FromUrl(copy).Path());
            if (self) {
                SetStoredName(oldStoredName);
                SetURL(original); // where the file was copied from
            }
        }
        throw;
    }

    mDirty = false;
    mPackage = &package;
    mRecordCurrent = true;
    KeepWrittenAlias(record);
    // Only now are both the copy and the record written. A copy taken from
    // another package's "media/" leaves that package's file alone: its own
    // index still refers to it.
    if (!copy.isEmpty() && package.IsRemoveMediaFile() && !(fromOtherPackage && !oldStoredName.isEmpty()))
        package.AddFileToRemove(original);
}

// Older records on an open index file.

void CIndexItem::ReadRecord(LStream& indexFile)
{
    const IndexFileRecord record = ReadIndexFileRecord(indexFile);
    ApplyIndexFileRecord(record);
}

void CIndexItem::ApplyIndexFileRecord(const IndexFileRecord& record)
{
    if (record.hasCatalogue) {
        if (mName.isEmpty())
            SetNameFromPString(record.catalogue.name);
        mFileType = record.catalogue.fileType;
        mTotalSize = record.catalogue.totalSize;
        mDateAdded = record.catalogue.dateAdded;
        mCreationDate = record.catalogue.creationDate;
        mModificationDate = record.catalogue.modificationDate;
    }
    if (record.thumbnail)
        MakeRare().thumbnail = std::make_unique<Picture>(*record.thumbnail);
    if (record.alias) {
        QByteArray alias = *record.alias;
        FileRef target;
        FileRef indexFileRef;
        const FileRef* base = nullptr;
        if (auto* file = dynamic_cast<LFileStream*>(IndexFile())) {
            indexFileRef = FileRef(file->Path());
            base = &indexFileRef;
        }
        ThrowIfOSErr_(ResolveAliasHandle(&alias, &target, true, base));
        ForgetAlias();
        MakeRare().alias = std::move(alias);
        SetURL(target.ToUrl());
    }
    if (record.remoteURL)
        MakeRare().remoteURL = QUrl::fromEncoded(*record.remoteURL, QUrl::TolerantMode);
    if (record.caption)
        mCaption.Set(std::make_unique<CANPAInfo>(*record.caption));
    if (record.imageRecord)
        mImageInfo.Set(ImageInfoFromBytes(*record.imageRecord, true));
    if (record.userData) {
        std::unique_ptr<UserData> userData;
        ThrowIfOSErr_(UserData::NewUserDataFromHandle(*record.userData, userData));
        mUserData.Set(std::move(userData));
    }
    if (record.hasFlags)
        SetFlags(record.flags);

    mCaption.SetLookedFor(true);
    mUserData.SetLookedFor(true);
    mImageInfo.SetLookedFor(true);
    mRemoteURLLookedFor = mThumbnailLookedFor = true;
    mRecordLoaded = true;
    mDirty = false;
}

void CIndexItem::WriteRecord(LStream& indexFile, SInt32 offset)
{
    const TLivePtr<CIndexItem> self(this);
    StWritingItem writing(mWriting, &mLiveness);
    IndexFileRecord record;
    record.catalogue.name.Assign(GetNamePString()); // cut to 63 bytes
    record.catalogue.fileType = GetFileTypeCode();
    record.catalogue.totalSize = GetTotalSize();
    record.catalogue.dateAdded = GetDateAdded();
    record.catalogue.creationDate = GetCreationDate();
    record.catalogue.modificationDate = GetModificationDate();
    if (Picture* thumbnail = PartOrNull([&] { return GetThumbnail(); }))
        record.thumbnail = thumbnail->Data();
    if (const QByteArray* alias = PartOrNull([&] { return GetAlias(); })) {
        QByteArray bytes = *alias;
        // Relative to the index file when it has a path; a failed update keeps
        // the alias as it stands.
        if (auto* file = dynamic_cast<LFileStream*>(&indexFile)) {
            FileRef base(file->Path());
            FileRef target;
            bool changed = false;
            if (ResolveAliasBytes(&base, bytes, target, changed) == noErr) {
                AliasRecord updated;
                if (AliasRecord::FromBytes(bytes, updated) == noErr
                    && UpdateAlias(&base, target, updated, changed) == noErr) {
                    QByteArray out;
                    if (updated.ToBytes(out) == noErr)
                        bytes = out;
                }
            }
        }
        record.alias = bytes;
    }
    const QUrl remote = GetRemoteURL();
    if (!remote.isEmpty())
        record.remoteURL = RemoteURLText(remote, GetName());
    if (UserData* userData = PartOrNull([&] { return GetUserData(); }))
        record.userData = userData->ToHandle();
    if (CANPAInfo* caption = PartOrNull([&] { return GetCaptionInfo(); }))
        record.caption = caption->GetDataHandle();
    record.flags = GetFlags();
    if (MediaImageInfo* info = PartOrNull([&] { return GetImageInfo(); }))
        record.imageRecord = ImageInfoToBytes(*info, true);

    WriteIndexFileRecord(indexFile, record);
    mDirty = false;
    MakeRare().indexFile = &indexFile;
    mRare->recordOffset = offset;
    mRecordLoaded = true;
    Purge();
}
