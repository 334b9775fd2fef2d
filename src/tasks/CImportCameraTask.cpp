#include "CImportCameraTask.h"

#include "Alerts.h"
#include "CEXIFInfo.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "ImageMetadata.h"
#include "UserData.h"
#include "FieldKeys.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "FirstWindowShown.h"
#include "GraphicsImporter.h"
#include "LCommander.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "SafeSave.h"
#include "ThreadErrors.h"
#include "UReportErrors.h"
#include "WorkerPool.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcCamera, "orvex.camera")

// Files downloaded in one go before their items are made.
constexpr std::size_t kDownloadBatch = 16;

// "ICAConnectCameraAction": what a camera's arrival does.
constexpr SInt32 kConnectActionNothing = 3;
constexpr SInt32 kConnectActionNewIndex = 2;

bool gCameraConnected = false;
QPointer<CameraMonitor> gMonitor;

// The first "X" (or "Y") of a localized text replaced, as the texts are written.
QString ReplaceFirst(QString text, QChar placeholder, const QString& value)
{
    const qsizetype at = text.indexOf(placeholder);
    if (at >= 0)
        text.replace(at, 1, value);
    return text;
}

QString CameraName(const CameraDevice& device)
{
    return device.IsMassStorage() ? QFileInfo(device.MountPath()).fileName() : device.model;
}

bool AskImport(const CameraDevice& device, SInt32 count, const FileRef& downloadFolder)
{
    const QString message = ReplaceFirst(
        ReplaceFirst(CopyLocalizedCFString(600, 89), QLatin1Char('X'), QString::number(count)), QLatin1Char('Y'),
        CameraName(device));
    const bool deleting = GetPrefBoolean(QStringLiteral("ICADeleteAfterDownload"));
    const QString explanation
        = ReplaceFirst(CopyLocalizedCFString(600, deleting ? 91 : 90), QLatin1Char('X'), downloadFolder.Name());
    return AskYesNoAlert(message, explanation, kNoteAlert);
}

constexpr UInt16 kExifColorSpace = 0xA001;
constexpr UInt16 kColorSpaceSRGB = 1;
constexpr UInt16 kColorSpaceAdobeRGB = 2; // as some cameras write it
constexpr UInt16 kColorSpaceUncalibrated = 0xFFFF; // the DCF's optional space: Adobe RGB

// The profile of the colour space a camera JPEG records in its EXIF; empty when
// the file has a profile already or names no space we know.
QByteArray CameraColorProfile(const FileRef& file)
{
    std::unique_ptr<GraphicsImporter> importer;
    if (GraphicsImporter::OpenFile(file.Path(), 'JPEG', importer) != noErr || importer->FormatType() != 'JPEG'
        || !importer->GetColorProfile().isEmpty())
        return {};
    UserData metadata;
    QByteArray space;
    if (importer->GetMetaData(metadata) != noErr
        || metadata.GetUserData(space, EXIFUserDataType(kExifColorSpace), 1) != noErr || space.size() != 2)
        return {};
    switch (UInt16((UInt8(space[0]) << 8) | UInt8(space[1]))) {
    case kColorSpaceSRGB: return QColorSpace(QColorSpace::SRgb).iccProfile();
    case kColorSpaceAdobeRGB:
    case kColorSpaceUncalibrated: return QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    default: return {};
    }
}

} // namespace

void EmbedCameraColorProfile(const FileRef& file)
{
    ExportMetadata metadata;
    metadata.iccProfile = CameraColorProfile(file);
    if (metadata.iccProfile.isEmpty())
        return;
    // Written into a copy that then replaces the download, so that a failure
    // leaves the picture as the camera gave it.
    const QString copy = file.Path() + QStringLiteral(".profile");
    QFile::remove(copy);
    OSStatus status = QFile::copy(file.Path(), copy) ? WriteImageMetadata(copy, metadata) : OSStatus(ioErr);
    if (status == noErr) {
        QFile written(copy);
        status = written.open(QIODevice::ReadOnly) ? ReplaceFileSafely(file.Path(), written.readAll()) : OSStatus(ioErr);
    }
    QFile::remove(copy);
    if (status != noErr)
        qCWarning(lcCamera) << "the camera's colour profile could not be embedded in" << file.Path() << status;
}

