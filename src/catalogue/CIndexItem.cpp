#include "CIndexItem.h"

#include "PrefKeys.h"

#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "CMedia.h"
#include "CatalogueRoutines.h"
#include "DesktopEvents.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "FileTypes.h"
#include "IndexViewServices.h"
#include "ItemArena.h"
#include "ItemThumbnails.h"
#include "ItemWindowServices.h"
#include "LDataBrowser.h"
#include "MacDates.h"
#include "MediaFactory.h"
#include "MediaImageInfo.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "RectUtilities.h"
#include "ResourceUtilities.h"
#include "ThumbnailFile.h"
#include "UserData.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <type_traits>
#include <vector>

namespace {

constexpr OSType kUnloadedCode = '****';
constexpr OSType kIconFileType = 'icns';
constexpr int kMaxDisplayPictureSide = 600;

// The folder the user last chose to locate a missing file, for the program's run.
QUrl gLocateFolder;

UInt32 ModificationSeconds1904(const FileStat& stat)
{
    return UInt32(stat.modificationSeconds + kSecondsFrom1904To1970);
}

} // namespace

// The window services the views install.

namespace {
ItemWindowServices* gItemWindowServices = nullptr;
} // namespace

void SetItemWindowServices(ItemWindowServices* services)
{
    gItemWindowServices = services;
}

ItemWindowServices* GetItemWindowServices()
{
    return gItemWindowServices;
}

// Flag word and media transform.

UInt32 FlagsForEXIFOrientation(SInt32 orientation)
{
    switch (orientation) {
    case 2:
        return kItemFlagFlipHorizontal;
    case 3:
        return kItemFlagRotate180;
    case 4:
        return kItemFlagFlipVertical;
    case 5:
        return kItemFlagRotate90CW | kItemFlagFlipHorizontal;
    case 6:
        return kItemFlagRotate90CW;
    case 7:
        return kItemFlagRotate90CCW | kItemFlagFlipHorizontal;
    case 8:
        return kItemFlagRotate90CCW;
    default:
        return 0;
    }
}

void GetMediaTransformForFlags(UInt32 flags, SInt32& outRotation, SInt32& outFlip)
{
    outRotation = 0;
    if (flags & kItemFlagRotate90CW)
        outRotation = 2;
    else if (flags & kItemFlagRotate90CCW)
        outRotation = 1;
    else if (flags & kItemFlagRotate180)
        outRotation = 3;

    outFlip = 0;
    if (flags & kItemFlagFlipHorizontal)
        outFlip = (flags & kItemFlagFlipVertical) ? 3 : 1;
    else if (flags & kItemFlagFlipVertical)
        outFlip = 2;
}

// Construction.

CIndexItem::CIndexItem(const FileRef& file)
{
    Init();
    mDateAdded = GetDateTimeNow();
    InitFromFile(file);
    MakeRare().fileRef = std::make_unique<FileRef>(file);
    SetName(file.Name());
    if (mFileType == 'TIFF') // a camera raw file may carry the TIFF type
        mFileType = GetMediaFileType(file.ToUrl());
    FinishInit();
}

CIndexItem::CIndexItem(const QUrl& url)
{
    Init();
    mDateAdded = GetDateTimeNow();
    mURL = url;
    const QString name = QFileInfo(url.path()).fileName();
    if (name.isEmpty())
        ThrowOSErr_(err_NilPointer, "URL without a last path component");
    SetName(name);
    if (url.isLocalFile()) {
        FileRef file;
        ThrowIfNot_(GetFSSpecFromURL(url, file) == noErr, "file URL without a file");
        InitFromFile(file);
        if (mFileType == kUnknownFileType || mFileType == 'TEXT')
            mFileType = GetMediaFileType(url);
    }
    FinishInit();
}

void CIndexItem::InitFromFile(const FileRef& file)
{
    FileStat stat;
    ThrowIfOSErr_(file.Stat(stat));
    OSType type = 0;
    OSType creator = 0;
    ThrowIfOSErr_(GetFileTypeAndCreatorOf(file, type, creator));
    mFileType = type;
    mCreator = creator;
    // Sizes keep the low 32 bits of each fork, as the stored field does.
    mTotalSize = UInt32(UInt64(stat.size)) + UInt32(UInt64(ResourceForkSize(file)));
    mModificationDate = ModificationSeconds1904(stat);
    UInt32 created = 0;
    mCreationDate = ReadCreationDate(file, created) == noErr ? created : mModificationDate;
}

OSStatus CIndexItem::TakeFileFacts(const FileRef& file)
{
    const OSStatus status = CatchCode([&] { InitFromFile(file); });
    if (status != noErr)
        return status;
    if (mFileType == kUnknownFileType || mFileType == 'TEXT')
        mFileType = GetMediaFileType(file.ToUrl());
    MarkDirty();
    return noErr;
}

CIndexItem::CIndexItem(const CIndexItem& other)
    : LBroadcaster()
    , LDataBrowserItem()
    , ACachedMediaHolder()
{
    Init();
    CIndexItem& source = const_cast<CIndexItem&>(other);
    // The copy carries every part in memory, free of the source's package.
    mName = source.GetName();
    mFlags = source.GetFlags();
    mFileType = source.GetFileTypeCode();
    mCreator = source.GetCreatorCode();
    mTotalSize = source.GetTotalSize();
    mDateAdded = source.GetDateAdded();
    mCreationDate = source.GetCreationDate();
    mModificationDate = source.GetModificationDate();
    mURL = source.GetURL();
    Rare& rare = MakeRare();
    if (const Rare* sourceRare = source.PeekRare(); sourceRare && sourceRare->fileRef)
        rare.fileRef = std::make_unique<FileRef>(*sourceRare->fileRef);
    // A remote item has no alias to copy.
    CatchCode([&] {
        if (const QByteArray* alias = source.GetAlias())
            rare.alias = *alias;
    });
    rare.remoteURL = source.GetRemoteURL();
    // A part the source cannot give (its file unreadable, no preview in it) is left
    // for the copy to look for itself; the copy is made all the same, and the
    // source keeps the error it had.
    StItemErrorSaver<CIndexItem> keepError(&source);
    auto copyPart = [](auto getter, auto keep) {
        bool read = false;
        CatchCode([&] {
            if (auto* part = getter())
                keep(*part);
            read = true;
        });
        return read;
    };
    mCaption.SetLookedFor(copyPart([&] { return source.GetCaptionInfo(); },
        [&](const CANPAInfo& part) { mCaption.Set(std::make_unique<CANPAInfo>(part)); }));
    mUserData.SetLookedFor(copyPart([&] { return source.GetUserData(); },
        [&](const UserData& part) { mUserData.Set(std::make_unique<UserData>(part)); }));
    mImageInfo.SetLookedFor(copyPart([&] { return source.GetImageInfo(); },
        [&](const MediaImageInfo& part) { mImageInfo.Set(std::make_unique<MediaImageInfo>(part)); }));
    mThumbnailLookedFor = copyPart([&] { return source.GetThumbnail(); },
        [&](const Picture& part) { rare.thumbnail = std::make_unique<Picture>(part); });
    mRemoteURLLookedFor = true;
    mSmallMedium = source.mSmallMedium;
    mAliasRead = source.mAliasRead;
    mDirty = true;
    FinishInit();
}

