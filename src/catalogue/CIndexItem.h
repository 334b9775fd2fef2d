#pragma once

#include "CItemError.h"
#include "FileRef.h"
#include "IndexDbRecord.h"
#include "ItemWindowServices.h"
#include "LazyPart.h"
#include "LBroadcaster.h"
#include "LDataBrowserItem.h"
#include "Liveness.h"
#include "MacTypes.h"
#include "MediaCache.h"
#include "PString.h"
#include "StoredRecordBlocks.h"

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <functional>
#include <vector>
#include <memory>
#include <optional>

class CANPAInfo;
class CIndexItem;
class CIndexModel;
class CEXIFInfo;
class CIndexPackage;
class FieldDictionaryKeys;
class ExceptionCode;
class CMedia;
class IndexViewServices;
class LCommander;
class LStream;
class Offscreen;
class Picture;
class QMimeData;
class QPainter;
class UserData;
struct IndexFileRecord;
struct MediaImageInfo;

// An alias a save makes of an item's file, made ahead of the save's turn at the
// item, with the URL it was made from.
struct PremadeAlias {
    QUrl url;
    QByteArray bytes;
};

// Flag word bits: the transform that turns the picture upright, from the EXIF
// orientation. The other bits are kept as they are.
enum : UInt32 {
    kItemFlagRotate90CW = 0x10000000,
    kItemFlagRotate90CCW = 0x08000000,
    kItemFlagRotate180 = 0x04000000,
    kItemFlagFlipHorizontal = 0x02000000,
    kItemFlagFlipVertical = 0x01000000,
    kItemFlagTransformMask = 0x1F000000,
};

// Broadcast with the item as parameter when its flag word changes.
inline constexpr MessageT msg_ItemFlagsChanged = 3023;
// The data browser property of field 4025 (open in viewer).
inline constexpr DataBrowserPropertyID kOpenInViewerProperty = 4025;

// Numbers items in the order they are made (any thread).
UInt64 NextItemSequenceNumber();
// Numbers for `count` items made elsewhere (on other threads), handed out in
// the order they are to be made in; answers the first.
UInt64 ReserveItemSequenceNumbers(UInt64 count);

// Parts of an item's cell in a view.
enum : SInt16 {
    kItemPartThumbnailFrame = 1,
    kItemPartTextBlock = 2,
    kItemPartErrorBadge = 4,
    kItemPartPicture = 6,
    kItemPartNone = 99,
};

// Codes a media object takes for a flag word (CMedia::SetTransform).
void GetMediaTransformForFlags(UInt32 flags, SInt32& outRotation, SInt32& outFlip);
// The bits EXIF orientation 1-8 adds; 0 for 1 and any other value.
UInt32 FlagsForEXIFOrientation(SInt32 orientation);

// Makes thumbnail pictures for items. The thumbnail code installs it; without it
// an item has only the thumbnails stored for it or carried by its file.
class ThumbnailServices {
public:
    virtual ~ThumbnailServices() = default;
    // Makes a new thumbnail from the medium and sets it on the item; throws.
    virtual void CreateThumbnail(CIndexItem& item, bool applyToMediaFile) = 0;
    // The recreate-thumbnail test: true when the thumbnail should be made again.
    virtual bool ShouldRecreateThumbnail(CIndexItem& item) = 0;
};
void SetThumbnailServices(ThumbnailServices* maker);
ThumbnailServices* GetThumbnailServices();

// Where a file name's extension begins (the last point, neither first nor last,
// followed by no blank); -1 when it has none.
qsizetype FileExtensionPoint(const QString& name);

// One catalogued media file. It keeps the file's identity (URL, alias, file
// reference, stored name inside the package), the cheap catalogue fields, and the
// costly parts (thumbnail, caption, EXIF, user data, image record, remote URL),
// which are lazy: a getter loads the stored record first and then, when the
// record had none, makes the part from the medium once and remembers that it
// looked. Setters of stored fields mark the item dirty; writing or reading its
// record clears the mark.
//
// Operations that may yield: other tasks run meanwhile and may delete the item.
// Those are LocateFile(true) and whatever may ask for the file through it
// (CreateMedia, the lazy getters GetUserData, GetCaptionInfo, GetEXIFInfo and
// GetImageInfo, GetThumbnail, GetDisplayPicture, OpenWithApplication), and
// CreateThumbnail, WriteThumbnailFile and WriteToStream, which wait for the
// worker pool. Each of them throws 'nilP' when the item was deleted meanwhile,
// touching nothing of it; a caller that goes on using the item after one of
// them, or holds other items across one, holds them by TLivePtr.
// Held while items draw (cells, list rows): a part that must be read from an
// item's file is then not read but asked for again after the drawing, and the
// item's view is told when it is in.
class StDrawingItems {
public:
    StDrawingItems();
    ~StDrawingItems();
    StDrawingItems(const StDrawingItems&) = delete;
    StDrawingItems& operator=(const StDrawingItems&) = delete;
    static bool Active();
};

