#include "Cameras.h"

#include "ExceptionCode.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

// GIO names a struct field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#include <gphoto2/gphoto2.h>
#include <libudev.h>

#include <mutex>

#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcCamera, "orvex.camera")

constexpr int kFirstDetectionDelayMs = 1500;

std::mutex gManualMutex;
std::vector<CameraDevice> gManualCameras;

// Loading every driver's abilities reads dozens of libraries: done once, and
// shared by every detection and connection (read-only once loaded).
std::mutex gAbilitiesMutex;
CameraAbilitiesList* gAbilities = nullptr;

CameraAbilitiesList* Abilities(GPContext* context)
{
    std::lock_guard lock(gAbilitiesMutex);
    if (!gAbilities) {
        gp_abilities_list_new(&gAbilities);
        if (gp_abilities_list_load(gAbilities, context) < GP_OK)
            qCWarning(lcCamera) << "camera drivers could not be loaded";
    }
    return gAbilities;
}

[[noreturn]] void ThrowCameraError(int result, const QString& what)
{
    ThrowOSErr_(kErrCameraFailed, (what + QStringLiteral(": ") + QString::fromUtf8(gp_result_as_string(result))).toStdString());
}

struct ListHolder {
    ListHolder() { gp_list_new(&list); }
    ~ListHolder() { gp_list_free(list); }
    CameraList* list = nullptr;
};

