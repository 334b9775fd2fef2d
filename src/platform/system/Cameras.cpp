#include "Cameras.h"

#include "ExceptionCode.h"
#include "FileErrors.h"
#include "GioLibrary.h"
#include "NativePaths.h"
#include "Modules.h"
#include "RegularFile.h"
#include "WorkerPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <gphoto2/gphoto2.h>
#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <pwd.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcCamera, "orvex.camera")

// libgphoto2 (with its port library and libexif) and libudev are loaded when the
// cameras are first looked for, after the program's start, rather than with it.
struct GPhotoFunctions {
    decltype(&gp_result_as_string) result_as_string = nullptr;
    decltype(&gp_context_new) context_new = nullptr;
    decltype(&gp_context_unref) context_unref = nullptr;
    decltype(&gp_list_new) list_new = nullptr;
    decltype(&gp_list_free) list_free = nullptr;
    decltype(&gp_list_count) list_count = nullptr;
    decltype(&gp_list_get_name) list_get_name = nullptr;
    decltype(&gp_list_get_value) list_get_value = nullptr;
    decltype(&gp_abilities_list_new) abilities_list_new = nullptr;
    decltype(&gp_abilities_list_load) abilities_list_load = nullptr;
    decltype(&gp_abilities_list_detect) abilities_list_detect = nullptr;
    decltype(&gp_abilities_list_lookup_model) abilities_list_lookup_model = nullptr;
    decltype(&gp_abilities_list_get_abilities) abilities_list_get_abilities = nullptr;
    decltype(&gp_port_info_list_new) port_info_list_new = nullptr;
    decltype(&gp_port_info_list_load) port_info_list_load = nullptr;
    decltype(&gp_port_info_list_free) port_info_list_free = nullptr;
    decltype(&gp_port_info_list_lookup_path) port_info_list_lookup_path = nullptr;
    decltype(&gp_port_info_list_get_info) port_info_list_get_info = nullptr;
    decltype(&gp_camera_new) camera_new = nullptr;
    decltype(&gp_camera_unref) camera_unref = nullptr;
    decltype(&gp_camera_set_abilities) camera_set_abilities = nullptr;
    decltype(&gp_camera_set_port_info) camera_set_port_info = nullptr;
    decltype(&gp_camera_init) camera_init = nullptr;
    decltype(&gp_camera_exit) camera_exit = nullptr;
    decltype(&gp_camera_folder_list_folders) camera_folder_list_folders = nullptr;
    decltype(&gp_camera_folder_list_files) camera_folder_list_files = nullptr;
    decltype(&gp_camera_file_get_info) camera_file_get_info = nullptr;
    decltype(&gp_camera_file_get) camera_file_get = nullptr;
    decltype(&gp_camera_file_delete) camera_file_delete = nullptr;
    decltype(&gp_file_new_from_fd) file_new_from_fd = nullptr;
    decltype(&gp_file_unref) file_unref = nullptr;
    bool loaded = false;
    std::string error; // why libgphoto2 could not be loaded
};

constexpr char kGPhotoLibrary[] = "libgphoto2.so.6";

const GPhotoFunctions& GPhoto()
{
    static const GPhotoFunctions functions = [] {
        GPhotoFunctions f;
        // The port functions are found through libgphoto2, which needs their library.
        f.loaded = LoadLibraryFunctions(kGPhotoLibrary, f.error, [&f](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, gp_, result_as_string)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, context_new)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, context_unref)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, list_new)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, list_free)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, list_count)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, list_get_name)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, list_get_value)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, abilities_list_new)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, abilities_list_load)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, abilities_list_detect)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, abilities_list_lookup_model)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, abilities_list_get_abilities)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, port_info_list_new)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, port_info_list_load)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, port_info_list_free)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, port_info_list_lookup_path)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, port_info_list_get_info)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_new)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_unref)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_set_abilities)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_set_port_info)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_init)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_exit)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_folder_list_folders)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_folder_list_files)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_file_get_info)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_file_get)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, camera_file_delete)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, file_new_from_fd)
                && ORVEX_LIBRARY_FUNCTION(f, library, gp_, file_unref);
        });
        if (!f.loaded)
            qCWarning(lcCamera) << "camera support could not be loaded:" << f.error.c_str();
        return f;
    }();
    return functions;
}