// Held by work the user did not ask for (drawing, thumbnails, the background
// cache): an item whose file is gone is then never asked for with a dialog; it
// shows as missing until the user opens, edits or exports it. Drawing counts too.
class StNeverAskForFiles {
public:
    StNeverAskForFiles();
    ~StNeverAskForFiles();
    StNeverAskForFiles(const StNeverAskForFiles&) = delete;
    StNeverAskForFiles& operator=(const StNeverAskForFiles&) = delete;
    static bool Active();
};

class CIndexItem : public LBroadcaster, public LDataBrowserItem, public ACachedMediaHolder {
public:
    // From a file: type and creator from its Finder information, sizes and dates
    // from the file. Throws the file's error.
    explicit CIndexItem(const FileRef& file);
    // From a URL; a file URL also reads the file's catalogue information.
    explicit CIndexItem(const QUrl& url);
    // A copy of another item, free of any package or index file.
    CIndexItem(const CIndexItem& other);
    // From one index.db record on a stream, with the package it comes from. Throws
    // the stream's error when the record is cut short, badFormat when it is damaged.
    CIndexItem(LStream& stream, CIndexPackage* package);
    // From a record already read by the whole-file reader.
    CIndexItem(const IndexDbRecord& record, CIndexPackage* package);
    // The same with a number ReserveItemSequenceNumbers gave: items of one index
    // may then be made on several threads, and still number in their records' order.
    // With `onDisk` the blocks it places are read back from index.db when asked for.
    CIndexItem(const IndexDbRecord& record, CIndexPackage* package, UInt64 sequenceNumber,
        const StoredBlocksOnDisk& onDisk = {});
    ~CIndexItem() override;

    // Items come from an arena of their own: an index holds a hundred thousand.
    static void* operator new(std::size_t size);
    static void operator delete(void* object, std::size_t size);

    virtual void MarkDirty()
    {
        mDirty = true;
        mRecordCurrent = false;
    }

    // After a save: the blocks read back from the old index.db are read from the
    // new one, where `written` (the item's record there, at `places`) holds them.
    void MoveStoredBlocks(const StoredBlocksOnDisk& places, const IndexDbRecordPlaces& written);

    // Older records on an open index file.
    virtual void ReadRecord(LStream& indexFile);
    virtual void WriteRecord(LStream& indexFile, SInt32 offset);

    // The index.db record: appended to the stream, with the media copied into the
    // package and the thumbnail file written as needed. An alias made ahead
    // (PremakeAlias) serves when it was made from the URL the item still has.
    virtual void WriteToStream(LStream& stream, CIndexPackage& package, const PremadeAlias* premade = nullptr);
    // The alias a save into `package` would make of the item's file, made
    // without changing the item, so that workers make many side by side while
    // nothing else touches the items; nothing when the save makes no alias or
    // must first read the item's record (MayPremakeAlias, a quick look).
    bool MayPremakeAlias(const CIndexPackage& package) const;
    std::optional<PremadeAlias> PremakeAlias(const CIndexPackage& package) const;
    virtual void WriteThumbnailFile(CIndexPackage& package);

    virtual void Purge();
    virtual void LoadAllParts();
    bool IsInIndexFile() const { return mPackage || IndexFile(); }
    virtual bool HasURL() { return !GetURL().isEmpty(); }
    bool IsStoredInPackage() const { return mPackage && mStoredName; }

    virtual void CreateThumbnail(bool applyToMediaFile);
    virtual void RefreshFinderPreview(bool addPreview);
    virtual void ClearCustomIcon();
    virtual void RevealInFinder();

    // LDataBrowserItem
    void ItemNotification(DataBrowserItemNotification message) override;
    bool AcceptDrag(const QMimeData&) override { return false; }
    // ACachedMediaHolder
    void DropCachedMedia() override;