namespace {

ItemArena& ItemsArena()
{
    static ItemArena* const arena = new ItemArena(sizeof(CIndexItem));
    return *arena;
}

} // namespace

void* CIndexItem::operator new(std::size_t size)
{
    // A subclass of another size takes the ordinary allocator.
    return ItemArena::kInUse && size == sizeof(CIndexItem) ? ItemsArena().Allocate(size) : ::operator new(size);
}

void CIndexItem::operator delete(void* object, std::size_t size)
{
    if (ItemArena::kInUse && size == sizeof(CIndexItem))
        ItemArena::Free(object);
    else
        ::operator delete(object);
}

CIndexItem::~CIndexItem()
{
    RemoveFromPurgeList(this);
}

void CIndexItem::Init()
{
    StopBroadcasting();
    mFileType = kUnloadedCode;
    mCreator = kUnloadedCode;
    mThumbnailNumber = 0;
}

const QString& CIndexItem::GetStoredName() const
{
    static const QString none;
    return mStoredName ? *mStoredName : none;
}

void CIndexItem::SetStoredName(const QString& name)
{
    mRecordCurrent = false;
    if (name.isEmpty())
        mStoredName.reset();
    else
        mStoredName = std::make_unique<QString>(name);
}

CIndexItem::Rare::Rare() = default;
CIndexItem::Rare::~Rare() = default;

const CItemError* CIndexItem::RareSlot::Error() const
{
    if (mBits & kErrorAlone)
        return reinterpret_cast<const CItemError*>(mBits & ~kErrorAlone);
    return mBits ? get()->error.data() : nullptr;
}

void CIndexItem::RareSlot::SetError(CItemErrorRef error)
{
    if (Rare* rare = get()) {
        rare->error = std::move(error);
        return;
    }
    reset();
    if (error)
        mBits = reinterpret_cast<uintptr_t>(error.take()) | kErrorAlone;
}

CIndexItem::Rare& CIndexItem::RareSlot::Make()
{
    if (Rare* rare = get())
        return *rare;
    auto rare = std::make_unique<Rare>();
    if (mBits & kErrorAlone)
        rare->error = CItemErrorRef(Error(), QAdoptSharedDataTag());
    mBits = reinterpret_cast<uintptr_t>(rare.release());
    return *get();
}

void CIndexItem::RareSlot::reset()
{
    if (mBits & kErrorAlone)
        CItemErrorRef released(Error(), QAdoptSharedDataTag());
    else
        delete get();
    mBits = 0;
}

const QByteArray* CIndexItem::HeldAlias()
{
    if (mRare && mRare->alias)
        return &*mRare->alias;
    if (!mStored || !mStored->HasAlias())
        return nullptr;
    Rare& rare = MakeRare();
    rare.alias = mStored->AliasBytes();
    DropStoredBlocks(false, false, true);
    return &*rare.alias;
}

std::optional<QByteArray> CIndexItem::CopyHeldAlias() const
{
    if (mRare && mRare->alias)
        return mRare->alias;
    if (mStored && mStored->HasAlias())
        return mStored->AliasBytes();
    return std::nullopt;
}

bool CIndexItem::HasHeldAlias() const
{
    return (mRare && mRare->alias) || (mStored && mStored->HasAlias());
}

void CIndexItem::ForgetAlias()
{
    if (mURLAtAliasPath) {
        mURL = HeldURL();
        mURLAtAliasPath = false;
    }
    if (mRare)
        mRare->alias.reset();
    DropStoredBlocks(false, false, true);
}

void CIndexItem::HoldFoundAlias(QByteArray alias)
{
    ForgetAlias();
    Rare& rare = MakeRare();
    rare.alias = std::move(alias);
    mRecordCurrent = false;
}

void CIndexItem::SetIcon(const QIcon& icon)
{
    if (icon.isNull() && !mRare) {
        mIconMade = false;
        return;
    }
    MakeRare().icon = icon;
    mIconMade = !icon.isNull();
}

void CIndexItem::FinishInit()
{
    // Fonts have no caption, thumbnail or user data of their own.
    if (!IsInIndexFile() && IsFontMediaType(mFileType)) {
        mCaption.SetLookedFor(true);
        mUserData.SetLookedFor(true);
        mThumbnailLookedFor = true;
    }
    StartBroadcasting();
}

template <typename F>
void CIndexItem::KeepingDirty(F&& make)
{
    // Making a part may ask the user for the file, and other tasks may delete
    // the item meanwhile.
    const TLivePtr<CIndexItem> self(this);
    const bool wasDirty = mDirty;
    try {
        make();
    } catch (...) {
        if (self)
            mDirty = wasDirty;
        throw;
    }
    mDirty = wasDirty;
}

namespace {

int gDrawingDepth = 0;
int gNeverAskDepth = 0;

// Parts asked for while items drew, read once the drawing is over.
struct DeferredPartRead {
    TLivePtr<CIndexItem> item;
    void (*read)(CIndexItem&);
};
std::vector<DeferredPartRead> gDeferredReads;

void RunDeferredPartReads()
{
    std::vector<DeferredPartRead> batch;
    batch.swap(gDeferredReads);
    for (const DeferredPartRead& entry : batch) {
        if (CIndexItem* item = entry.item.Get())
            CatchCode([&] { entry.read(*item); }); // a part that cannot be read is looked for once, as ever
    }
    // The items still there draw again with what was read, once each, in every
    // index showing them.
    std::vector<CIndexItem*> items;
    for (const DeferredPartRead& entry : batch) {
        CIndexItem* item = entry.item.Get();
        if (item && std::find(items.begin(), items.end(), item) == items.end())
            items.push_back(item);
    }
    const std::vector<CIndexModel*> models = CIndexModel::OpenModels();
    for (CIndexModel* model : models) {
        for (CIndexItem* item : items) {
            if (model->GetIndexOfItem(item))
                model->ItemRedrawn(item, 0);
        }
    }
}

template <typename T>
void ReadPart(CIndexItem& item)
{
    if constexpr (std::is_same_v<T, CANPAInfo>)
        item.GetCaptionInfo();
    else if constexpr (std::is_same_v<T, UserData>)
        item.GetUserData();
    else if constexpr (std::is_same_v<T, CEXIFInfo>)
        item.GetEXIFInfo();
    else
        item.GetImageInfo();
}

} // namespace