UInt32 CameraDownloadFlags()
{
    UInt32 flags = 0;
    if (GetPrefBoolean(QStringLiteral("ICADeleteAfterDownload")))
        flags |= kCameraDeleteAfterDownload;
    if (GetPrefBoolean(QStringLiteral("ICACreateCustomIcon")))
        flags |= kCameraCreateCustomIcon;
    if (GetPrefBoolean(QStringLiteral("ICAAddMetaDataToFinderComment")))
        flags |= kCameraAddMetaDataToComment;
    if (GetPrefBoolean(QStringLiteral("ICAAdjustCreationDate")))
        flags |= kCameraAdjustCreationDate;
    if (!GetPrefBoolean(QStringLiteral("ICAEmbedColorSyncProfile")))
        flags |= kCameraNoColorProfile;
    return flags;
}

// --- Cameras coming and going ----------------------------------------------------------

void RegisterCameraNotifications()
{
    if (gMonitor)
        return;
    gMonitor = new CameraMonitor(QCoreApplication::instance());
    QObject::connect(gMonitor, &CameraMonitor::CameraAdded, gMonitor, [](CameraDevice device) {
        gCameraConnected = true;
        LCommander::SetUpdateCommandStatus(true);
        // The question is asked from the event loop with a copy of the device,
        // never from inside the monitor's delivery.
        QTimer::singleShot(0, gMonitor, [device = std::move(device)] {
            RunReportingErrors([&] { ImportFromCamera(device, true); });
        });
    });
    QObject::connect(gMonitor, &CameraMonitor::CameraRemoved, gMonitor, [](CameraDevice) {
        gCameraConnected = gMonitor && !gMonitor->Cameras().empty();
        LCommander::SetUpdateCommandStatus(true);
    });
    // The first detection gives the starting state without offering an import.
    // The monitor (libudev, then libgphoto2) starts after the program's start.
    RunOnceAWindowIsShown(gMonitor, [] {
        if (gMonitor)
            gMonitor->Start();
    });
}

void UnregisterCameraNotifications()
{
    delete gMonitor.data();
    gCameraConnected = false;
}

bool IsCameraConnected()
{
    return gCameraConnected || (gMonitor && !gMonitor->Cameras().empty());
}

CameraDevice FindFirstCamera()
{
    std::vector<CameraDevice> cameras = WorkerPool::Run([] { return DetectCameras(); });
    gCameraConnected = !cameras.empty();
    return cameras.empty() ? CameraDevice() : cameras.front();
}

bool IsCameraAttached(const CameraDevice& device)
{
    const std::vector<CameraDevice> cameras = WorkerPool::Run([] { return DetectCameras(); });
    return std::find(cameras.begin(), cameras.end(), device) != cameras.end();
}

void ImportFromConnectedCamera()
{
    ImportFromCamera(FindFirstCamera());
}

void EjectCamera(const CameraDevice& device, bool notify)
{
    if (!GetPrefBoolean(QStringLiteral("ICADisconnectCamera")))
        return;
    // The connection is already released when the import or the question ends;
    // a card is unmounted so that it may be pulled out.
    ThrowIfOSErr_(UnmountCameraVolume(device));
    gCameraConnected = false;
    LCommander::SetUpdateCommandStatus(true);
    if (notify) {
        ReportError(kMsgCameraDisconnected, kNoteAlert);
        PlaySoundResource(kCompletionSoundID);
    }
}

void ImportFromCamera(CameraDevice device, bool justConnected)
{
    if (GetPrefNumber(QStringLiteral("ICAConnectCameraAction")) == kConnectActionNothing)
        return;
    std::vector<CameraFileEntry> files;
    if (device.IsValid()) {
        files = WorkerPool::Run([&device] {
            CameraConnection camera(device);
            return camera.ListFiles();
        });
    }
    if (files.empty()) {
        if (device.IsValid())
            EjectCamera(device, false);
        ReportError(GetPrefBoolean(QStringLiteral("ICADisconnectCamera")) ? kMsgNoCameraImagesDisconnected
                                                                           : kMsgNoCameraImages,
            kNoteAlert);
        return;
    }
    const FileRef downloadFolder = GetDownloadFolderRef();
    if (!downloadFolder.IsValid())
        ThrowOSErr_(fnfErr, "no download folder");
    // Asked before any index is made: "no" leaves nothing behind and is no error,
    // and says nothing.
    const bool atOnce = justConnected && GetPrefBoolean(QStringLiteral("ICALaunchIfNotRunning"));
    if (!atOnce && !AskImport(device, SInt32(files.size()), downloadFolder)) {
        EjectCamera(device, false);
        return;
    }
    // The card may have been pulled out while the question was up.
    if (!IsCameraAttached(device)) {
        ReportError(kMsgCameraGone, kNoteAlert);
        return;
    }
    CIndexDoc* document = CIndexDoc::GetFrontDocument();
    if (!document || GetPrefNumber(QStringLiteral("ICAConnectCameraAction")) == kConnectActionNewIndex)
        document = new CIndexDoc(LCommander::GetTopCommander(), QUrl(), false, false);
    document->ShowWindow();
    (new CImportCameraTask(601, 47, document->GetModel(), document, device, std::move(files), downloadFolder))
        ->Start();
}