QString JoinFolder(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

QString CameraDevice::MountPath() const
{
    return IsMassStorage() ? port.mid(5) : QString();
}

std::vector<CameraDevice> DetectCameras()
{
    std::vector<CameraDevice> found;
    GPContext* context = gp_context_new();
    CameraAbilitiesList* abilities = Abilities(context);
    GPPortInfoList* ports = nullptr;
    gp_port_info_list_new(&ports);
    ListHolder detected;
    if (gp_port_info_list_load(ports) >= GP_OK
        && gp_abilities_list_detect(abilities, ports, detected.list, context) >= GP_OK) {
        for (int i = 0; i < gp_list_count(detected.list); ++i) {
            const char* model = nullptr;
            const char* port = nullptr;
            gp_list_get_name(detected.list, i, &model);
            gp_list_get_value(detected.list, i, &port);
            // The generic "usb:" entry stands for a device already listed by its bus address.
            CameraDevice device {QString::fromUtf8(model), QString::fromUtf8(port)};
            if (device.IsValid() && device.port != QLatin1String("usb:")
                && std::find(found.begin(), found.end(), device) == found.end())
                found.push_back(device);
        }
    }
    gp_port_info_list_free(ports);
    gp_context_unref(context);
    std::lock_guard lock(gManualMutex);
    for (const CameraDevice& device : gManualCameras)
        if (!device.IsMassStorage() || QFileInfo(device.MountPath()).isDir())
            found.push_back(device);
    return found;
}

void SetManualCameras(std::vector<CameraDevice> devices)
{
    std::lock_guard lock(gManualMutex);
    gManualCameras = std::move(devices);
}

// --- CameraConnection -------------------------------------------------------------------

struct CameraConnection::Impl {
    GPContext* context = nullptr;
    Camera* camera = nullptr;
    GPPortInfoList* ports = nullptr;
};

CameraConnection::CameraConnection(const CameraDevice& device)
    : mDevice(device)
    , mImpl(std::make_unique<Impl>())
{
    mImpl->context = gp_context_new();
    gp_camera_new(&mImpl->camera);
    CameraAbilitiesList* abilities = Abilities(mImpl->context);
    const int model = gp_abilities_list_lookup_model(abilities, device.model.toUtf8().constData());
    if (model < GP_OK)
        ThrowCameraError(model, QStringLiteral("no driver for camera ") + device.model);
    CameraAbilities ability;
    gp_abilities_list_get_abilities(abilities, model, &ability);
    gp_camera_set_abilities(mImpl->camera, ability);

    gp_port_info_list_new(&mImpl->ports);
    int result = gp_port_info_list_load(mImpl->ports);
    if (result < GP_OK)
        ThrowCameraError(result, QStringLiteral("camera ports"));
    const int port = gp_port_info_list_lookup_path(mImpl->ports, device.port.toUtf8().constData());
    if (port < GP_OK)
        ThrowCameraError(port, QStringLiteral("no camera port ") + device.port);
    GPPortInfo info;
    gp_port_info_list_get_info(mImpl->ports, port, &info);
    gp_camera_set_port_info(mImpl->camera, info);
    result = gp_camera_init(mImpl->camera, mImpl->context);
    if (result < GP_OK)
        ThrowCameraError(result, QStringLiteral("camera ") + device.model + QStringLiteral(" at ") + device.port);
}

CameraConnection::~CameraConnection()
{
    if (mImpl->camera) {
        gp_camera_exit(mImpl->camera, mImpl->context);
        gp_camera_unref(mImpl->camera);
    }
    if (mImpl->ports)
        gp_port_info_list_free(mImpl->ports);
    gp_context_unref(mImpl->context);
}

std::vector<CameraFileEntry> CameraConnection::ListFiles()
{
    std::vector<CameraFileEntry> files;
    // Depth first from the root, or from DCIM where the camera has one.
    std::vector<QString> folders;
    {
        ListHolder top;
        const int result = gp_camera_folder_list_folders(mImpl->camera, "/", top.list, mImpl->context);
        if (result < GP_OK)
            ThrowCameraError(result, QStringLiteral("camera folders"));
        bool hasDcim = false;
        for (int i = 0; i < gp_list_count(top.list); ++i) {
            const char* name = nullptr;
            gp_list_get_name(top.list, i, &name);
            hasDcim = hasDcim || qstrcmp(name, "DCIM") == 0;
        }
        folders.push_back(hasDcim ? QStringLiteral("/DCIM") : QStringLiteral("/"));
    }
    constexpr int kMaxFolders = 4096; // a card's folder tree is shallow; a loop is not walked for ever
    for (int walked = 0; !folders.empty() && walked < kMaxFolders; ++walked) {
        const QString folder = folders.front();
        folders.erase(folders.begin());
        const QByteArray path = folder.toUtf8();
        ListHolder names;
        if (gp_camera_folder_list_files(mImpl->camera, path.constData(), names.list, mImpl->context) >= GP_OK) {
            for (int i = 0; i < gp_list_count(names.list); ++i) {
                const char* name = nullptr;
                gp_list_get_name(names.list, i, &name);
                CameraFileEntry entry {folder, QString::fromUtf8(name), -1};
                CameraFileInfo info {};
                if (gp_camera_file_get_info(mImpl->camera, path.constData(), name, &info, mImpl->context) >= GP_OK
                    && (info.file.fields & GP_FILE_INFO_SIZE))
                    entry.size = qint64(info.file.size);
                files.push_back(std::move(entry));
            }
        }
        ListHolder subfolders;
        if (gp_camera_folder_list_folders(mImpl->camera, path.constData(), subfolders.list, mImpl->context) >= GP_OK) {
            std::vector<QString> inner;
            for (int i = 0; i < gp_list_count(subfolders.list); ++i) {
                const char* name = nullptr;
                gp_list_get_name(subfolders.list, i, &name);
                inner.push_back(JoinFolder(folder, QString::fromUtf8(name)));
            }
            folders.insert(folders.begin(), inner.begin(), inner.end());
        }
    }
    return files;
}

OSStatus CameraConnection::Download(const CameraFileEntry& entry, int fd)
{
    CameraFile* file = nullptr;
    // libgphoto2 closes the descriptor it is given when the file goes: it gets
    // a copy, and the caller's stays open.
    const int own = ::dup(fd);
    if (own < 0)
        return kErrCameraFailed;
    if (gp_file_new_from_fd(&file, own) < GP_OK) {
        ::close(own);
        return kErrCameraFailed;
    }
    const int result = gp_camera_file_get(mImpl->camera, entry.folder.toUtf8().constData(),
        entry.name.toUtf8().constData(), GP_FILE_TYPE_NORMAL, file, mImpl->context);
    gp_file_unref(file);
    if (result < GP_OK) {
        qCWarning(lcCamera) << "download of" << entry.name << "failed:" << gp_result_as_string(result);
        return kErrCameraFailed;
    }
    return noErr;
}

OSStatus CameraConnection::Delete(const CameraFileEntry& entry)
{
    const int result = gp_camera_file_delete(mImpl->camera, entry.folder.toUtf8().constData(),
        entry.name.toUtf8().constData(), mImpl->context);
    if (result < GP_OK) {
        qCWarning(lcCamera) << "deleting" << entry.name << "from the camera failed:" << gp_result_as_string(result);
        return kErrCameraFailed;
    }
    return noErr;
}

// --- CameraMonitor ----------------------------------------------------------------------

struct CameraMonitor::Udev {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    std::thread detector;
    ~Udev()
    {
        notifier.reset();
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
};

CameraMonitor::CameraMonitor(QObject* parent)
    : QObject(parent)
    , mAlive(std::make_shared<std::atomic<bool>>(true))
    , mUdev(std::make_unique<Udev>())
{
}

CameraMonitor::~CameraMonitor()
{
    *mAlive = false;
    if (mUdev->detector.joinable())
        mUdev->detector.join();
}

void CameraMonitor::Start(int pollMilliseconds)
{
    if (mStarted)
        return;
    mStarted = true;
    StartUdev();
    if (!mUdev->notifier) {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &CameraMonitor::Detect);
        poll->start(pollMilliseconds);
    }
    // The first detection loads every camera driver (dozens of libraries): it
    // waits until the program's start is over rather than compete with it.
    QTimer::singleShot(kFirstDetectionDelayMs, this, &CameraMonitor::Detect);
}

void CameraMonitor::Recheck()
{
    Detect();
}

void CameraMonitor::StartUdev()
{
    // Only where a udev daemon runs does the kernel's news reach the monitor.
    if (!QFileInfo::exists(QStringLiteral("/run/udev/control")))
        return;
    mUdev->context = udev_new();
    if (!mUdev->context)
        return;
    mUdev->monitor = udev_monitor_new_from_netlink(mUdev->context, "udev");
    if (!mUdev->monitor || udev_monitor_filter_add_match_subsystem_devtype(mUdev->monitor, "usb", "usb_device") < 0
        || udev_monitor_enable_receiving(mUdev->monitor) < 0)
        return;
    mUdev->notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(mUdev->monitor), QSocketNotifier::Read);
    connect(mUdev->notifier.get(), &QSocketNotifier::activated, this, [this] {
        if (udev_device* device = udev_monitor_receive_device(mUdev->monitor))
            udev_device_unref(device);
        // The driver needs a moment before the camera answers.
        QTimer::singleShot(1000, this, &CameraMonitor::Detect);
    });
}