StDrawingItems::StDrawingItems()
{
    ++gDrawingDepth;
}

StDrawingItems::~StDrawingItems()
{
    --gDrawingDepth;
}

bool StDrawingItems::Active()
{
    return gDrawingDepth > 0;
}

StNeverAskForFiles::StNeverAskForFiles()
{
    ++gNeverAskDepth;
}

StNeverAskForFiles::~StNeverAskForFiles()
{
    --gNeverAskDepth;
}

bool StNeverAskForFiles::Active()
{
    return gNeverAskDepth > 0 || StDrawingItems::Active();
}

template <typename T, typename F>
T* CIndexItem::GetLazyPart(LazyPart<T>& part, F&& make)
{
    return part.Get(
        [&] {
            LoadRecord();
            LoadStoredPart(part);
        },
        [&] {
            // A part read from the item's file (a library parsing whatever the file
            // holds) is never read while a cell draws: it comes after, and the view redraws.
            if (StDrawingItems::Active()) {
                part.SetLookedFor(false);
                ReadPartAfterDrawing(&ReadPart<T>);
                return;
            }
            KeepingDirty(std::forward<F>(make));
        });
}

void CIndexItem::ReadPartAfterDrawing(void (*read)(CIndexItem&))
{
    for (const DeferredPartRead& entry : gDeferredReads) {
        if (entry.item.Get() == this && entry.read == read)
            return;
    }
    if (gDeferredReads.empty())
        QTimer::singleShot(0, qApp, &RunDeferredPartReads);
    gDeferredReads.push_back({TLivePtr<CIndexItem>(this), read});
}

// Setters.

void CIndexItem::SetName(const QString& name)
{
    if (name == mName && name.isNull() == mName.isNull())
        return;
    mName = name;
    MarkDirty();
}

void CIndexItem::SetNameFromPString(ConstStr255Param name)
{
    SetName(PStringToQString(name));
}

void CIndexItem::SetURL(const QUrl& url)
{
    mURLLookedFor = false;
    if (url == HeldURL())
        return;
    mRecordCurrent = false; // the record's file URL is where the file was found
    // A file where its alias says is found through the alias again: the URL is
    // not kept twice.
    mURLAtAliasPath = IsAliasPathURL(url);
    mURL = mURLAtAliasPath ? QUrl() : url;
}

bool CIndexItem::IsAliasPathURL(const QUrl& url) const
{
    // Only a URL the file gives back exactly.
    const FileRef file = url.isLocalFile() && HasHeldAlias() ? FileRef::FromUrl(url) : FileRef();
    return file.IsValid() && IsAliasPathFile(file) && file.ToUrl() == url;
}

bool CIndexItem::IsAliasPathFile(const FileRef& file) const
{
    const QByteArrayView aliasPath = HeldAliasPath();
    return !aliasPath.isEmpty() && file.NativePath() == aliasPath
        && FileRef::FromNativePath(aliasPath.toByteArray()) == file;
}

QUrl CIndexItem::HeldURL() const
{
    if (!mURLAtAliasPath)
        return mURL;
    return FileRef::FromNativePath(HeldAliasPath().toByteArray()).ToUrl();
}

QByteArrayView CIndexItem::HeldAliasPath() const
{
    return AliasRecord::AbsolutePathIn(HeldAliasBytes());
}

QByteArrayView CIndexItem::HeldAliasBytes() const
{
    if (mRare && mRare->alias)
        return *mRare->alias;
    if (mStored && mStored->HasAlias())
        return mStored->Alias();
    return {};
}

void CIndexItem::SetAlias(std::optional<QByteArray> alias)
{
    mThumbnailFailed = false;
    const bool hasAlias = alias.has_value();
    ForgetAlias();
    if (hasAlias || mRare)
        MakeRare().alias = std::move(alias);
    if (hasAlias)
        SetURL(QUrl()); // resolved again from the alias when needed
    MarkDirty();
}

void CIndexItem::SetRemoteURL(const QUrl& url)
{
    if (!url.isEmpty() || mRare)
        MakeRare().remoteURL = url;
    MarkDirty();
}

void CIndexItem::SetCaptionInfo(std::unique_ptr<CANPAInfo> caption)
{
    if (!mCaption.Replace(std::move(caption)))
        return;
    DropStoredBlocks(true, false);
    MarkDirty();
}

void CIndexItem::SetUserData(std::unique_ptr<UserData> userData)
{
    if (!mUserData.Replace(std::move(userData)))
        return;
    DropStoredBlocks(false, false, false, true);
    MarkDirty();
}

void CIndexItem::SetImageInfo(std::unique_ptr<MediaImageInfo> info)
{
    if (!mImageInfo.Replace(std::move(info)))
        return;
    DropStoredBlocks(false, true);
    mImageInfo.SetLookedFor(false);
    MarkDirty();
}

void CIndexItem::SetEXIFInfo(std::unique_ptr<CEXIFInfo> exif)
{
    if (!exif && !mRare)
        return;
    LazyPart<CEXIFInfo>& part = MakeRare().exif;
    if (!part.Replace(std::move(exif)))
        return;
    if (!part)
        part.SetLookedFor(false);
    else if (Pref::TransformUsingEXIF.Get() && !IsRawFile())
        ApplyOrientationFlags(part->GetOrientation());
    MarkDirty();
}

void CIndexItem::SetThumbnail(std::unique_ptr<Picture> thumbnail)
{
    const bool isNew = thumbnail != nullptr;
    SetThumbnailQuietly(std::move(thumbnail));
    if (isNew)
        mThumbnailNumber = ThumbnailNumberAfterNewPicture(mThumbnailNumber);
    MarkDirty();
}

void CIndexItem::SetThumbnailQuietly(std::unique_ptr<Picture> thumbnail)
{
    if (thumbnail || mRare)
        MakeRare().thumbnail = std::move(thumbnail);
    mDisplayPictureChanged = true;
    mThumbnailLookedFor = false;
    mThumbnailFailed = false;
}