    // Setters.
    void SetName(const QString& name);
    void SetNameFromPString(ConstStr255Param name);
    void SetURL(const QUrl& url);
    void SetAlias(std::optional<QByteArray> alias);
    void SetRemoteURL(const QUrl& url);
    void SetCaptionInfo(std::unique_ptr<CANPAInfo> caption);
    void SetUserData(std::unique_ptr<UserData> userData);
    void SetImageInfo(std::unique_ptr<MediaImageInfo> info);
    void SetEXIFInfo(std::unique_ptr<CEXIFInfo> exif);
    void SetThumbnail(std::unique_ptr<Picture> thumbnail);
    void SetDisplayPicture(std::unique_ptr<Offscreen> picture);
    void SetFlags(UInt32 flags);
    void AddFlags(UInt32 bits) { SetFlags(GetFlags() | bits); }
    void SetError(std::unique_ptr<CItemError> error) { SetError(ShareItemError(std::move(error))); }
    void SetError(CItemErrorRef error);
    CItemErrorRef TakeError();
    // A null icon is made again from the file when next asked for.
    void SetIcon(const QIcon& icon);
    // Takes the window (deleting the one it had); kInfoWindowClosing lets go of it.
    void SetInfoWindow(ItemInfoWindow* window);
    void SetOpenInViewer(SInt32 open);
    void SetDateAdded(UInt32 seconds);
    void SetCreationDate(UInt32 seconds, bool writeToFile);
    void SetModificationDate(UInt32 seconds, bool writeToFile);
    void SetCreatorCode(OSType creator, bool writeToFile);
    void SetFileTypeCode(OSType type, bool writeToFile);
    void SetTotalSize(UInt32 size);
    void SetThumbnailNumber(SInt32 number) { mThumbnailNumber = number; }
    void SetBusy(bool busy);

    // Getters; the plain fields load the stored record first when they are empty.
    QString GetName();
    Str255 GetNamePString();
    UInt32 GetFlags();
    bool TestFlags(UInt32 bits) { return (GetFlags() & bits) != 0; }
    UInt32 GetTotalSize();
    UInt32 GetDateAdded();
    UInt32 GetCreationDate();
    UInt32 GetModificationDate();
    OSType GetFileTypeCode();
    bool IsFont();
    OSType GetCreatorCode();
    OSType GetFileType() { return GetCreatorCode(); } // the name other layers call it by
    SInt32 GetThumbnailNumber() const { return mThumbnailNumber; }
    const QString& GetStoredName() const;
    CIndexPackage* GetPackage() const { return mPackage; }
    bool IsBusy() const { return mBusyCount > 0; }
    bool IsDirty() const { return mDirty; }
    // Whether the record this item last read from or wrote into `package`'s
    // index.db still says all the item would write, short of checking its file.
    bool IsRecordCurrentIn(const CIndexPackage& package) const
    {
        return mRecordCurrent && !mDirty && mPackage == &package && mThumbnailNumber > 0;
    }
    bool IsOpenInViewer() const { return mRare && mRare->openInViewer != 0; }
    bool IsWriting() const { return mWriting; }
    bool IsRecordLoaded() const { return mRecordLoaded; }
    bool IsAliasRead() const { return mAliasRead; }
    bool HasThumbnailFailed() const { return mThumbnailFailed; }
    // A thumbnail that could not be made is remembered with the media file's size and
    // date: it is not tried again, however often the cell is drawn, until the file changes.
    void SetThumbnailFailed(bool failed);
    // Whether the media file changed since the failure (reads its size and date); the
    // mark is then dropped, so that the thumbnail is tried again.
    bool IsThumbnailFailureStale();
    bool IsSmallMedium() const { return mSmallMedium; }
    void SetSmallMedium(bool small) { mSmallMedium = small; }
    bool GetRecreateAnswer() const { return mRecreateAnswer; }
    void SetRecreateAnswer(bool answer) { mRecreateAnswer = answer; }
    bool IsThumbnailLookedFor() const { return mThumbnailLookedFor; }
    bool IsURLLookedFor() const { return mURLLookedFor; }
    bool IsUserDataLookedFor() const { return mUserData.LookedFor(); }
    void SetUserDataLookedFor(bool lookedFor) { mUserData.SetLookedFor(lookedFor); }
    bool HasDisplayPictureFailed() const { return mDisplayPictureFailed; }
    bool HasDisplayPictureChanged() const { return mDisplayPictureChanged; }
    // The display picture was drawn from the media file itself: no larger one can be had.
    bool IsDisplayPictureFromFile() const { return mDisplayPictureFromFile; }
    void SetDisplayPictureChanged(bool changed) { mDisplayPictureChanged = changed; }
    const CItemError* GetError() const { return mRare.Error(); }
    ItemInfoWindow* GetInfoWindow() const { return mRare ? mRare->infoWindow.get() : nullptr; }
    const LivenessToken& GetLivenessToken() const { return mLiveness; }
    // The item's 1-based place in the list an open index shows it in; 0 when none does.
    SInt32 GetPositionInView() const;
    QString GetAliasPath();

