#pragma once

#include "MacTypes.h"
#include "RegularFile.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// Cameras through libgphoto2: a camera is a driver's model name and a port
// ("usb:001,004", or "disk:/media/card" for a mass-storage card or a folder
// read by the "Directory Browse" driver). Every call that talks to a camera
// blocks: make it on a worker thread, never on the GUI thread.

// Thrown when a camera cannot be opened or answers with an error.
inline constexpr OSStatus kErrCameraFailed = -9950;
// A card's file changed after its copy began: it stays on the card.
inline constexpr OSStatus kErrCameraFileChanged = -9951;

struct CameraDevice {
    QString model;
    QString port;

    bool IsValid() const { return !model.isEmpty() && !port.isEmpty(); }
    // A card or folder: the camera's files lie in a mounted folder.
    bool IsMassStorage() const { return port.startsWith(QLatin1String("disk:")); }
    // The folder of a mass-storage camera ("" for others).
    QString MountPath() const;
    bool operator==(const CameraDevice& other) const = default;
};

struct CameraFileEntry {
    QString folder; // the camera's folder, "/DCIM/100CANON"
    QString name; // "IMG_0001.JPG"; a name that is not UTF-8 read as Latin-1
    qint64 size = -1; // bytes, -1 when the camera does not say
    QByteArray nameBytes; // the name as the camera gives it
};

// The cameras attached now: those libgphoto2 detects (of the mounted cards, only
// the user's removable media, under /run/media/USER or /media/USER), then the
// ones added by hand. Blocking.
std::vector<CameraDevice> DetectCameras();
// Cameras that detection cannot find by itself (a folder read as a camera).
void SetManualCameras(std::vector<CameraDevice> devices);

// One open camera. Opening claims the device; the destructor releases it, so
// that another program (or the desktop's own import) may use it again.
class CameraConnection {
public:
    // Throws kErrCameraFailed, with libgphoto2's reason, when the camera
    // cannot be opened (or libgphoto2 cannot be loaded).
    explicit CameraConnection(const CameraDevice& device);
    ~CameraConnection();
    CameraConnection(const CameraConnection&) = delete;
    CameraConnection& operator=(const CameraConnection&) = delete;

    const CameraDevice& Device() const { return mDevice; }
    // The pictures and movies of the camera: every file under its folders,
    // depth first in the camera's own order, with DCIM walked when present. A
    // card's entries are its regular files only (no pipes, devices or links to them).
    std::vector<CameraFileEntry> ListFiles();
    // Writes the file's bytes into the open descriptor; noErr or the code. A
    // card's file is read as a regular file (notAFileErr for anything else) and
    // never waited on; `opened` gets that file as it was when its copy began.
    OSStatus Download(const CameraFileEntry& entry, int fd, FileIdentity* opened = nullptr);
    // A card's file goes only while it is still the file `copied` says (its copy's
    // `opened`): one that changed since stays, with kErrCameraFileChanged.
    OSStatus Delete(const CameraFileEntry& entry, const FileIdentity* copied = nullptr);

private:
    struct Impl;
    CameraDevice mDevice;
    std::unique_ptr<Impl> mImpl;
};

// Tells when cameras come and go: a udev monitor of USB devices where udev
// runs, and a poll every few seconds otherwise (containers have no udev).
// Detection runs on a thread of the monitor's own; the signals arrive on the
// monitor's thread (the GUI thread).
class CameraMonitor : public QObject {
    Q_OBJECT
public:
    explicit CameraMonitor(QObject* parent = nullptr);
    ~CameraMonitor() override;

    // Starts watching; the first detection, a moment later, reports the cameras
    // attached then as the starting state (no signal for them).
    void Start(int pollMilliseconds = 3000);
    const std::vector<CameraDevice>& Cameras() const { return mCameras; }
    // Detects again at once (a manual camera was added).
    void Recheck();

signals:
    // The device travels as a value: a slot may ask the user in a nested event
    // loop, during which the next detection replaces Cameras().
    void CameraAdded(CameraDevice device);
    void CameraRemoved(CameraDevice device);

private:
    void Detect();
    void Deliver(std::vector<CameraDevice> found);
    void StartUdev();

    std::vector<CameraDevice> mCameras;
    bool mStarted = false;
    bool mFirst = true;
    std::atomic<bool> mDetecting {false};
    std::shared_ptr<std::atomic<bool>> mAlive;
    struct Udev;
    std::unique_ptr<Udev> mUdev;
};

// Unmounts the volume whose root is the camera's folder (a card of a
// mass-storage camera), through GIO; nothing for other cameras or for a folder
// that is not a mount's root. Answers at once; the unmount finishes later.
// kErrCameraFailed when GIO cannot be loaded.
OSStatus UnmountCameraVolume(const CameraDevice& device);