// --- CImportCameraTask -----------------------------------------------------------------

CImportCameraTask::CImportCameraTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, CIndexDoc* document,
    const CameraDevice& device, std::vector<CameraFileEntry> files, const FileRef& downloadFolder)
    : CSourceImportTask(titleList, titleIndex, model)
    , mDocument(document)
    , mDocumentAlive(document ? document->GetLifetime() : std::weak_ptr<const void>())
    , mDevice(device)
    , mFiles(std::move(files))
    , mDownloadFolder(downloadFolder)
    , mFlags(CameraDownloadFlags())
{
}

CImportCameraTask::~CImportCameraTask()
{
    // The camera is released on the worker that talks to it.
    if (mCamera) {
        std::unique_ptr<CameraConnection> camera = std::move(mCamera);
        WorkerPool::Run([&camera] { camera.reset(); });
    }
}

void CImportCameraTask::RunTask()
{
    BeginWork();
    ShowPauseButton(false);
    ShowStopButton(true);
    SetStatusCaption(601, 49);
    SetProgressMax(SInt32(mFiles.size()));
    SetProgress(0);
    SetIndeterminate(true);
    ShowProgress(0.1);

    // The camera the user was asked about, never simply the first one attached.
    mCamera = WorkerPool::Run([this] { return std::make_unique<CameraConnection>(mDevice); });
    SetCaption6(CameraName(mDevice));
    SetStatusCaption(601, 11);
    SetIndeterminate(false);

    const bool adjustDates = mFlags & kCameraAdjustCreationDate;
    SInt32 done = 0;
    for (std::size_t first = 0; first < mFiles.size();) {
        CheckPause();
        const std::size_t count = CountNextBatch(first);
        SetItemCaption(mFiles[first].name);
        std::vector<FileRef> local(count);
        std::vector<FileIdentity> copied(count);
        std::vector<UInt32> dates(count, 0);
        if (mDevice.IsMassStorage()) {
            // A card's files are copied side by side, each picture's date read
            // as soon as it is down.
            WorkerPool::RunEach(count, [&](std::size_t i) {
                local[i] = DownloadFile(*mCamera, mFiles[first + i], copied[i]);
                if (adjustDates)
                    dates[i] = ReadPictureDate(local[i]);
            });
        } else {
            // A camera answers one request at a time: one job downloads the
            // batch, and the pictures' dates are then read side by side.
            WorkerPool::Run([&] {
                for (std::size_t i = 0; i < count && !WorkerPool::CancelRequested(); ++i)
                    local[i] = DownloadFile(*mCamera, mFiles[first + i], copied[i]);
            });
            if (adjustDates)
                WorkerPool::RunEach(count, [&](std::size_t i) { dates[i] = ReadPictureDate(local[i]); });
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!local[i].IsValid()) {
                ++mFailed;
                continue;
            }
            if (dates[i] != 0)
                SetFileCreationDate(local[i].ToUrl(), dates[i]);
            auto item = std::make_unique<CIndexItem>(local[i]);
            DressDownloadedFile(local[i], *item);
            mQueued.push_back({std::move(item), mFiles[first + i], copied[i]});
        }
        InsertQueued();
        first += count;
        done += SInt32(count);
        SetProgress(done);
        SInt32 zero = 0;
        Broadcast(msg_ViewStateChanged, &zero);
        YieldIfTimeUp(kUseTaskSlice);
    }
    // Items made while another task held the list wait for it here.
    while (!mQueued.empty()) {
        LThread::Sleep(50);
        InsertQueued();
    }
    {
        std::unique_ptr<CameraConnection> camera = std::move(mCamera);
        WorkerPool::Run([&camera] { camera.reset(); });
    }
    if (mFailed > 0)
        qCWarning(lcCamera) << mFailed << "of" << mFiles.size() << "camera files could not be downloaded";
    // A card pulled out during the import is told as such, never as ejected.
    if (!IsCameraAttached(mDevice)) {
        if (mFailed > 0)
            ReportError(kMsgCameraGone, kNoteAlert);
    } else {
        if (mFailed > 0)
            ReportError(ExceptionCode(kErrCameraFailed, "camera files not downloaded"), kCautionAlert);
        if (GetPrefBoolean(QStringLiteral("ICADisconnectCamera")))
            EjectCamera(mDevice, true);
    }
    if (!mChangedOnCard.isEmpty())
        ReportErrorWithText(ExceptionCode(kErrCameraFileChanged, mChangedOnCard.join(QStringLiteral(", ")).toStdString()),
            CopyLocalizedString(QStringLiteral("CAMERA_FILES_CHANGED")).arg(mChangedOnCard.join(QStringLiteral(", "))),
            kCautionAlert);
    Finish(false);
}