// Each member is libudev's function of the same name.
struct UdevFunctions {
    decltype(&::udev_new) udev_new = nullptr;
    decltype(&::udev_unref) udev_unref = nullptr;
    decltype(&::udev_monitor_new_from_netlink) udev_monitor_new_from_netlink = nullptr;
    decltype(&::udev_monitor_filter_add_match_subsystem_devtype) udev_monitor_filter_add_match_subsystem_devtype = nullptr;
    decltype(&::udev_monitor_enable_receiving) udev_monitor_enable_receiving = nullptr;
    decltype(&::udev_monitor_get_fd) udev_monitor_get_fd = nullptr;
    decltype(&::udev_monitor_receive_device) udev_monitor_receive_device = nullptr;
    decltype(&::udev_monitor_unref) udev_monitor_unref = nullptr;
    decltype(&::udev_device_unref) udev_device_unref = nullptr;
    bool loaded = false;
};

const UdevFunctions& LibUdev()
{
    static const UdevFunctions functions = [] {
        UdevFunctions f;
        std::string error;
        f.loaded = LoadLibraryFunctions("libudev.so.1", error, [&f](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, , udev_new)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_unref)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_monitor_new_from_netlink)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_monitor_filter_add_match_subsystem_devtype)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_monitor_enable_receiving)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_monitor_get_fd)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_monitor_receive_device)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_monitor_unref)
                && ORVEX_LIBRARY_FUNCTION(f, library, , udev_device_unref);
        });
        if (!f.loaded)
            qCWarning(lcCamera) << "libudev could not be loaded" << error.c_str() << "- cameras are polled for";
        return f;
    }();
    return functions;
}

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
        GPhoto().abilities_list_new(&gAbilities);
        if (GPhoto().abilities_list_load(gAbilities, context) < GP_OK)
            qCWarning(lcCamera) << "camera drivers could not be loaded";
    }
    return gAbilities;
}

[[noreturn]] void ThrowCameraError(int result, const QString& what)
{
    ThrowOSErr_(kErrCameraFailed, (what + QStringLiteral(": ") + QString::fromUtf8(GPhoto().result_as_string(result))).toStdString());
}

struct ListHolder {
    ListHolder() { GPhoto().list_new(&list); }
    ~ListHolder() { GPhoto().list_free(list); }
    CameraList* list = nullptr;
};

