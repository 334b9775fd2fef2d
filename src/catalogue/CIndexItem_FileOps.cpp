// The item's operations on its media file beyond the catalogue record: the
// caption written back into the file or removed, previews and icons, the
// clipboard, drags, opening and printing in a viewer, the error alert.
#include "CIndexItem.h"

#include "Alerts.h"
#include "CANPAInfo.h"
#include "CIndexModel.h"
#include "CItemError.h"
#include "CMedia.h"
#include "DesktopServices.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FieldKeys.h"
#include "FileErrors.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "FinderPreview.h"
#include "IPTCFileWriter.h"
#include "IndexViewServices.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "MediaFactory.h"
#include "MediaViewerServices.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "TextFormats.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDataStream>
#include <QGuiApplication>
#include <QIODevice>
#include <QMimeData>
#include <QProcess>
#include <QSet>

namespace {

// The caption resource beside the data of files that carry no IPTC of their own.
constexpr ResType kCaptionResourceType = 'ANPA';
constexpr SInt16 kCaptionResourceID = 10000;

// The item's own drag flavour: magic, the run it comes from, the caller's value
// and the item's sequence number, big-endian.
const QString kItemFlavor = QStringLiteral("application/x-orvex-item");
constexpr UInt32 kItemFlavorMagic = 'Itm2';
constexpr int kItemFlavorSize = 4 + 8 + 4 + 8;

// Failures of adding a preview that only say the file cannot be written.
bool IsQuietPreviewError(OSStatus code)
{
    constexpr OSStatus kAccessDenied = -5000;
    constexpr OSStatus kWritePermission = -61;
    return code == permErr || code == fLckdErr || code == wPrErr || code == kAccessDenied || code == kWritePermission
        || code == fnfErr;
}

MediaViewerServices* gViewer = nullptr;

} // namespace

void SetMediaViewerServices(MediaViewerServices* viewer)
{
    gViewer = viewer;
}

MediaViewerServices* GetMediaViewerServices()
{
    return gViewer;
}

// Captions in the media file.

OSStatus CIndexItem::WriteCaptionToMediaFile()
{
    const OSStatus status = CatchCode([&] {
        ThrowIf_(IsFont(), "fonts carry no caption");
        CANPAInfo* caption = GetCaptionInfo();
        if (!caption)
            ThrowOSErr_(err_NilPointer, "item without a caption");
        const QUrl url = GetURL();
        if (url.isEmpty())
            ThrowOSErr_(err_NilPointer, "item without a URL");
        FileRef file;
        ThrowIfNot_(GetFSSpecFromURL(url, file) == noErr, "URL without a file");

        // Files that hold IPTC data of their own get the caption there, with the
        // urgency as the digit the standard asks for; the old caption resource goes.
        // A failure is the result: a copy beside the file, which no other program
        // reads, would only hide it.
        if (CanWriteIPTCIntoFileType(GetMediaFileType(url))) {
            ThrowIfOSErr_(WriteCaptionIntoImageFile(file.Path(), caption->GetDataHandle(EUrgencyForm::AsciiDigit)));
            ThrowIfOSErr_(RemoveFileResource(file, kCaptionResourceType, kCaptionResourceID));
            return;
        }
        ThrowIfOSErr_(WriteFileResource(file, kCaptionResourceType, kCaptionResourceID, caption->GetDataHandle()));
    });
    if (status != noErr)
        SetError(std::make_unique<CItemError>(status, QString(), QStringLiteral("600:60")));
    return status;
}

OSStatus CIndexItem::WriteChangedCaptionToMediaFile()
{
    const OSStatus written = WriteCaptionToMediaFile();
    FileRef file;
    const bool fileTakesCaption = !IsFont() && GetFSSpecFromURL(GetURL(), file) == noErr;
    return fileTakesCaption ? written : noErr;
}

