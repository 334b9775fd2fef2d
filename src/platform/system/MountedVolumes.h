#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// One mounted volume a user can see: its name, where it is mounted and the type of
// its file system as the kernel's mount table gives it.
struct MountedVolume {
    QString name;
    QString mountPoint;
    QString fileSystemType;
    bool operator==(const MountedVolume&) const = default;
};

// True for the file systems that live on another machine (NFS, SMB, SSH, WebDAV…):
// touching a dead one blocks, so they are told apart by their type alone.
bool IsNetworkFileSystem(const QString& fileSystemType);

// The file-system type of every mount point in a mount table in the format of
// /proc/self/mounts (spaces and tabs in paths escaped as octal). Reading it never
// touches the mounted file systems.
std::vector<std::pair<QString, QString>> ParseMountTable(const QByteArray& table);

// The mounted volumes, and a call when they change.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    virtual std::vector<MountedVolume> CurrentVolumes() = 0;
    // Called on the main thread when a volume was mounted or unmounted.
    void SetChangedCallback(std::function<void()> changed) { mChanged = std::move(changed); }

protected:
    void NotifyChanged()
    {
        if (mChanged)
            mChanged();
    }

private:
    std::function<void()> mChanged;
};

// The desktop's volume monitor: the mounts it shows the user, with their types
// from the kernel's mount table; live while the source exists.
std::unique_ptr<VolumeSource> MakeSystemVolumeSource();