QString JoinFolder(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Where a card's file lies on the disk: the card's folder and the camera's path,
// the name by its own bytes.
QByteArray CardFileBytes(const CameraDevice& device, const CameraFileEntry& entry)
{
    return QFile::encodeName(device.MountPath() + JoinFolder(entry.folder, QString())) + entry.nameBytes;
}

QString CardFilePath(const CameraDevice& device, const CameraFileEntry& entry)
{
    return PathFromNativeBytes(CardFileBytes(device, entry));
}

// The camera's name bytes of an entry.
QByteArray NameBytes(const CameraFileEntry& entry)
{
    return entry.nameBytes.isEmpty() ? entry.name.toUtf8() : entry.nameBytes;
}

// Copies a card's file into `fd` as it is read: only a regular file, opened without
// blocking, so a pipe or a link to a device named like a picture is never waited on.
OSStatus CopyCardFile(const QString& path, int fd, FileIdentity* opened)
{
    RegularFile file;
    if (const OSStatus status = file.Open(path); status != noErr)
        return status;
    if (opened)
        *opened = file.Identity();
    constexpr qint64 kChunk = 1 << 20;
    // The kernel copies from file to file itself, as cp does (no pass through our
    // memory); where it cannot, the bytes are read and written here.
    bool inKernel = true;
    QByteArray bytes;
    for (qint64 offset = 0; offset < file.Size();) {
        if (WorkerPool::CancelRequested())
            return userCanceledErr;
        const size_t count = size_t(std::min(kChunk, file.Size() - offset));
        if (inKernel) {
            off_t from = off_t(offset);
            const ssize_t done = ::sendfile(fd, file.Descriptor(), &from, count);
            if (done > 0) {
                offset += done;
                continue;
            }
            if (done == 0)
                break; // the file shrank meanwhile: the caller finds the copy short
            if (errno == EINTR)
                continue;
            if (errno == ENOSPC)
                return dskFulErr;
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                return ioErr;
            inKernel = false;
        }
        if (const OSStatus status = file.ReadAt(offset, qint64(count), bytes); status != noErr)
            return status;
        if (bytes.isEmpty())
            break;
        for (qsizetype written = 0; written < bytes.size();) {
            const ssize_t done = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return errno == ENOSPC ? OSStatus(dskFulErr) : OSStatus(ioErr);
            written += done;
        }
        offset += bytes.size();
    }
    return noErr;
}

// Where the desktop mounts this user's removable media (udisks2): a card mounted
// anywhere else, or there for another user, is not this user's camera, whatever
// folders it holds.
bool IsUsersRemovableMedia(const QString& mountPath)
{
    const passwd* user = ::getpwuid(::getuid());
    if (!user || !user->pw_name || !*user->pw_name)
        return false;
    const QString name = QFile::decodeName(user->pw_name);
    const QString path = QDir::cleanPath(mountPath);
    for (const QString& root : {QStringLiteral("/run/media/"), QStringLiteral("/media/")}) {
        const QString mine = root + name + QLatin1Char('/');
        if (path.startsWith(mine) && path.size() > mine.size())
            return true;
    }
    return false;
}

// The cameras libgphoto2 finds attached, added to `found` once each.
void DetectAttachedCameras(std::vector<CameraDevice>& found)
{
    GPContext* context = GPhoto().context_new();
    CameraAbilitiesList* abilities = Abilities(context);
    GPPortInfoList* ports = nullptr;
    GPhoto().port_info_list_new(&ports);
    ListHolder detected;
    if (GPhoto().port_info_list_load(ports) >= GP_OK
        && GPhoto().abilities_list_detect(abilities, ports, detected.list, context) >= GP_OK) {
        for (int i = 0; i < GPhoto().list_count(detected.list); ++i) {
            const char* model = nullptr;
            const char* port = nullptr;
            GPhoto().list_get_name(detected.list, i, &model);
            GPhoto().list_get_value(detected.list, i, &port);
            // The generic "usb:" entry stands for a device already listed by its bus address.
            CameraDevice device {QString::fromUtf8(model), QString::fromUtf8(port)};
            // Every mount with a DCIM folder is offered as a card: only the user's own
            // removable media are taken.
            if (device.IsMassStorage() && !IsUsersRemovableMedia(device.MountPath()))
                continue;
            if (device.IsValid() && device.port != QLatin1String("usb:")
                && std::find(found.begin(), found.end(), device) == found.end())
                found.push_back(device);
        }
    }
    GPhoto().port_info_list_free(ports);
    GPhoto().context_unref(context);
}

} // namespace

QString CameraDevice::MountPath() const
{
    return IsMassStorage() ? port.mid(5) : QString();
}

std::vector<CameraDevice> DetectCameras()
{
    std::vector<CameraDevice> found;
    // Without libgphoto2 only the cameras added by hand are listed (GPhoto() has
    // logged why); opening one then fails with the reason.
    if (GPhoto().loaded)
        DetectAttachedCameras(found);
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
    if (!GPhoto().loaded)
        ThrowOSErr_(kErrCameraFailed, "camera support could not be loaded: " + GPhoto().error);
    mImpl->context = GPhoto().context_new();
    GPhoto().camera_new(&mImpl->camera);
    CameraAbilitiesList* abilities = Abilities(mImpl->context);
    const int model = GPhoto().abilities_list_lookup_model(abilities, device.model.toUtf8().constData());
    if (model < GP_OK)
        ThrowCameraError(model, QStringLiteral("no driver for camera ") + device.model);
    CameraAbilities ability;
    GPhoto().abilities_list_get_abilities(abilities, model, &ability);
    GPhoto().camera_set_abilities(mImpl->camera, ability);

    GPhoto().port_info_list_new(&mImpl->ports);
    int result = GPhoto().port_info_list_load(mImpl->ports);
    if (result < GP_OK)
        ThrowCameraError(result, QStringLiteral("camera ports"));
    const int port = GPhoto().port_info_list_lookup_path(mImpl->ports, device.port.toUtf8().constData());
    if (port < GP_OK)
        ThrowCameraError(port, QStringLiteral("no camera port ") + device.port);
    GPPortInfo info;
    GPhoto().port_info_list_get_info(mImpl->ports, port, &info);
    GPhoto().camera_set_port_info(mImpl->camera, info);
    result = GPhoto().camera_init(mImpl->camera, mImpl->context);
    if (result < GP_OK)
        ThrowCameraError(result, QStringLiteral("camera ") + device.model + QStringLiteral(" at ") + device.port);
}