    // Lazy parts (null when the item has none).
    QUrl GetURL();
    // The address GetURL answers when the item knows it already; empty when it
    // would have to be found (an alias resolved, a stored name looked up).
    QUrl KnownURL() const { return HeldURL(); }
    const QByteArray* GetAlias();
    QUrl GetRemoteURL();
    CANPAInfo* GetCaptionInfo();
    // The caption for a look that keeps nothing (a search): an item holding its
    // record's caption block unparsed is answered from a copy parsed for the
    // last item looked at, and keeps only the block. Otherwise GetCaptionInfo.
    // The answer is good until the next look at another item.
    const CANPAInfo* PeekCaptionInfo();
    // The caption block of the item's record as read, while the item keeps it
    // unparsed (empty otherwise: then PeekCaptionInfo). Good until the item changes.
    QByteArrayView StoredCaptionBlock() const;
    // The parsed caption goes back to a block as the record holds it, parsed
    // again when next asked for: parsed, a caption takes several times its
    // bytes (a batch over a million items). Pointers to the caption go stale.
    void StoreCaptionBlock();
    UserData* GetUserData();
    CEXIFInfo* GetEXIFInfo();
    MediaImageInfo* GetImageInfo();
    Picture* GetThumbnail();
    Offscreen* GetDisplayPicture();
    // Reads the file's EXIF orientation into the item's flags, once ("TransformUsingEXIF");
    // a file that cannot be read keeps its picture as stored.
    void ReadOrientation();
    // The display picture as held, without making one (null when none is held).
    Offscreen* PeekDisplayPicture() const { return HeldDisplayPicture(); }
    QIcon GetIcon();
    // The thumbnail file of the item in its package; 'asrt' without one.
    QUrl CopyThumbnailURL() const;
    // True when the picture is in the package's thumbnail file and not yet in
    // memory: GetThumbnail would read the disk (ReadThumbnailFiles reads many
    // off the GUI thread).
    bool IsThumbnailOnlyOnDisk() const;
    // Whether the item holds a thumbnail or has one numbered in its package, told
    // without reading anything.
    bool HasThumbnail() const;
    // Whether the display picture is held now (GetDisplayPicture would not make it).
    bool HasDisplayPicture() const { return HeldDisplayPicture() != nullptr; }

    // The medium of the item's file, owned by the caller; null for icon files.
    // Failures give the item an error ("600:50") and are thrown on.
    CMedia* CreateMedia();
    // The media file's URL, found by URL, file reference, alias or the folder the
    // user last chose; with `ask` the user may be asked to locate it.
    QUrl LocateFile(bool ask);
    // Takes type, creator, size and dates from the file that is now the item's (a
    // download, a file located again); returns the file's error, changing nothing.
    OSStatus TakeFileFacts(const FileRef& file);
    // A problem the user is shown: an error kept with the item, or a local media
    // file that cannot be found (without asking). A remote item misses no file.
    bool HasProblem();
    // Renders the medium at the view's thumbnail size as the display picture.
    void RenderDisplayPicture(IndexViewServices& view);

    // File operations on the media file. Failures give the item an error and are
    // thrown on.
    void MoveFileToTrash();
    void RenameMediaFile(); // to the item's name; only media outside the package
    // To `name`, before the item takes it; answers the name the file took (a name the
    // file system refuses, "a/b", is made one it takes, "a_b").
    [[nodiscard]] QString RenameMediaFile(const QString& name);
    // A file renamed on the way (a conflict kept both) gives the item its new name.
    void MoveFileTo(const QUrl& folder, SInt16 conflictMode);
    void OpenWithApplication(const QString& applicationId);
    // Brings the item's info window forward, or has the window services make it
    // and hands it the item and the index model it belongs to; 'nilP' when the
    // window cannot be made.
    void ShowInfoWindow(LCommander* superCommander, CIndexModel* model = nullptr);

    // Cell geometry and drawing in a view (rectangles in the view's coordinates).
    using LDataBrowserItem::HitTest;
    QRect GetPartRect(SInt16 part, const QRect& cell, const IndexViewServices& view) const;
    // Where a picture of `bounds`' proportions goes in the cell: fitted to the
    // thumbnail size and its frame, centred in the frame.
    QRect PlacePicture(const QRect& bounds, const QRect& cell, const IndexViewServices& view) const;
    SInt16 HitTest(QPoint point, const QRect& cell, const IndexViewServices& view) const;
    // The 0-based text line under the point, -1 when none.
    SInt16 FindTextLineAt(QPoint point, const QRect& cell, const IndexViewServices& view) const;
    QRect GetTextLineRect(SInt16 line, const QRect& cell, const IndexViewServices& view) const;
    // The file's icon in the thumbnail frame, then the badge.
    virtual void DrawIcon(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected);
    // The lock (busy), caution (error) or media storage badge.
    virtual void DrawBadge(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected = false);