void CIndexItem::RemoveCaption(bool removeFromFile)
{
    CatchCode([&] { GetCaptionInfo(); }); // so that a stored caption is known to be gone
    SetCaptionInfo(nullptr);
    mCaption.SetLookedFor(true);
    if (!removeFromFile)
        return;
    const OSStatus status = CatchCode([&] {
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
        // The file's own IPTC caption goes too, or the caption would come back
        // from the file; its other datasets stay.
        if (CanWriteIPTCIntoFileType(GetMediaFileType(file.ToUrl())))
            ThrowIfOSErr_(WriteCaptionIntoImageFile(file.Path(), CANPAInfo().GetDataHandle(EUrgencyForm::AsciiDigit)));
        ThrowIfOSErr_(RemoveFileResource(file, kCaptionResourceType, kCaptionResourceID));
    });
    if (status != noErr)
        SetError(std::make_unique<CItemError>(status, QString(), QString()));
}

// Thumbnails, previews and icons.

void CIndexItem::PasteThumbnail(bool applyToFile)
{
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    const QImage image = clip && clip->hasImage() ? qvariant_cast<QImage>(clip->imageData()) : QImage();
    if (image.isNull())
        ThrowOSErr_(kMsgItemOperation2, "no picture on the clipboard");
    const bool wasDirty = IsDirty();
    SetThumbnail(std::make_unique<Picture>(Picture::FromImage(image, MakeRect(0, 0, image.height(), image.width()))));
    SetDisplayPicture(nullptr);
    if (!applyToFile)
        return;
    const bool resolves = CatchCode([&] {
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(LocateFile(false), file));
    }) == noErr;
    // The file's preview now holds the picture: the item reads it back from there.
    if (resolves && !IsFont() && AddPreviewToMediaFile() == noErr && !IsInIndexFile() && !wasDirty)
        SetThumbnailQuietly(nullptr);
}

OSStatus CIndexItem::AddPreviewToMediaFile()
{
    if (IsStoredInPackage())
        return noErr;
    const OSStatus status = CatchCode([&] {
        ThrowIf_(IsFont(), "fonts have no preview");
        Picture* thumbnail = GetThumbnail();
        if (!thumbnail)
            ThrowOSErr_(err_NilPointer, "item without a thumbnail");
        FileRef file;
        ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
        ThrowIfOSErr_(AddFilePreview(file, *thumbnail)); // the file keeps its dates
    });
    if (status != noErr && !IsQuietPreviewError(status))
        SetError(std::make_unique<CItemError>(status, QString(), QString()));
    return status;
}

OSStatus CIndexItem::UseThumbnailAsFileIcon()
{
    FileRef file;
    ThrowIfOSErr_(GetFSSpecFromURL(GetURL(), file));
    const bool hadThumbnail = HeldThumbnail() != nullptr;
    if (!hadThumbnail)
        CreateThumbnail(false);
    Picture* thumbnail = HeldThumbnail();
    if (!thumbnail)
        ThrowOSErr_(err_NilPointer, "no thumbnail for the icon");
    QImage image;
    const OSStatus rendered = thumbnail->Render(image);
    if (!hadThumbnail)
        SetThumbnailQuietly(nullptr);
    ThrowIfOSErr_(rendered);
    ThrowIfOSErr_(SetFileCustomIcon(file, &image));
    SetIcon(QIcon());
    return noErr;
}

void CIndexItem::CopyToClipboard(bool thumbnailOnly)
{
    QImage image;
    if (thumbnailOnly) {
        Picture* thumbnail = GetThumbnail();
        if (!thumbnail)
            ThrowOSErr_(err_NilPointer, "item without a thumbnail");
        ThrowIfOSErr_(thumbnail->Render(image));
    } else {
        try {
            std::unique_ptr<CMedia> media(CreateMedia());
            if (!media)
                ThrowOSErr_(err_NilPointer, "item without a medium");
            Picture picture;
            ThrowIfOSErr_(media->GetAsPicture(&picture));
            ThrowIfOSErr_(picture.Render(image));
        } catch (const ExceptionCode& e) {
            // A file that cannot be found still has its thumbnail to give.
            if (e.Code() != kMsgNoFileReference && e.Code() != kMsgAliasUnresolved)
                throw;
            CopyToClipboard(true);
            ReportError(kMsgItemOperation, kNoteAlert);
            return;
        }
    }
    QGuiApplication::clipboard()->setImage(image);
}

