#include "MountedVolumes.h"

#include "GioLibrary.h"

#include <QFile>
#include <QSet>

namespace {

// Undoes the mount table's octal escapes ("\040" for a space).
QString UnescapeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

QString TypeOfMountPoint(const std::vector<std::pair<QString, QString>>& table, const QString& mountPoint)
{
    // The last mount on a point is the one seen there.
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->first == mountPoint)
            return it->second;
    }
    return {};
}

// Without GIO the source lists nothing (Gio() has logged why).
class GioVolumeSource : public VolumeSource {
public:
    GioVolumeSource()
        : mGio(Gio())
        , mMonitor(mGio.loaded ? mGio.volume_monitor_get() : nullptr)
    {
        if (!mMonitor)
            return;
        for (const char* signal : { "mount-added", "mount-removed", "mount-changed" })
            mGio.signal_connect_data(mMonitor, signal, G_CALLBACK(&GioVolumeSource::Changed), this, nullptr,
                G_CONNECT_SWAPPED);
    }
    ~GioVolumeSource() override
    {
        if (!mMonitor)
            return;
        mGio.signal_handlers_disconnect_matched(mMonitor, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
        mGio.object_unref(mMonitor);
    }

    std::vector<MountedVolume> CurrentVolumes() override
    {
        if (!mMonitor)
            return {};
        QFile file(QStringLiteral("/proc/self/mounts"));
        std::vector<std::pair<QString, QString>> table;
        if (file.open(QIODevice::ReadOnly))
            table = ParseMountTable(file.readAll());
        std::vector<MountedVolume> volumes;
        GList* mounts = mGio.volume_monitor_get_mounts(mMonitor);
        for (GList* entry = mounts; entry; entry = entry->next) {
            auto* mount = static_cast<GMount*>(entry->data);
            if (mGio.mount_is_shadowed(mount))
                continue;
            GFile* root = mGio.mount_get_root(mount);
            // A mount without a local path is a desktop-service location (a share
            // browsed over the network): left out like the network file systems.
            char* path = mGio.file_get_path(root);
            char* name = mGio.mount_get_name(mount);
            if (path) {
                MountedVolume volume { QString::fromUtf8(name), QString::fromUtf8(path), {} };
                volume.fileSystemType = TypeOfMountPoint(table, volume.mountPoint);
                volumes.push_back(volume);
            }
            mGio.free(name);
            mGio.free(path);
            mGio.object_unref(root);
        }
        mGio.list_free_full(mounts, mGio.object_unref);
        return volumes;
    }

private:
    static void Changed(GioVolumeSource* self) { self->NotifyChanged(); }

    const GioFunctions& mGio;
    GVolumeMonitor* mMonitor;
};

} // namespace

bool IsNetworkFileSystem(const QString& fileSystemType)
{
    static const QSet<QString> kNetworkTypes {
        QStringLiteral("nfs"), QStringLiteral("nfs4"), QStringLiteral("cifs"), QStringLiteral("smb3"),
        QStringLiteral("smbfs"), QStringLiteral("ncpfs"), QStringLiteral("afs"), QStringLiteral("ceph"),
        QStringLiteral("glusterfs"), QStringLiteral("lustre"), QStringLiteral("davfs"), QStringLiteral("sshfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.davfs"), QStringLiteral("fuse.glusterfs"),
        QStringLiteral("fuse.rclone"), QStringLiteral("fuse.s3fs"), QStringLiteral("fuse.gvfsd-fuse"),
    };
    return kNetworkTypes.contains(fileSystemType.toLower());
}

std::vector<std::pair<QString, QString>> ParseMountTable(const QByteArray& table)
{
    std::vector<std::pair<QString, QString>> mounts;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 3)
            mounts.emplace_back(UnescapeMountField(fields[1]), QString::fromUtf8(fields[2]));
    }
    return mounts;
}

std::unique_ptr<VolumeSource> MakeSystemVolumeSource()
{
    return std::make_unique<GioVolumeSource>();
}