std::size_t CImportCameraTask::CountNextBatch(std::size_t first) const
{
    QSet<QString> names;
    std::size_t end = first;
    while (end < mFiles.size() && end - first < kDownloadBatch && !names.contains(mFiles[end].name))
        names.insert(mFiles[end++].name);
    return end - first;
}

FileRef CImportCameraTask::DownloadFile(CameraConnection& camera, const CameraFileEntry& entry, FileIdentity& copied)
{
    FileRef local;
    int fd = -1;
    // Cards repeat their names (IMG_0001.JPG): an earlier download is never replaced.
    OSStatus status = CreateFreeFile(mDownloadFolder, entry.name, local, fd);
    if (status != noErr) {
        qCWarning(lcCamera) << "no file for" << entry.name << "in" << mDownloadFolder.Path() << status;
        return {};
    }
    // A copy whose original leaves the camera must be on the disk first.
    const bool mustLast = mFlags & kCameraDeleteAfterDownload;
    copied.size = -1;
    status = camera.Download(entry, fd, &copied);
    if (status == noErr && mustLast && ::fsync(fd) != 0)
        status = ioErr;
    struct stat info {};
    // Only a whole copy counts: the size the camera gave, or at least some bytes,
    // and of a card's file the size it had as its copy began.
    if (status == noErr
        && (::fstat(fd, &info) != 0 || info.st_size == 0 || (entry.size >= 0 && info.st_size != entry.size)
            || (copied.size >= 0 && info.st_size != copied.size)))
        status = kErrCameraFailed;
    ::close(fd);
    if (status != noErr) {
        ::unlink(local.NativePath().constData());
        return {};
    }
    if (!(mFlags & kCameraNoColorProfile))
        EmbedCameraColorProfile(local);
    return local;
}

UInt32 CImportCameraTask::ReadPictureDate(const FileRef& file)
{
    if (!file.IsValid() || !CanCarryImageMetadata(file.Path()))
        return 0;
    UserData data;
    if (ReadImageFileMetadata(file.Path(), QString(), data) != noErr)
        return 0;
    return CEXIFInfo(&data).GetDateTimeOriginal();
}

void CImportCameraTask::DressDownloadedFile(const FileRef& file, CIndexItem& item)
{
    if (mFlags & kCameraAddMetaDataToComment) {
        QStringList parts;
        for (SInt32 key : {kFieldModel, kFieldExposureSummary, kFieldDateTimeOriginal}) {
            const QString text = item.CopyFieldString(key, 0).trimmed();
            if (!text.isEmpty() && text != QLatin1String("-"))
                parts << text;
        }
        if (!parts.isEmpty())
            WriteFinderComment(file, parts.join(QStringLiteral(", ")));
    }
    if (mFlags & kCameraCreateCustomIcon) {
        try {
            item.UseThumbnailAsFileIcon();
        } catch (...) {
            // The icon is a nicety: the picture is imported all the same.
            qCWarning(lcCamera) << "no custom icon for" << file.Path() << CurrentExceptionCode().what();
        }
    }
}

void CImportCameraTask::InsertQueued()
{
    CIndexModel* model = GetModel();
    // Another task walking the list holds it locked: the items wait for it,
    // never breaking into its lock.
    while (model && !mQueued.empty() && !model->IsItemListLocked()) {
        Queued queued = std::move(mQueued.front());
        mQueued.pop_front();
        const SInt32 at = model->InsertItem(queued.item.release(), kInsertAtEnd);
        model->SelectIndex(at); // each picture comes in selected
        if (TaskOwnerView* view = GetOwnerView()) {
            view->AdjustImageSize();
            view->RefreshItem(at);
        }
        ++mImported;
        if (mFlags & kCameraDeleteAfterDownload) {
            CameraConnection* camera = mCamera.get();
            if (camera && WorkerPool::Run([&] { return camera->Delete(queued.entry, &queued.copied); })
                    == kErrCameraFileChanged)
                mChangedOnCard << queued.entry.name;
        }
    }
}

void CImportCameraTask::Finish(bool stopped)
{
    CSourceImportTask::Finish(stopped);
    // Saved only where it has a file to go to: an untitled index waits for the user.
    if (GetPrefBoolean(QStringLiteral("IndexAutoSave")) && !mDocumentAlive.expired() && mDocument->IsSpecified())
        mDocument->DoSave();
}