void CameraMonitor::Detect()
{
    if (mDetecting.exchange(true))
        return;
    if (mUdev->detector.joinable())
        mUdev->detector.join();
    QPointer<CameraMonitor> self(this);
    std::shared_ptr<std::atomic<bool>> alive = mAlive;
    mUdev->detector = std::thread([self, alive] {
        std::vector<CameraDevice> found = DetectCameras();
        if (!*alive)
            return;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, found = std::move(found)]() mutable {
            if (self)
                self->Deliver(std::move(found));
        });
    });
}

void CameraMonitor::Deliver(std::vector<CameraDevice> found)
{
    mDetecting = false;
    std::vector<CameraDevice> before = std::move(mCameras);
    mCameras = std::move(found);
    if (mFirst) {
        mFirst = false;
        return;
    }
    for (const CameraDevice& device : before)
        if (std::find(mCameras.begin(), mCameras.end(), device) == mCameras.end())
            emit CameraRemoved(device);
    for (const CameraDevice& device : mCameras)
        if (std::find(before.begin(), before.end(), device) == before.end())
            emit CameraAdded(device);
}

// --- Ejecting ---------------------------------------------------------------------------

OSStatus UnmountCameraVolume(const CameraDevice& device)
{
    if (!device.IsMassStorage())
        return noErr;
    const QString folder = QDir(device.MountPath()).canonicalPath();
    if (folder.isEmpty())
        return noErr;
    GFile* file = g_file_new_for_path(QFile::encodeName(folder).constData());
    GError* error = nullptr;
    GMount* mount = g_file_find_enclosing_mount(file, nullptr, &error);
    g_object_unref(file);
    if (!mount) {
        // Not a user-visible mount (a folder read as a camera): nothing to eject.
        g_clear_error(&error);
        return noErr;
    }
    GFile* root = g_mount_get_root(mount);
    char* rootPath = g_file_get_path(root);
    const bool isRoot = rootPath && QDir(QFile::decodeName(rootPath)).canonicalPath() == folder;
    g_free(rootPath);
    g_object_unref(root);
    if (isRoot && g_mount_can_unmount(mount)) {
        g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer) {
                GError* failure = nullptr;
                if (!g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &failure)) {
                    qCWarning(lcCamera) << "the camera's card could not be unmounted:" << failure->message;
                    g_error_free(failure);
                }
            },
            nullptr);
    }
    g_object_unref(mount);
    return noErr;
}
