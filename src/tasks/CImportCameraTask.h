#pragma once

#include "CSourceImportTask.h"
#include "Cameras.h"
#include "FileRef.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

class CIndexDoc;

// Reports of the camera import ("500:63", "500:69", "500:70").
inline constexpr SInt32 kMsgNoCameraImages = 100063;
inline constexpr SInt32 kMsgCameraDisconnected = 100069;
inline constexpr SInt32 kMsgNoCameraImagesDisconnected = 100070;
// The camera went away while it was asked about or read.
inline constexpr SInt32 kMsgCameraGone = 100080;

// The download flags that the preferences give a camera import.
enum : UInt32 {
    kCameraDeleteAfterDownload = 0x01,
    kCameraCreateCustomIcon = 0x02,
    kCameraAddMetaDataToComment = 0x04,
    kCameraAdjustCreationDate = 0x08,
    kCameraNoColorProfile = 0x80,
};
UInt32 CameraDownloadFlags();
// Gives a downloaded camera JPEG without a colour profile the profile of the
// colour space its EXIF names (sRGB, or Adobe RGB for the DCF's optional space);
// the file is replaced whole, or left as it was.
void EmbedCameraColorProfile(const FileRef& file);

// Cameras as the program sees them: a monitor started at start-up keeps the
// "connected" state and offers an import when a camera arrives.
void RegisterCameraNotifications();
void UnregisterCameraNotifications();
bool IsCameraConnected();
// The first camera attached, or an invalid device. Blocking (runs the
// detection on the worker pool while the caller yields).
CameraDevice FindFirstCamera();
// The import command: the first camera's pictures.
void ImportFromConnectedCamera();
// Whether the camera is still attached (detected again). Blocking, as FindFirstCamera.
bool IsCameraAttached(const CameraDevice& device);
// Asks whether to import the camera's pictures and starts the import into the
// front index or a new one ("ICAConnectCameraAction"). A camera without
// pictures is released and reported; declining releases it and reports nothing;
// a camera gone by the time the user says yes is reported as gone. The device
// is a copy: the question runs a nested event loop. A camera that has just
// connected is imported without the question when "ICALaunchIfNotRunning" asks so.
void ImportFromCamera(CameraDevice device, bool justConnected = false);
// Releases the camera and, for a card, unmounts it ("ICADisconnectCamera");
// with `notify` the user is told it may be unplugged.
void EjectCamera(const CameraDevice& device, bool notify);

// Downloads the listed files of one camera into the download folder, one item
// each, in order, selected. A file is deleted from the camera only once its
// local copy is whole and its item is in the index. Stop works between files.
class CImportCameraTask : public CSourceImportTask {
public:
    // Owned by the view ('nilP' for none); the document, when there is one, is
    // saved at the end with "IndexAutoSave".
    CImportCameraTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, CIndexDoc* document,
        const CameraDevice& device, std::vector<CameraFileEntry> files, const FileRef& downloadFolder);
    ~CImportCameraTask() override;

    void Finish(bool stopped) override;

    SInt32 CountImported() const { return mImported; }
    SInt32 CountFailed() const { return mFailed; }

protected:
    void RunTask() override;

private:
    // How many files from `first` on are downloaded together: at most a batch,
    // and never two of one name, so that a name the card repeats (in two of its
    // folders) is numbered in the card's order whichever copy ends first.
    std::size_t CountNextBatch(std::size_t first) const;
    // Downloads one file under a free name; the local file, or invalid on
    // failure. `copied` gets the card's file as its copy began. Blocking: runs on a worker.
    FileRef DownloadFile(CameraConnection& camera, const CameraFileEntry& entry, FileIdentity& copied);
    // The picture's EXIF date (seconds since 1904, local), 0 for none. Blocking.
    static UInt32 ReadPictureDate(const FileRef& file);
    void DressDownloadedFile(const FileRef& file, CIndexItem& item);
    // Inserts the queued items while the index's list is free.
    void InsertQueued();

    CIndexDoc* mDocument;
    std::weak_ptr<const void> mDocumentAlive;
    CameraDevice mDevice;
    std::vector<CameraFileEntry> mFiles;
    FileRef mDownloadFolder;
    UInt32 mFlags = 0;
    struct Queued {
        std::unique_ptr<CIndexItem> item;
        CameraFileEntry entry;
        FileIdentity copied;
    };
    std::deque<Queued> mQueued;
    std::unique_ptr<CameraConnection> mCamera;
    SInt32 mImported = 0;
    SInt32 mFailed = 0;
    QStringList mChangedOnCard; // files kept on the card: they changed after their copy began
};