    // The whole cell: the picture (or the file's icon), the selected look when the
    // view's selection holds the item, the field lines and the badge. Parts outside
    // the painter's clip are left out.
    // Draws at the painter's device pixel ratio: on a high-density screen the
    // picture takes its detail from the display picture, not from a scaled copy.
    virtual void DrawCell(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected = false);
    // The display picture in its frame, the selected look and the badge.
    virtual void DrawPicture(
        QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected = false);
    // The field lines under the picture (grid) or beside it (extended list).
    virtual void DrawThumbnailViewLines(QPainter& painter, const QRect& cell, const IndexViewServices& view);
    virtual void DrawExtendedViewLines(QPainter& painter, const QRect& cell, const IndexViewServices& view);
    // The selected look ("DimSelection" darkens the picture, else a ring in the
    // highlight colour), and its removal.
    virtual void DrawSelected(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool animate);
    virtual void DrawUnselected(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool redrawHilite);
    // Draws the selected look or removes it when the drawn state differs.
    void SetDrawnSelected(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected);
    // One field of the grid (centred, cut to the cell) and one labelled line of
    // the extended list.
    void DrawFieldCell(QPainter& painter, const QRect& rect, SInt32 key, const IndexViewServices& view);
    void DrawLabelledFieldLine(QPainter& painter, const QRect& rect, SInt32 key, const IndexViewServices& view);
    // The cell on a printed page: the thumbnail ("HighQualityPrinting": the medium
    // itself), a cross where there is no picture. The item's error stays as it was.
    virtual void PrintCell(QPainter& painter, const QRect& cell, const IndexViewServices& view);
    virtual void PrintThumbnail(QPainter& painter, const QRect& cell, const IndexViewServices& view);
    virtual void PrintMedia(QPainter& painter, const QRect& cell, const IndexViewServices& view);
    // The drag image of the item for `count` dragged items, and the point of it
    // under the pointer; a null pixmap when there is nothing to show.
    QPixmap MakeDragImage(const QRect& cell, const IndexViewServices& view, int count, QPoint& outHotSpot);
    // The list view's row: one column's data, or an edited text taken back.
    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue) override;
    // The same for a cell `width` pixels wide (narrow cells show short forms), with no
    // browser holding the row: the list view that shows the index model's table.
    OSStatus GetSetCellData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue, int width);

    // Adds the flag bits of an EXIF orientation (only adds).
    void ApplyOrientationFlags(SInt32 orientation);

    // The thumbnail picture once written to the package file. Exposed for the
    // thumbnail code, which sets it without marking the item dirty.
    void SetThumbnailQuietly(std::unique_ptr<Picture> thumbnail);

    // The folder the user last chose to locate a missing file (one per run).
    static void ForgetLocateFolder();
    static void RememberLocateFolder(const QUrl& folder);

    // Fields by field key (FieldKeys.h). GetFieldText writes the field's Mac Roman
    // text into `out` (mode kFieldTextPlaceholder first sets "-"); a field without a
    // value leaves `out` as it is. Only the kind (4004) may throw.
    Str255& GetFieldText(SInt32 key, Str255& out, SInt16 mode);
    Str255& GetFileFieldText(SInt32 key, Str255& out);
    Str255& GetImageFieldText(SInt32 key, Str255& out);
    Str255& GetCaptionFieldText(SInt32 key, Str255& out);
    Str255& GetEXIFFieldText(SInt32 key, Str255& out);
    // The field's text as the user sees it; never throws (a failure gives the
    // mode's empty text).
    QString CopyFieldString(SInt32 key, SInt16 mode);
    // True when the kind of a file of this type is told by the type alone (not by the name).
    static bool KindFollowsFileType(OSType type);
    // The volume or folder field's text for a file at `url` (not empty), from the
    // address alone: on any thread.
    static QString VolumeOrFolderText(SInt32 key, const QUrl& url);
    // The field as a grid cell shows it: nothing for a field without a value, an
    // item without an urgency included.
    QString CopyCellString(SInt32 key);
    // Sets a field from a text: 0 done (also when nothing changed), paramErr for no
    // text or a text the field cannot take, kFieldReadOnlyErr for a read-only key, or
    // the file's error when a change could not be written to it. An item of an
    // index is changed through its model (CIndexModel::SetItemField), which keeps
    // its value index and tells its views.
    // Whether a change also goes into the media file: the preference
    // "ApplyChangesToMediaFile", or what a batch decided for its run.
    enum class FileWrite { ByPreference, CatalogueOnly, AlsoFile };
    OSStatus SetFieldValue(SInt32 key, const QString& text, FileWrite write = FileWrite::ByPreference);
    OSStatus SetFileFieldValue(SInt32 key, ConstStr255Param text, FileWrite write = FileWrite::ByPreference);
    OSStatus SetCaptionFieldValue(SInt32 key, ConstStr255Param text, FileWrite write = FileWrite::ByPreference);
    // Field name to field text (placeholder mode) for every field of the field menu
    // that has a value.
    QVariantMap CopyFieldDictionary();
    // The same over fields loaded once, with the item's 1-based position given.
    // Nothing here opens the medium or resolves the alias: the file state (4021),
    // validation (4022) and thumbnail (4007) read what the item knows already.
    QVariantMap CopyFieldDictionary(const FieldDictionaryKeys& fields, SInt32 position);
    // Whether the field's text can be had without opening the media file: from what
    // the item holds or its stored record has, or because the file was looked at
    // before. False when only reading the file could tell (a new item's caption,
    // a raw file's kind).
    bool IsFieldKnownWithoutMedia(SInt32 key);
    // True when the medium opens and validates; never asks for a missing file.
    virtual bool ValidateMedia();
    // Writes the caption into the media file; a failure becomes the item's error.
    OSStatus WriteCaptionToMediaFile();
    // The same for a change the user made, answering the failure of a file that is
    // there: a font or a missing file has nothing to take the caption, and the
    // change stays in the index alone (the item's error says why), answered 0.
    OSStatus WriteChangedCaptionToMediaFile();
    // Drops the caption record; with `removeFromFile` also the caption the media
    // file holds (a failure of that step becomes the item's error).
    virtual void RemoveCaption(bool removeFromFile);
    // The clipboard's picture becomes the thumbnail (100061 when there is none);
    // with `applyToFile` also the file's preview.
    virtual void PasteThumbnail(bool applyToFile);
    // Stores the thumbnail as the file's preview; the file keeps its dates. A
    // locked or read-only file answers its code quietly; other failures also
    // become the item's error.
    OSStatus AddPreviewToMediaFile();
    // The thumbnail becomes the file's custom icon; throws.
    virtual OSStatus UseThumbnailAsFileIcon();
    // The picture (or only the thumbnail) onto the clipboard; throws.
    virtual void CopyToClipboard(bool thumbnailOnly);
    // Whether the file's contents changed after the item entered the index; throws.
    virtual bool IsFileChangedSinceAdded();
    // Opens the item in the media window (at its 1-based index of the model, or
    // wherever it stands for 0) through the model's itemActivated, or with Alt
    // held in the other viewer the user chose (100013 when that fails); throws.
    virtual void OpenInViewer(SInt32 index, CIndexModel* model, bool windowed);
    virtual void PrintInMediaWindow(IndexViewServices* view);
    // The item's error in a caution alert; nothing without one.
    void ShowErrorAlert();
    // The two texts of that alert: the prompt naming the item, and the explanation.
    void CopyErrorAlertTexts(QString& outPrompt, QString& outExplanation);

    // Drag data: the file's URL (text/uri-list) and the item's own flavour, which
    // names the item by its sequence number in this program's run (never by its
    // address). Each call adds to what the drag carries: a drag of several items
    // names them all, in order. `callerValue` says where the drag comes from.
    void AddDragFlavors(QMimeData& drag, SInt32 callerValue);
    static void AddDragFlavors(QMimeData& drag, const std::vector<CIndexItem*>& items, SInt32 callerValue);
    bool AddDragItem(QMimeData& drag) override;
    // The caller's value of a drag's first item record of this run; false for none.
    static bool PeekDragSource(const QMimeData& drag, SInt32& outCallerValue);
    // The items a drag names, in order, each found by `find` from its sequence
    // number; empty when any record is from another run, damaged, names an item
    // twice or names no item `find` knows (a forged or stale drag takes nothing).
    static std::vector<CIndexItem*> FindDraggedItems(const QMimeData& drag,
        const std::function<CIndexItem*(UInt64)>& find, SInt32* outCallerValue = nullptr);
    // The first of them; null when FindDraggedItems finds none.
    static CIndexItem* FindDraggedItem(const QMimeData& drag, const std::function<CIndexItem*(UInt64)>& find,
        SInt32* outCallerValue = nullptr);

    // The order in which items were made: a stable last tie-break of sorts.
    UInt64 GetSequenceNumber() const { return mSequenceNumber; }

    // The index model that holds the item as one of its own (not as a search's
    // result shown there), or null; set by that model alone.
    const CIndexModel* GetOwningModel() const { return mOwningModel; }
    void SetOwningModel(const CIndexModel* model) { mOwningModel = model; }