void CIndexItem::SetDisplayPicture(std::unique_ptr<Offscreen> picture)
{
    if (picture && picture.get() == HeldDisplayPicture())
        return;
    if (picture || mRare)
        MakeRare().displayPicture = std::move(picture);
    mDisplayPictureChanged = true;
    mDisplayPictureFromFile = false;
    RemoveFromPurgeList(this);
}

void CIndexItem::SetFlags(UInt32 flags)
{
    if (flags == mFlags)
        return;
    mFlags = flags;
    MarkDirty();
    BroadcastMessage(msg_ItemFlagsChanged, this);
}

void CIndexItem::DropCachedMedia()
{
    SetDisplayPicture(nullptr);
}

void CIndexItem::SetError(CItemErrorRef error)
{
    mRare.SetError(std::move(error));
}

CItemErrorRef CIndexItem::TakeError()
{
    CItemErrorRef taken(GetError());
    mRare.SetError({});
    return taken;
}

void CIndexItem::SetInfoWindow(ItemInfoWindow* window)
{
    // The window tells the item it is going away by handing over -1.
    if (window == kInfoWindowClosing) {
        if (mRare)
            (void)mRare->infoWindow.release();
        return;
    }
    if (window == GetInfoWindow())
        return;
    if (window || mRare)
        MakeRare().infoWindow.reset(window);
}

void CIndexItem::SetOpenInViewer(SInt32 open)
{
    if (open == (mRare ? mRare->openInViewer : 0))
        return;
    MakeRare().openInViewer = open;
    try {
        Update(kOpenInViewerProperty);
    } catch (const ExceptionCode&) {
        // the row is redrawn later anyway
    }
}

void CIndexItem::SetDateAdded(UInt32 seconds)
{
    mDateAdded = seconds;
    MarkDirty();
}

void CIndexItem::SetCreationDate(UInt32 seconds, bool writeToFile)
{
    mCreationDate = seconds;
    MarkDirty();
    if (writeToFile) // the file routine counts in local time
        ThrowIfOSErr_(SetFileCreationDate(GetURL(), DateTimeToMacSeconds(MacSecondsToDateTimeUTC(seconds))));
}

void CIndexItem::SetModificationDate(UInt32 seconds, bool writeToFile)
{
    mModificationDate = seconds;
    MarkDirty();
    if (writeToFile)
        ThrowIfOSErr_(SetFileModificationDate(GetURL(), DateTimeToMacSeconds(MacSecondsToDateTimeUTC(seconds))));
}

void CIndexItem::SetCreatorCode(OSType creator, bool writeToFile)
{
    mCreator = creator;
    MarkDirty();
    if (writeToFile) {
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
        ThrowIfOSErr_(ChangeCreatorAndType(file, creator, 0));
    }
}

void CIndexItem::SetFileTypeCode(OSType type, bool writeToFile)
{
    mFileType = type;
    MarkDirty();
    if (writeToFile) {
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
        ThrowIfOSErr_(ChangeCreatorAndType(file, 0, type));
    }
}

void CIndexItem::SetTotalSize(UInt32 size)
{
    mTotalSize = size;
    MarkDirty();
}

void CIndexItem::SetBusy(bool busy)
{
    if (busy)
        ++mBusyCount;
    else if (mBusyCount > 0)
        --mBusyCount;
}

// Getters.

QString CIndexItem::GetName()
{
    if (mName.isNull())
        LoadRecord();
    return mName;
}

Str255 CIndexItem::GetNamePString()
{
    return MakePString<255>(GetName());
}

UInt32 CIndexItem::LoadedField(const UInt32& field)
{
    // A field still 0 may only not have been read from the stored record yet.
    if (field == 0)
        LoadRecord();
    return field;
}

UInt32 CIndexItem::GetFlags()
{
    return LoadedField(mFlags);
}

UInt32 CIndexItem::GetTotalSize()
{
    return LoadedField(mTotalSize);
}

UInt32 CIndexItem::GetDateAdded()
{
    return LoadedField(mDateAdded);
}

UInt32 CIndexItem::GetCreationDate()
{
    return LoadedField(mCreationDate);
}

UInt32 CIndexItem::GetModificationDate()
{
    return LoadedField(mModificationDate);
}

bool CIndexItem::IsRawFile()
{
    if (mName.isNull())
        LoadRecord();
    return IsRawExtension(mName);
}

OSType CIndexItem::GetFileTypeCode()
{
    if (IsRawFile())
        return 'RAW ';
    if (mFileType != 0 && mFileType != kUnloadedCode)
        return mFileType;
    LoadRecord();
    if (mFileType != 0 && mFileType != kUnloadedCode)
        return mFileType;
    mFileType = GetFileTypeForExtension(GetName());
    return mFileType;
}

bool CIndexItem::IsFont()
{
    // A known type other than a font answers without the name (a raw file is no
    // font either): a look through a million selected items stays quick.
    if (mFileType != 0 && mFileType != kUnloadedCode && !IsFontMediaType(mFileType))
        return false;
    return IsFontMediaType(GetFileTypeCode());
}

OSType CIndexItem::GetCreatorCode()
{
    if (mCreator == kUnloadedCode) {
        LoadRecord();
        // The alias record keeps no creator, so an item read back from its record
        // takes it from the file's Finder information.
        if (mCreator == kUnloadedCode) {
            OSType type = 0;
            OSType creator = 0;
            FileRef file;
            const QUrl url = HeldURL();
            if (!url.isEmpty() && GetFSSpecFromURL(url, file) == noErr
                && GetFileTypeAndCreatorOf(file, type, creator) == noErr)
                mCreator = creator;
        }
    }
    return mCreator;
}

SInt32 CIndexItem::GetPositionInView() const
{
    for (const CIndexModel* model : CIndexModel::OpenModels()) {
        if (SInt32 index = model->GetIndexOfItem(this))
            return index;
    }
    return 0;
}

QString CIndexItem::GetAliasPath()
{
    // Read from the alias as held each time: a list of missing files shown or
    // sorted by location keeps no path, nor a copy of the alias, for each.
    const QByteArray* made = HasHeldAlias() ? nullptr : GetAlias();
    const QByteArrayView bytes = made ? QByteArrayView(*made) : HeldAliasBytes();
    AliasRecord record;
    if (bytes.isEmpty() || AliasRecord::FromBytes(QByteArray::fromRawData(bytes.data(), bytes.size()), record) != noErr)
        return QString();
    return record.ReadablePath();
}

// Lazy parts.