// Media checks.

bool CIndexItem::IsFileChangedSinceAdded()
{
    const QUrl url = GetURL();
    if (url.isEmpty())
        ThrowOSErr_(err_NilPointer, "item without a URL");
    FileRef file;
    ThrowIfOSErr_(GetFSSpecFromURL(url, file));
    FileStat stat;
    ThrowIfOSErr_(file.Stat(stat));
    // The date added is local time, the file's date universal: compare like with like.
    const UInt32 modified = DateTimeToMacSeconds(QDateTime::fromSecsSinceEpoch(stat.modificationSeconds));
    return modified > GetDateAdded();
}

// Viewers.

void CIndexItem::OpenInViewer(SInt32 index, CIndexModel* model, bool windowed)
{
    const bool otherViewer
        = (QGuiApplication::keyboardModifiers() & Qt::AltModifier) && !(model && model->GetSettings().fullScreen);
    if (otherViewer) {
        const OSStatus status = CatchCode([&] {
            QByteArray alias;
            ThrowIfNot_(GetPrefHandle(QStringLiteral("AlternativeViewerAlias"), alias), "no other viewer chosen");
            FileRef application;
            ThrowIfOSErr_(ResolveAliasHandle(&alias, &application, true));
            FileRef file;
            if (GetFSSpecFromURL(GetURL(), file) != noErr)
                ThrowOSErr_(kMsgNoFileReference);
            // A desktop entry is launched by the desktop; a program is run with the file.
            if (application.Path().endsWith(QLatin1String(".desktop")))
                ThrowIfOSErr_(OpenFilesWithApplication(application.Name(), {file}));
            else
                ThrowIfNot_(QProcess::startDetached(application.Path(), {file.Path()}), "the viewer did not start");
        });
        if (status != noErr)
            ThrowOSErr_(kMsgOpenWithFailed);
        return;
    }
    if (!model)
        ThrowOSErr_(err_NilPointer, "no index to open the item from");
    model->ActivateItem(index, this, windowed);
}

void CIndexItem::PrintInMediaWindow(IndexViewServices* view)
{
    MediaViewerServices* viewer = GetMediaViewerServices();
    if (!viewer)
        ThrowOSErr_(err_NilPointer, "no media viewer");
    std::unique_ptr<CMedia> media(CreateMedia());
    if (!media)
        ThrowOSErr_(err_NilPointer, "no medium to print");
    viewer->PrintItem(*this, view, !(QGuiApplication::keyboardModifiers() & Qt::AltModifier));
}

// The error alert.

void CIndexItem::CopyErrorAlertTexts(QString& outPrompt, QString& outExplanation)
{
    outPrompt.clear();
    outExplanation.clear();
    if (!GetError())
        return;
    outExplanation = CopyLocalizedString(QStringLiteral("ERROR_DESCRIPTION_EXPLANATION"))
                         .arg(GetError()->GetMessage(), FormatDateTimeText(GetError()->GetTime(), shortDate, true))
                         .arg(GetError()->GetCode())
                         .arg(GetError()->GetErrorText());
    // What exactly failed, where it is known, under the code's own text.
    if (!GetError()->GetReason().empty())
        outExplanation += QStringLiteral("\n") + QString::fromStdString(GetError()->GetReason());
    outPrompt = CopyLocalizedString(QStringLiteral("ERROR_DESCRIPTION_PROMT")).arg(CopyFieldString(kFieldName, 1));
}

void CIndexItem::ShowErrorAlert()
{
    if (!GetError())
        return;
    QString prompt;
    QString explanation;
    CopyErrorAlertTexts(prompt, explanation);
    ShowMessageAlert(prompt + QStringLiteral("\n\n") + explanation, kCautionAlert);
}

// Drags.

namespace {
// The process a drag's records name. Asked of the system once: drags name
// thousands of items.
qint64 ThisProcess()
{
    static const qint64 process = QCoreApplication::applicationPid();
    return process;
}

QByteArray ItemFlavorRecord(const CIndexItem& item, SInt32 callerValue)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << quint32(kItemFlavorMagic) << ThisProcess() << qint32(callerValue) << quint64(item.GetSequenceNumber());
    return bytes;
}