protected:
    virtual void Init();
    virtual void FinishInit();
    virtual void LoadRecord();

private:
    void InitFromFile(const FileRef& file);
    void ApplyIndexDbRecord(const IndexDbRecord& record, CIndexPackage* package, const StoredBlocksOnDisk& onDisk = {});
    void ApplyIndexFileRecord(const IndexFileRecord& record);
    IndexDbRecord MakeIndexDbRecord(CIndexPackage& package);
    void PlaceMediaForWrite(IndexDbRecord& record, CIndexPackage& package);
    void CopyMediaIntoPackage(CIndexPackage& package);
    const FileRef* AliasBaseFile() const;
    void MakeEXIFTransform();
    bool IsRawFile();
    UInt32 LoadedField(const UInt32& field);
    // Finds the file's URL once (GetURL without making the answer).
    void FindURL();
    // The URL as found: kept, or the path the alias names when the file was found
    // there (most items: a million URLs are not kept beside their aliases).
    QUrl HeldURL() const;
    bool HoldsURL() const { return !mURL.isEmpty() || mURLAtAliasPath; }
    // Whether `url` names the path the held alias names (and HeldURL would give it back).
    bool IsAliasPathURL(const QUrl& url) const;
    bool IsAliasPathFile(const FileRef& file) const;
    // The alias as held, without making it from the stored block; empty without one.
    QByteArrayView HeldAliasBytes() const;
    // The absolute path it names.
    QByteArrayView HeldAliasPath() const;
    QUrl PartOrNullURL();

    // Runs `make` for a lazy part, leaving the dirty byte as it was.
    template <typename F>
    void KeepingDirty(F&& make);
    // The lazy-part getter: the part as held, else as the stored record has it, else
    // made once by `make` (the looked-for mark keeps a missing part from being sought again).
    template <typename T, typename F>
    T* GetLazyPart(LazyPart<T>& part, F&& make);
    // Parses the block the index.db record stored for a part, once asked for it.
    void LoadStoredPart(LazyPart<CANPAInfo>& part);
    void LoadStoredPart(LazyPart<UserData>& part); // checked with the record: its damage fails the record
    void LoadStoredPart(LazyPart<MediaImageInfo>& part);
    void LoadStoredPart(LazyPart<CEXIFInfo>&) {}
    // Queues `read` to run on this item from the event loop, once.
    void ReadPartAfterDrawing(void (*read)(CIndexItem&));
    // The caption record a field change goes to, made empty when the item has none.
    CANPAInfo& CaptionForChange();
    // After a field change: a changed record marks the item dirty and goes into the
    // file as `write` says.
    OSStatus CaptionChanged(CANPAInfo& caption, FileWrite write);
    // Runs `use` on the item's medium: the one of the record being written, else
    // one made for the call. `what` names the failure when there is none.
    template <typename F>
    void UseMedia(const char* what, F&& use);
    // Forgets the stored blocks of parts that were replaced or parsed.
    void DropStoredBlocks(bool caption, bool imageRecord, bool alias = false, bool userData = false);
    // After a record is written: an alias made for it is kept with the stored blocks.
    void KeepWrittenAlias(const IndexDbRecord& written);
    // The alias as held: made from the stored block on first use. Null without one.
    const QByteArray* HeldAlias();
    bool HasHeldAlias() const;
    // A copy of the alias as held, for resolving or writing, without making it
    // from the stored block; empty without one.
    std::optional<QByteArray> CopyHeldAlias() const;
    // Drops the alias; a URL it gave is kept instead.
    void ForgetAlias();
    // Holds an alias made again for where the file was found: the item is the same,
    // its record is not.
    void HoldFoundAlias(QByteArray alias);
    // Makes the alias of the file the item's URL names, when it holds none, from
    // the one look at the file the alias takes: false when there is no such
    // file (nothing changes then), so that a save looks for it elsewhere.
    bool MakeAliasOfURLFile(const PremadeAlias* premade = nullptr);

    // Members most items never use, made on first use: an index of a hundred
    // thousand items holds them only for the few that are shown, opened,
    // edited or in error.
    struct Rare {
        Rare();
        ~Rare();
        LazyPart<CEXIFInfo> exif;
        std::unique_ptr<Offscreen> displayPicture;
        std::unique_ptr<Picture> thumbnail;
        CItemErrorRef error;
        std::optional<QByteArray> alias; // once asked for, or made or set
        QUrl remoteURL;
        QIcon icon;
        std::unique_ptr<FileRef> fileRef; // the file the item was made from
        std::unique_ptr<ItemInfoWindow> infoWindow;
        std::optional<QString> rawKindText; // raw files only, made when first shown
        QString failedFileStamp; // path, size and date of the file a thumbnail failed for
        LStream* indexFile = nullptr; // open index file holding the older record
        SInt32 recordOffset = -1;
        SInt32 openInViewer = 0;
    };
    // The rare members once made; before that, an error the item holds alone
    // (tagged in the low bit), which costs a failed item of a large batch nothing
    // more than the record its batch shares.
    class RareSlot {
    public:
        RareSlot() = default;
        RareSlot(const RareSlot&) = delete;
        RareSlot& operator=(const RareSlot&) = delete;
        ~RareSlot() { reset(); }
        Rare* get() const { return (mBits & kErrorAlone) ? nullptr : reinterpret_cast<Rare*>(mBits); }
        explicit operator bool() const { return get() != nullptr; }
        Rare* operator->() const { return get(); }
        const CItemError* Error() const;
        void SetError(CItemErrorRef error);
        Rare& Make();
        void reset(); // the rare members and an error held alone

    private:
        static constexpr uintptr_t kErrorAlone = 1;
        uintptr_t mBits = 0;
    };
    Rare& MakeRare() { return mRare.Make(); }
    void SetStoredName(const QString& name);
    const Rare* PeekRare() const { return mRare.get(); }
    Offscreen* HeldDisplayPicture() const { return mRare ? mRare->displayPicture.get() : nullptr; }
    Picture* HeldThumbnail() const { return mRare ? mRare->thumbnail.get() : nullptr; }
    LStream* IndexFile() const { return mRare ? mRare->indexFile : nullptr; }

    QString mName;
    CIndexPackage* mPackage = nullptr;
    std::unique_ptr<QString> mStoredName; // only in packages that store their media; never empty
    QUrl mURL;
    LazyPart<CANPAInfo> mCaption;
    LazyPart<UserData> mUserData;
    LazyPart<MediaImageInfo> mImageInfo;
    StoredRecordBlocks::Ptr mStored; // null when the record held none
    RareSlot mRare;
    UInt64 mSequenceNumber = NextItemSequenceNumber();
    LivenessToken mLiveness;
    // While a record is written: the medium made for it, which serves every part
    // the record asks of the file, or why it could not be made, so that the parts
    // asked for next fail alike without opening the file again.
    struct WriteMedium {
        std::unique_ptr<CMedia> medium;
        std::optional<ExceptionCode> failure;
        QUrl located; // where the write found the file, looked for once
    };
    WriteMedium* mWriteMedium = nullptr;
    // Fields and flags last, packed together.
    UInt32 mFlags = 0;
    SInt32 mThumbnailNumber = 0;
    OSType mFileType = '****';
    OSType mCreator = '****';
    UInt32 mTotalSize = 0;
    UInt32 mDateAdded = 0;
    UInt32 mCreationDate = 0;
    UInt32 mModificationDate = 0;
    SInt16 mBusyCount = 0;
    bool mWriting = false; // held by reference while a record is written
    bool mRecreateAnswer : 1 = false;
    bool mRecordLoaded : 1 = false;
    bool mRemoteURLLookedFor : 1 = false;
    bool mIconMade : 1 = false;
    bool mThumbnailLookedFor : 1 = false;
    bool mURLLookedFor : 1 = false;
    bool mURLAtAliasPath : 1 = false; // the URL is the held alias's path (mURL stays empty)
    bool mThumbnailFailed : 1 = false;
    bool mSmallMedium : 1 = false;
    bool mDisplayPictureFailed : 1 = false;
    bool mDirty : 1 = false;
    bool mRecordCurrent : 1 = false; // nothing changed since the record was read or written
    bool mDrawingMark : 1 = false;
    bool mDisplayPictureChanged : 1 = false;
    bool mDisplayPictureFromFile : 1 = false;
    bool mAliasRead : 1 = false;
    const CIndexModel* mOwningModel = nullptr;
};