void CIndexItem::LoadRecord()
{
    if (mRecordLoaded || !IndexFile() || mPackage)
        return; // an item of a package was read whole
    LStream& file = *mRare->indexFile;
    const SInt64 saved = file.GetMarker();
    try {
        file.SetMarker(mRare->recordOffset);
        ReadRecord(file);
    } catch (...) {
        file.SetMarker(saved);
        throw;
    }
    file.SetMarker(saved);
}

const FileRef* CIndexItem::AliasBaseFile() const
{
    // Aliases of a package's items are relative to the package folder, which is
    // the folder of its index.db.
    return mPackage ? &mPackage->GetIndexDbFile() : nullptr;
}

QUrl CIndexItem::GetURL()
{
    FindURL();
    return HeldURL();
}

void CIndexItem::FindURL()
{
    if (HoldsURL() || mURLLookedFor)
        return;
    mURLLookedFor = true;

    QUrl url;
    if (mRare && mRare->fileRef) {
        url = mRare->fileRef->ToUrl();
        if (mFileType == kUnknownFileType || mFileType == 'TEXT')
            mFileType = GetMediaFileType(url);
    } else if (IsStoredInPackage()) {
        url = mPackage->StoredMediaURL(*mStoredName);
        if (url.isEmpty())
            ThrowOSErr_(err_NilPointer, "stored name is not a file name inside media/");
    } else {
        // Resolved from a copy: the alias of an index read from its file stays in
        // the record's block.
        std::optional<QByteArray> alias = CopyHeldAlias();
        if (!alias) {
            if (const QByteArray* made = GetAlias())
                alias = *made;
            else
                ThrowOSErr_(err_NilPointer, "item without URL or alias");
        }
        QByteArray bytes = *alias;
        FileRef target;
        bool changed = false;
        ThrowIfOSErr_(ResolveAliasHandle(&bytes, &target, true, AliasBaseFile(), &changed));
        // Found elsewhere or as another file: the next record's alias leads there.
        if (changed && bytes != *alias)
            HoldFoundAlias(std::move(bytes));
        if (IsAliasPathFile(target)) {
            // Where the alias says (most files): no URL is made to be kept.
            mURL.clear();
            mURLAtAliasPath = true;
            mURLLookedFor = false;
            mRecordCurrent = false; // as SetURL: the record's file URL is where the file was found
            return;
        }
        url = target.ToUrl();
    }
    SetURL(url);
}

const QByteArray* CIndexItem::GetAlias()
{
    if (!HasHeldAlias()) {
        LoadRecord();
        if (!HasHeldAlias()) {
            const QUrl url = GetURL();
            if (url.isEmpty())
                ThrowOSErr_(err_NilPointer, "no URL to make an alias of");
            FileRef target;
            ThrowIfNot_(GetFSSpecFromURL(url, target) == noErr, "alias of a URL without a file");
            QByteArray bytes;
            ThrowIfOSErr_(NewAliasBytes(AliasBaseFile(), target, bytes));
            MakeRare().alias = std::move(bytes); // not a change of the item, but of its record
            mRecordCurrent = false;
        }
    }
    return HeldAlias();
}

namespace {

// The alias of the local file `url` names, relative to `base`; false when there
// is no such file.
bool AliasOfLocalFile(const QUrl& url, const FileRef* base, QByteArray& bytes)
{
    const FileRef target = FileRef::FromUrl(url);
    return target.IsValid() && NewAliasBytes(base, target, bytes) == noErr;
}

} // namespace

bool CIndexItem::MakeAliasOfURLFile(const PremadeAlias* premade)
{
    LoadRecord();
    if (HasHeldAlias() || !mURL.isLocalFile())
        return false;
    QByteArray bytes;
    if (premade && premade->url == mURL) {
        bytes = premade->bytes;
    } else if (!AliasOfLocalFile(mURL, AliasBaseFile(), bytes)) {
        return false;
    }
    MakeRare().alias = std::move(bytes);
    mRecordCurrent = false;
    return true;
}

bool CIndexItem::MayPremakeAlias(const CIndexPackage& package) const
{
    // As the save goes: an item whose media file the package stores has no
    // alias, and one whose record is still to be read from its index file may
    // hold one already.
    const bool loaded = mRecordLoaded || !IndexFile() || mPackage;
    return !mStoredName && (!package.IsStoreMediaFile() || mPackage) && loaded && !HasHeldAlias() && mURL.isLocalFile();
}

std::optional<PremadeAlias> CIndexItem::PremakeAlias(const CIndexPackage& package) const
{
    if (!MayPremakeAlias(package))
        return std::nullopt;
    try {
        PremadeAlias made { mURL, {} };
        if (AliasOfLocalFile(mURL, &package.GetIndexDbFile(), made.bytes))
            return made;
    } catch (...) {
        // The save makes it itself then, and reports what fails.
    }
    return std::nullopt;
}

QUrl CIndexItem::GetRemoteURL()
{
    if (!mRare || mRare->remoteURL.isEmpty()) {
        LoadRecord();
        mRemoteURLLookedFor = true;
    }
    return mRare ? mRare->remoteURL : QUrl();
}

const CANPAInfo* CIndexItem::PeekCaptionInfo()
{
    if (mCaption || !mStored || !mStored->HasCaption())
        return GetCaptionInfo();
    // One a thread: items being read are looked at on workers too. The sequence
    // number is never reused.
    thread_local UInt64 peekedItem = 0;
    thread_local std::unique_ptr<CANPAInfo> peeked;
    if (peekedItem != mSequenceNumber || !peeked) {
        peeked.reset();
        peekedItem = 0;
        try {
            peeked = std::make_unique<CANPAInfo>(mStored->CaptionBytes());
        } catch (const ExceptionCode& e) {
            ThrowOSErr_(err_NilPointer, "caption block does not parse: " + e.Context());
        }
        peekedItem = mSequenceNumber;
    }
    return peeked.get();
}

QByteArrayView CIndexItem::StoredCaptionBlock() const
{
    if (mCaption || !mStored || !mStored->HasCaption())
        return {};
    return mStored->Caption();
}