// The file's URL when the item has one (a remote item's address, never a password).
QUrl DraggedURL(CIndexItem& item)
{
    QUrl url;
    CatchCode([&] { url = item.GetURL(); });
    if (url.isEmpty())
        CatchCode([&] { url = item.GetRemoteURL(); });
    return url.adjusted(QUrl::RemovePassword);
}
} // namespace

void CIndexItem::AddDragFlavors(QMimeData& drag, SInt32 callerValue)
{
    // Added to what the drag carries already: a drag of several items names them all.
    const QUrl url = DraggedURL(*this);
    if (!url.isEmpty())
        drag.setUrls(drag.urls() << url);
    drag.setData(kItemFlavor, drag.data(kItemFlavor) + ItemFlavorRecord(*this, callerValue));
}

void CIndexItem::AddDragFlavors(QMimeData& drag, const std::vector<CIndexItem*>& items, SInt32 callerValue)
{
    QList<QUrl> urls = drag.urls();
    QByteArray records = drag.data(kItemFlavor);
    records.reserve(records.size() + qsizetype(items.size()) * kItemFlavorSize);
    for (CIndexItem* item : items) {
        ThrowIfNil_(item);
        const QUrl url = DraggedURL(*item);
        if (!url.isEmpty())
            urls << url;
        records += ItemFlavorRecord(*item, callerValue);
    }
    if (!urls.isEmpty())
        drag.setUrls(urls);
    drag.setData(kItemFlavor, records);
}

bool CIndexItem::AddDragItem(QMimeData& drag)
{
    AddDragFlavors(drag, 0);
    return true;
}

bool CIndexItem::PeekDragSource(const QMimeData& drag, SInt32& outCallerValue)
{
    const QByteArray bytes = drag.data(kItemFlavor);
    if (bytes.size() < kItemFlavorSize)
        return false;
    QDataStream stream(bytes);
    stream.setByteOrder(QDataStream::BigEndian);
    quint32 magic = 0;
    qint64 process = 0;
    qint32 callerValue = 0;
    stream >> magic >> process >> callerValue;
    if (stream.status() != QDataStream::Ok || magic != kItemFlavorMagic || process != ThisProcess())
        return false;
    outCallerValue = callerValue;
    return true;
}

std::vector<CIndexItem*> CIndexItem::FindDraggedItems(const QMimeData& drag,
    const std::function<CIndexItem*(UInt64)>& find, SInt32* outCallerValue)
{
    const QByteArray bytes = drag.data(kItemFlavor);
    if (bytes.isEmpty() || bytes.size() % kItemFlavorSize != 0 || !find)
        return {};
    QDataStream stream(bytes);
    stream.setByteOrder(QDataStream::BigEndian);
    std::vector<CIndexItem*> items;
    items.reserve(size_t(bytes.size() / kItemFlavorSize));
    QSet<quint64> seen;
    qint32 firstCaller = 0;
    while (!stream.atEnd()) {
        quint32 magic = 0;
        qint64 process = 0;
        qint32 callerValue = 0;
        quint64 sequence = 0;
        stream >> magic >> process >> callerValue >> sequence;
        // Items of another run of the program are not ours to find; one drag
        // comes from one place, and names each item once.
        if (stream.status() != QDataStream::Ok || magic != kItemFlavorMagic || process != ThisProcess()
            || (!items.empty() && callerValue != firstCaller))
            return {};
        CIndexItem* item = find(sequence);
        if (!item || item->GetSequenceNumber() != sequence || seen.contains(sequence))
            return {};
        seen.insert(sequence);
        if (items.empty())
            firstCaller = callerValue;
        items.push_back(item);
    }
    if (outCallerValue)
        *outCallerValue = firstCaller;
    return items;
}

CIndexItem* CIndexItem::FindDraggedItem(const QMimeData& drag, const std::function<CIndexItem*(UInt64)>& find,
    SInt32* outCallerValue)
{
    const std::vector<CIndexItem*> items = FindDraggedItems(drag, find, outCallerValue);
    return items.empty() ? nullptr : items.front();
}