CameraConnection::~CameraConnection()
{
    if (mImpl->camera) {
        GPhoto().camera_exit(mImpl->camera, mImpl->context);
        GPhoto().camera_unref(mImpl->camera);
    }
    if (mImpl->ports)
        GPhoto().port_info_list_free(mImpl->ports);
    if (mImpl->context)
        GPhoto().context_unref(mImpl->context);
}

std::vector<CameraFileEntry> CameraConnection::ListFiles()
{
    std::vector<CameraFileEntry> files;
    // Depth first from the root, or from DCIM where the camera has one.
    std::vector<QString> folders;
    {
        ListHolder top;
        const int result = GPhoto().camera_folder_list_folders(mImpl->camera, "/", top.list, mImpl->context);
        if (result < GP_OK)
            ThrowCameraError(result, QStringLiteral("camera folders"));
        bool hasDcim = false;
        for (int i = 0; i < GPhoto().list_count(top.list); ++i) {
            const char* name = nullptr;
            GPhoto().list_get_name(top.list, i, &name);
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
        if (GPhoto().camera_folder_list_files(mImpl->camera, path.constData(), names.list, mImpl->context) >= GP_OK) {
            for (int i = 0; i < GPhoto().list_count(names.list); ++i) {
                const char* name = nullptr;
                GPhoto().list_get_name(names.list, i, &name);
                // A name that is not UTF-8 (an older camera's Latin-1) is read as Latin-1.
                CameraFileEntry entry {folder, ReadableNativePath(name), -1, name};
                // A card lists whatever its folders hold: only its regular files are pictures.
                if (mDevice.IsMassStorage()) {
                    qint64 size = -1;
                    if (CheckRegularFile(CardFilePath(mDevice, entry), &size) != noErr) {
                        qCInfo(lcCamera) << "passed over, not a regular file:" << entry.name;
                        continue;
                    }
                    entry.size = size;
                    files.push_back(std::move(entry));
                    continue;
                }
                CameraFileInfo info {};
                if (GPhoto().camera_file_get_info(mImpl->camera, path.constData(), name, &info, mImpl->context) >= GP_OK
                    && (info.file.fields & GP_FILE_INFO_SIZE))
                    entry.size = qint64(info.file.size);
                files.push_back(std::move(entry));
            }
        }
        ListHolder subfolders;
        if (GPhoto().camera_folder_list_folders(mImpl->camera, path.constData(), subfolders.list, mImpl->context) >= GP_OK) {
            std::vector<QString> inner;
            for (int i = 0; i < GPhoto().list_count(subfolders.list); ++i) {
                const char* name = nullptr;
                GPhoto().list_get_name(subfolders.list, i, &name);
                inner.push_back(JoinFolder(folder, QString::fromUtf8(name)));
            }
            folders.insert(folders.begin(), inner.begin(), inner.end());
        }
    }
    return files;
}

OSStatus CameraConnection::Download(const CameraFileEntry& entry, int fd, FileIdentity* opened)
{
    if (mDevice.IsMassStorage()) {
        const OSStatus status = CopyCardFile(CardFilePath(mDevice, entry), fd, opened);
        if (status != noErr)
            qCWarning(lcCamera) << "download of" << entry.name << "failed:" << status;
        return status;
    }
    CameraFile* file = nullptr;
    // libgphoto2 closes the descriptor it is given when the file goes: it gets
    // a copy, and the caller's stays open.
    const int own = ::dup(fd);
    if (own < 0)
        return kErrCameraFailed;
    if (GPhoto().file_new_from_fd(&file, own) < GP_OK) {
        ::close(own);
        return kErrCameraFailed;
    }
    const int result = GPhoto().camera_file_get(mImpl->camera, entry.folder.toUtf8().constData(),
        NameBytes(entry).constData(), GP_FILE_TYPE_NORMAL, file, mImpl->context);
    GPhoto().file_unref(file);
    if (result < GP_OK) {
        qCWarning(lcCamera) << "download of" << entry.name << "failed:" << GPhoto().result_as_string(result);
        return kErrCameraFailed;
    }
    return noErr;
}

OSStatus CameraConnection::Delete(const CameraFileEntry& entry, const FileIdentity* copied)
{
    if (copied && mDevice.IsMassStorage()) {
        // The card may have changed since the copy began (a camera still writing,
        // another program): only the very file that was copied goes.
        struct stat now {};
        if (::lstat(CardFileBytes(mDevice, entry).constData(), &now) != 0 || !(FileIdentity::Of(now) == *copied)) {
            qCWarning(lcCamera) << entry.name << "changed on the card after its copy began: kept";
            return kErrCameraFileChanged;
        }
    }
    const int result = GPhoto().camera_file_delete(mImpl->camera, entry.folder.toUtf8().constData(),
        NameBytes(entry).constData(), mImpl->context);
    if (result < GP_OK) {
        qCWarning(lcCamera) << "deleting" << entry.name << "from the camera failed:" << GPhoto().result_as_string(result);
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
            LibUdev().udev_monitor_unref(monitor);
        if (context)
            LibUdev().udev_unref(context);
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
    if (!QFileInfo::exists(QStringLiteral("/run/udev/control")) || !LibUdev().loaded)
        return;
    mUdev->context = LibUdev().udev_new();
    if (!mUdev->context)
        return;
    mUdev->monitor = LibUdev().udev_monitor_new_from_netlink(mUdev->context, "udev");
    if (!mUdev->monitor || LibUdev().udev_monitor_filter_add_match_subsystem_devtype(mUdev->monitor, "usb", "usb_device") < 0
        || LibUdev().udev_monitor_enable_receiving(mUdev->monitor) < 0)
        return;
    mUdev->notifier = std::make_unique<QSocketNotifier>(LibUdev().udev_monitor_get_fd(mUdev->monitor), QSocketNotifier::Read);
    connect(mUdev->notifier.get(), &QSocketNotifier::activated, this, [this] {
        if (udev_device* device = LibUdev().udev_monitor_receive_device(mUdev->monitor))
            LibUdev().udev_device_unref(device);
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
    // The changes are settled before any signal goes out: a slot may run a
    // nested event loop, in which the next detection replaces mCameras.
    std::vector<CameraDevice> removed, added;
    for (const CameraDevice& device : before)
        if (std::find(mCameras.begin(), mCameras.end(), device) == mCameras.end())
            removed.push_back(device);
    for (const CameraDevice& device : mCameras)
        if (std::find(before.begin(), before.end(), device) == before.end())
            added.push_back(device);
    QPointer<CameraMonitor> self(this);
    for (CameraDevice& device : removed)
        if (self)
            emit CameraRemoved(std::move(device));
    for (CameraDevice& device : added)
        if (self)
            emit CameraAdded(std::move(device));
}

// --- Ejecting ---------------------------------------------------------------------------

OSStatus UnmountCameraVolume(const CameraDevice& device)
{
    if (!device.IsMassStorage())
        return noErr;
    const QString folder = QDir(device.MountPath()).canonicalPath();
    if (folder.isEmpty())
        return noErr;
    const GioFunctions& gio = Gio();
    if (!gio.loaded)
        return kErrCameraFailed; // the card cannot be unmounted (Gio() has logged why)
    GFile* file = gio.file_new_for_path(QFile::encodeName(folder).constData());
    GError* error = nullptr;
    GMount* mount = gio.file_find_enclosing_mount(file, nullptr, &error);
    gio.object_unref(file);
    if (!mount) {
        // Not a user-visible mount (a folder read as a camera): nothing to eject.
        if (error)
            gio.error_free(error);
        return noErr;
    }
    GFile* root = gio.mount_get_root(mount);
    char* rootPath = gio.file_get_path(root);
    const bool isRoot = rootPath && QDir(QFile::decodeName(rootPath)).canonicalPath() == folder;
    gio.free(rootPath);
    gio.object_unref(root);
    if (isRoot && gio.mount_can_unmount(mount)) {
        gio.mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer) {
                GError* failure = nullptr;
                const GioFunctions& gio = Gio();
                if (!gio.mount_unmount_with_operation_finish(reinterpret_cast<GMount*>(source), result, &failure)) {
                    qCWarning(lcCamera) << "the camera's card could not be unmounted:" << failure->message;
                    gio.error_free(failure);
                }
            },
            nullptr);
    }
    gio.object_unref(mount);
    return noErr;
}