CANPAInfo* CIndexItem::GetCaptionInfo()
{
    return GetLazyPart(mCaption, [&] {
        const QUrl url = GetURL();
        if (url.isEmpty())
            ThrowOSErr_(err_NilPointer);
        // A source that fails to give a caption leaves the next one to try.
        auto attempt = [](auto&& make) -> std::unique_ptr<CANPAInfo> {
            try {
                return make();
            } catch (const std::exception&) { // our codes and a library's own failures
                return nullptr;
            }
        };
        auto captionFrom = [&](const auto& source) { return attempt([&] { return std::make_unique<CANPAInfo>(source); }); };
        std::unique_ptr<CANPAInfo> caption;
        // A record being written has its medium open, with the file's metadata
        // read already: the caption is taken from there, not from a second read.
        QByteArray iim;
        if (mWriteMedium && mWriteMedium->medium && mWriteMedium->medium->CopyIPTCBlock(iim)) {
            if (!iim.isEmpty())
                caption = attempt([&] { return CANPAInfo::FromImageFileBlock(iim); });
        } else {
            caption = captionFrom(url);
        }
        if (!caption && url.isLocalFile()) {
            // The caption resource the older platform kept beside the data (a file
            // that is gone has none).
            QByteArray block;
            if (ReadFileResource(FileRef::FromUrl(url), 'ANPA', 10000, block) == noErr)
                caption = captionFrom(block);
        }
        if (!caption) {
            // A medium that cannot be opened has no caption to give: its failure
            // was recorded on the item when it was opened, once.
            UserData* userData = nullptr;
            try {
                userData = GetUserData();
            } catch (const std::exception&) {
            }
            if (userData)
                caption = attempt([&] { return CANPAInfo::FromUserData(*userData); });
        }
        if (caption)
            SetCaptionInfo(std::move(caption));
    });
}

template <typename F>
void CIndexItem::UseMedia(const char* what, F&& use)
{
    std::unique_ptr<CMedia> own;
    CMedia* media = nullptr;
    if (mWriteMedium && mWriteMedium->medium) {
        media = mWriteMedium->medium.get();
    } else {
        own.reset(CreateMedia());
        media = own.get();
        // Opening the file is the costly part of a record's first write: the
        // next part asked for uses the same medium.
        if (mWriteMedium && own)
            mWriteMedium->medium = std::move(own);
    }
    if (!media)
        ThrowOSErr_(err_NilPointer, what);
    use(*media);
}

UserData* CIndexItem::GetUserData()
{
    return GetLazyPart(mUserData, [&] {
        UseMedia("item without a medium", [&](CMedia& media) {
            if (std::unique_ptr<UserData> userData = media.CopyMetaData())
                SetUserData(std::move(userData));
        });
    });
}

CEXIFInfo* CIndexItem::GetEXIFInfo()
{
    return GetLazyPart(MakeRare().exif, [&] {
        if (IsMovieMediaType(GetURL()))
            return;
        UserData* userData = GetUserData();
        if (!userData)
            return;
        auto exif = std::make_unique<CEXIFInfo>(userData);
        // A record whose user data held no EXIF or TIFF item is no EXIF record.
        const auto& types = exif->GetUserDataTypes();
        if (std::none_of(types.begin(), types.end(), [](OSType type) {
                return (type >> 16) == ((UInt32('e') << 8) | 'x') || (type >> 16) == ((UInt32('t') << 8) | 'i');
            }))
            return;
        SetEXIFInfo(std::move(exif));
        mRare->exif.SetLookedFor(true);
    });
}

MediaImageInfo* CIndexItem::GetImageInfo()
{
    return GetLazyPart(mImageInfo, [&] {
        const TLivePtr<CIndexItem> self(this);
        auto info = std::make_unique<MediaImageInfo>();
        const ExceptionCode error = CatchException([&] {
            UseMedia("no medium for the image record", [&](CMedia& media) {
                if (const OSStatus status = media.GetDescription(info.get()); status != noErr)
                    ThrowOSErr_(status, "the medium gave no image description");
            });
        });
        if (error.Code() != noErr) {
            if (self && error.Code() != err_NilPointer)
                SetError(std::make_unique<CItemError>(error, QString(), QStringLiteral("600:47")));
            throw error;
        }
        SetImageInfo(std::move(info));
        mImageInfo.SetLookedFor(true);
    });
}

QIcon CIndexItem::GetIcon()
{
    if (mIconMade)
        return mRare->icon;
    const QUrl url = GetURL();
    if (url.isEmpty())
        ThrowOSErr_(err_NilPointer);
    FileRef file;
    if (GetFSSpecFromURL(url, file) != noErr)
        ThrowOSErr_(kMsgNoFileReference);
    Rare& rare = MakeRare();
    if (GetFileTypeCode() == kIconFileType)
        rare.icon = QIcon(file.Path()); // an icon file is its own icon
    else
        rare.icon = GetFileIcon(file, GetPrefBoolean(QStringLiteral("UseCustomIcon")));
    mIconMade = true;
    return rare.icon;
}

// The medium.

CMedia* CIndexItem::CreateMedia()
{
    if (GetFileTypeCode() == kIconFileType)
        return nullptr;
    const TLivePtr<CIndexItem> self(this);
    try {
        if (mWriteMedium && mWriteMedium->failure)
            throw *mWriteMedium->failure;
        const QUrl url = mWriteMedium && !mWriteMedium->located.isEmpty() ? mWriteMedium->located : LocateFile(!mWriting);
        if (url.isEmpty())
            ThrowOSErr_(err_NilPointer, "media file not found");
        std::unique_ptr<CMedia> media = CreateMediaForFile(url);
        if (!media)
            ThrowOSErr_(err_NilPointer, "no medium for the file");
        if (!mUserData.LookedFor()) {
            mUserData.SetLookedFor(true);
            KeepingDirty([&] {
                if (std::unique_ptr<UserData> userData = media->CopyMetaData())
                    SetUserData(std::move(userData));
            });
        }
        SInt32 rotation = 0;
        SInt32 flip = 0;
        GetMediaTransformForFlags(GetFlags(), rotation, flip);
        media->SetTransform(rotation, flip);
        return media.release();
    } catch (const ExceptionCode& e) {
        if (self) {
            SetError(std::make_unique<CItemError>(e, QString(), QStringLiteral("600:50")));
            if (mWriteMedium && !mWriteMedium->failure)
                mWriteMedium->failure = e;
        }
        throw;
    }
}

bool CIndexItem::HasProblem()
{
    if (GetError())
        return true;
    QUrl url;
    CatchCode([&] { url = GetURL(); });
    if (!url.isEmpty() && !url.isLocalFile())
        return false;
    QUrl file;
    if (CatchCode([&] { file = LocateFile(false); }) != noErr)
        return true;
    return !file.isLocalFile() || !QFileInfo::exists(file.toLocalFile());
}

QUrl CIndexItem::LocateFile(bool ask)
{
    QUrl found;
    try {
        found = GetURL();
    } catch (const ExceptionCode&) {
    }
    if (!found.isEmpty() && !URLExists(found))
        found.clear();
    const bool wasHeld = !found.isEmpty(); // the item's own URL: nothing to set
    if (found.isEmpty() && mRare && mRare->fileRef && mRare->fileRef->Exists())
        found = mRare->fileRef->ToUrl();
    if (found.isEmpty() && HasHeldAlias()) {
        QByteArray bytes = *CopyHeldAlias();
        FileRef target;
        if (ResolveAliasHandle(&bytes, &target, true, AliasBaseFile()) == noErr)
            found = target.ToUrl();
    }
    if (found.isEmpty() && !gLocateFolder.isEmpty()) {
        // A file of the same name in the folder the user chose is taken only when
        // it is the same file (size and date), and the old alias stays until one
        // made for the new place resolves.
        const FileRef candidate = FileRef::FromUrl(gLocateFolder).Child(GetName());
        FileStat stat;
        if (candidate.Stat(stat) == noErr && stat.isRegularFile
            && UInt32(UInt64(stat.size)) + UInt32(UInt64(ResourceForkSize(candidate))) == GetTotalSize()
            && ModificationSeconds1904(stat) == GetModificationDate()) {
            QByteArray alias;
            QByteArray check;
            FileRef target;
            if (NewAliasBytes(AliasBaseFile(), candidate, alias) == noErr
                && ResolveAliasHandle(&(check = alias), &target, true, AliasBaseFile()) == noErr) {
                found = candidate.ToUrl();
                SetAlias(std::move(alias));
            }
        }
    }
    if (!found.isEmpty()) {
        if (!wasHeld)
            SetURL(found);
        return found;
    }
    ItemWindowServices* windows = GetItemWindowServices();
    if (!ask || !windows || StNeverAskForFiles::Active())
        return QUrl();

    const TLivePtr<CIndexItem> self(this);
    const QUrl chosen = windows->AskForMissingFile(GetName(), gLocateFolder);
    self.Checked("the item was deleted while its file was being located");
    if (chosen.isEmpty())
        return QUrl(); // cancelled
    if (ResolvesToFolder(chosen)) {
        const FileRef candidate = FileRef::FromUrl(chosen).Child(GetName());
        if (!candidate.Exists())
            return QUrl();
        gLocateFolder = chosen;
        SetURL(candidate.ToUrl());
        return HeldURL();
    }
    const FileRef file = FileRef::FromUrl(chosen);
    gLocateFolder = file.Parent().ToUrl();
    SetName(file.Name());
    TakeFileFacts(file); // a file that cannot be read keeps the facts the item had
    SetURL(chosen);
    mImageInfo.Reset();
    DropStoredBlocks(false, true);
    ForgetAlias();
    if (mRare)
        mRare->thumbnail.reset();
    SetDisplayPicture(nullptr);
    SetIcon(QIcon());
    SetError(nullptr);
    mThumbnailNumber = 0;
    return HeldURL();
}

void CIndexItem::ForgetLocateFolder()
{
    gLocateFolder.clear();
}

void CIndexItem::RememberLocateFolder(const QUrl& folder)
{
    gLocateFolder = folder;
}

// File operations.

void CIndexItem::MoveFileToTrash()
{
    const QUrl url = GetURL();
    if (const OSStatus status = MoveURLToTrash(url); status != noErr) {
        const ExceptionCode error(status, "moving " + url.toDisplayString().toStdString() + " to the trash");
        SetError(std::make_unique<CItemError>(error, QString(), QStringLiteral("600:62")));
        throw error;
    }
    SetURL(QUrl());
    mURLLookedFor = true; // the file is gone from where it was
}

void CIndexItem::RenameMediaFile()
{
    SetName(RenameMediaFile(GetName()));
}

QString CIndexItem::RenameMediaFile(const QString& name)
{
    if (mStoredName)
        return name; // a copy in the package keeps its stored name
    QUrl renamed;
    const QUrl url = GetURL();
    if (const OSStatus status = RenameURL(url, name, &renamed); status != noErr) {
        const ExceptionCode error(status,
            "renaming " + url.toDisplayString().toStdString() + " to \"" + name.toStdString() + "\"");
        SetError(std::make_unique<CItemError>(error, QString(), QStringLiteral("600:112")));
        throw error;
    }
    SetURL(renamed);
    return FileRef::FromUrl(renamed).Name();
}

void CIndexItem::MoveFileTo(const QUrl& folder, SInt16 conflictMode)
{
    const QUrl url = GetURL();
    if (url.isEmpty())
        ThrowOSErr_(err_NilPointer, "item without a URL");
    FileRef file;
    FileRef destination;
    if (GetFSSpecFromURL(url, file) != noErr || GetFSSpecFromURL(folder, destination) != noErr)
        ThrowOSErr_(kMsgNoFileReference);
    FileRef moved;
    ThrowIfOSErr_(MoveObjectWithConflictMode(file, destination, conflictMode, &moved));
    SetURL(moved.ToUrl());
    if (moved.Name() != file.Name())
        SetName(moved.Name());
    ForgetAlias();
    SetStoredName(QString());
    if (mRare)
        mRare->fileRef.reset();
    MarkDirty();
}

void CIndexItem::OpenWithApplication(const QString& applicationId)
{
    FileRef file;
    ThrowIfOSErr_(GetFSSpecFromURL(LocateFile(true), file));
    ThrowIfOSErr_(SendOpenDocumentsEvent(applicationId, {file}));
}

void CIndexItem::ShowInfoWindow(LCommander* superCommander, CIndexModel* model)
{
    if (!GetInfoWindow()) {
        ItemWindowServices* windows = GetItemWindowServices();
        std::unique_ptr<ItemInfoWindow> window = windows ? windows->MakeItemInfoWindow(superCommander) : nullptr;
        if (!window)
            ThrowOSErr_(err_NilPointer, "no item info window");
        window->SetIndexItem(this, model);
        MakeRare().infoWindow = std::move(window);
    }
    mRare->infoWindow->BringToFront();
}

// Orientation.

void CIndexItem::ApplyOrientationFlags(SInt32 orientation)
{
    const UInt32 bits = FlagsForEXIFOrientation(orientation);
    if (bits != 0)
        SetFlags(GetFlags() | bits);
}

// Purging and detaching.

void CIndexItem::Purge()
{
    if (mDirty || mPackage)
        return;
    // The parts are read again from the record or made again from the file.
    auto dropParts = [&] {
        if (mRare) {
            mRare->thumbnail.reset();
            mRare->remoteURL.clear();
            mRare->exif.Reset();
            mRare->icon = QIcon();
        }
        mIconMade = false;
        mCaption.Reset();
        mImageInfo.Reset();
        mUserData.Reset();
    };
    if (IndexFile()) {
        dropParts();
        ForgetAlias();
        mRecordLoaded = false;
    } else if (HasURL()) {
        dropParts();
        mThumbnailLookedFor = mRemoteURLLookedFor = false;
        mCaption.SetLookedFor(false);
        mImageInfo.SetLookedFor(false);
        mUserData.SetLookedFor(false);
        if (mRare)
            mRare->exif.SetLookedFor(false);
    }
    mDirty = false;
}

void CIndexItem::LoadAllParts()
{
    if (!IsInIndexFile())
        return;
    GetRemoteURL();
    GetImageInfo();
    GetCaptionInfo();
    GetThumbnail();
    GetAlias();
    mThumbnailNumber = 0;
    SetStoredName(QString());
    if (mRare) {
        mRare->indexFile = nullptr;
        mRare->recordOffset = -1;
    }
    mRecordLoaded = false;
    mPackage = nullptr;
    Purge();
}

// Display picture.

namespace {

QImage QuarterTurnsClockwise(const QImage& image, int turns)
{
    QTransform transform;
    transform.rotate(90.0 * turns);
    return image.transformed(transform);
}

} // namespace

Offscreen* CIndexItem::GetDisplayPicture()
{
    if (Offscreen* held = HeldDisplayPicture())
        return held;
    const TLivePtr<CIndexItem> self(this);
    try {
        Picture* thumbnail = GetThumbnail();
        if (!thumbnail)
            ThrowOSErr_(err_NilPointer, "no thumbnail");
        const Rect frame = thumbnail->Frame();
        Rect fitted;
        FitRectInRect(frame, MakeRect(0, 0, kMaxDisplayPictureSide, kMaxDisplayPictureSide), fitted, false, false);
        fitted = MakeRect(0, 0, fitted.Height(), fitted.Width());
        auto world = std::make_unique<Offscreen>(fitted);
        {
            StOffscreenPort port(*world);
            ThrowIfOSErr_(thumbnail->Draw(*port.Port(), fitted));
        }
        ReadOrientation();
        self.Checked("the item was deleted while its picture was made");

        QImage image = world->Image();
        const UInt32 flags = GetFlags();
        if (flags & kItemFlagRotate90CW)
            image = QuarterTurnsClockwise(image, 1);
        if (flags & kItemFlagRotate180)
            image = QuarterTurnsClockwise(image, 2);
        if (flags & kItemFlagRotate90CCW)
            image = QuarterTurnsClockwise(image, 3);
        if (flags & kItemFlagFlipHorizontal)
            image = image.mirrored(true, false);
        if (flags & kItemFlagFlipVertical)
            image = QuarterTurnsClockwise(image.mirrored(true, false), 2);
        MakeRare().displayPicture = std::make_unique<Offscreen>(std::move(image));
        mDisplayPictureChanged = true;
        mDisplayPictureFromFile = false;

        // The thumbnail is read again from its file when it is needed.
        if (!mDirty && (IsInIndexFile() || HoldsURL()) && !IsFont()) {
            mRare->thumbnail.reset();
            mThumbnailLookedFor = false;
            mRecordLoaded = false;
            mDirty = false;
        }
        AddToMediaCacheList(this);
    } catch (const ExceptionCode&) {
        if (!self)
            throw;
        if (mRare)
            mRare->displayPicture.reset();
        if (!HeldThumbnail())
            mDisplayPictureFailed = true;
        return nullptr;
    }
    return mRare->displayPicture.get();
}

void CIndexItem::ReadOrientation()
{
    if (!Pref::TransformUsingEXIF.Get() || IsRawFile())
        return;
    try {
        GetEXIFInfo(); // sets the orientation bits on first use
    } catch (const ExceptionCode&) {
    }
}

void CIndexItem::RenderDisplayPicture(IndexViewServices& view)
{
    // Tried once per picture, whether or not it succeeds: a file that cannot be
    // drawn must not be asked again at every paint.
    mDisplayPictureFromFile = true;
    const QUrl url = LocateFile(false);
    ThrowIfNot_(!url.isEmpty(), "media file not found");
    std::unique_ptr<CMedia> media(CreateMedia());
    ThrowIfNil_(media);
    media->SetSkipDecoding(true);
    Rect natural;
    ThrowIfOSErr_(media->GetNaturalBounds(&natural));
    const int side = std::min<int>(view.GetThumbnailSize(), std::max(natural.Width(), natural.Height()));
    Rect fitted;
    FitRectInRect(natural, MakeRect(0, 0, side, side), fitted, true, false);
    fitted = MakeRect(0, 0, fitted.Height(), fitted.Width());
    ThrowIfOSErr_(media->SetBoundsRect(&fitted));
    auto world = std::make_unique<Offscreen>(fitted);
    {
        StOffscreenPort port(*world);
        ThrowIfOSErr_(media->SetGWorld(port.Port()));
        (void)media->DrawMatched(); // a drawing fault still leaves what was drawn
    }
    SetDisplayPicture(std::move(world));
    mDisplayPictureFromFile = true;
    AddToMediaCacheList(this);
}

// File operations of the item itself.

void CIndexItem::ClearCustomIcon()
{
    FileRef file;
    ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
    ThrowIfOSErr_(SetFileCustomIcon(file, nullptr));
    SetIcon(QIcon());
}

void CIndexItem::RevealInFinder()
{
    FileRef file;
    ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
    ThrowIfOSErr_(RevealOrOpenInFinder(file, true));
}

void CIndexItem::RefreshFinderPreview(bool addPreview)
{
    // A file with no preview of its own yet is exactly the one that needs one:
    // failing to find a thumbnail does not stop the refresh.
    const TLivePtr<CIndexItem> self(this);
    CatchCode([&] { GetThumbnail(); });
    self.Checked("the item was deleted while its preview was read");
    if (mRare)
        mRare->thumbnail.reset();
    SetDisplayPicture(nullptr);
    if (addPreview) {
        // The preview is made from the file itself, as the system would.
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
        ThrowIfOSErr_(AddFilePreviewFromFile(file));
    }
}

void CIndexItem::ItemNotification(DataBrowserItemNotification message)
{
    // The view owns its items: a removed row never deletes the item.
    switch (message) {
    case kDataBrowserItemRemoved:
        ForgetBrowser(); // the browser may go before the item
        break;
    default:
        break;
    }
}
