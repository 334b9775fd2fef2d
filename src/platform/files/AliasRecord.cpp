#include "AliasRecord.h"

#include "FileErrors.h"
#include "LStream.h"
#include "NativePaths.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStorageInfo>

#include <chrono>
#include <deque>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

namespace {

// The search for a moved target stays near its old place: it starts at the nearest
// existing folder of the old path, climbs at most this many folders, and looks at no
// more than this many items, so a lost alias never walks a whole disk.
constexpr int kSearchLevelsUp = 2;
constexpr int kSearchMaxDepth = 8;
constexpr int kSearchMaxItems = 20000;

bool WriteString(QByteArray& out, const QByteArray& bytes)
{
    if (bytes.size() > 0xFFFF)
        return false;
    out.append(char(bytes.size() >> 8));
    out.append(char(bytes.size() & 0xFF));
    out.append(bytes);
    return true;
}

// Splits a clean absolute path into its components.
QList<QByteArray> Components(const QByteArray& path)
{
    QList<QByteArray> parts = path.split('/');
    parts.removeAll(QByteArray());
    return parts;
}

// `target` relative to `folder` (both clean absolute paths), as QDir::relativeFilePath
// gives it, by bytes.
QByteArray RelativeNativePath(const QByteArray& folder, const QByteArray& target)
{
    const QList<QByteArray> from = Components(folder);
    const QList<QByteArray> to = Components(target);
    qsizetype common = 0;
    while (common < from.size() && common < to.size() && from.at(common) == to.at(common))
        ++common;
    QList<QByteArray> parts;
    for (qsizetype i = common; i < from.size(); ++i)
        parts << "..";
    parts << to.mid(common);
    return parts.isEmpty() ? QByteArray(".") : parts.join('/');
}

void Append(QByteArray& out, UInt64 value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

UInt64 ReadBE(const uchar* p, int bytes)
{
    UInt64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

QString LookUpVolumeLabel(const QString& path)
{
    QStorageInfo storage(path);
    return storage.isValid() ? storage.name() : QString();
}

// True when the mount table changed since last asked (the kernel flags the open
// mount table for poll); true as well when that cannot be told.
bool MountTableChanged()
{
    static const int table = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (table < 0)
        return true;
    pollfd event {table, POLLPRI, 0};
    return ::poll(&event, 1, 0) != 0;
}

// Looking up a label reads the whole mount table, so aliases made of many files
// (a first save of a large index) share one look-up per file system: a plain
// file lies on the volume its device number names. A label is kept until the
// mount table changes, and never longer than a second.
QString VolumeLabelOf(const FileRef& target, const FileStat& st)
{
    if (!st.isRegularFile)
        return LookUpVolumeLabel(target.Path());
    struct Kept {
        QString label;
        std::chrono::steady_clock::time_point when;
    };
    static std::mutex lock;
    static QHash<UInt64, Kept> kept;
    const auto now = std::chrono::steady_clock::now();
    const bool mountsChanged = MountTableChanged(); // looked at outside the lock: aliases are made on many threads
    const std::lock_guard<std::mutex> guard(lock);
    if (mountsChanged)
        kept.clear();
    auto found = kept.find(st.device);
    if (found != kept.end() && now - found->when <= std::chrono::seconds(1))
        return found->label;
    const QString label = LookUpVolumeLabel(target.Path());
    kept.insert(st.device, Kept {label, now});
    return label;
}

bool DeviceIsMounted(UInt64 device)
{
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        struct stat st {};
        if (::stat(QFile::encodeName(volume.rootPath()).constData(), &st) == 0 && UInt64(st.st_dev) == device)
            return true;
    }
    return false;
}

FileRef NearestExistingFolder(FileRef ref)
{
    while (ref.IsValid() && !ref.IsFolder())
        ref = ref.Parent();
    return ref;
}

// Breadth-first, on one device, never through symbolic links.
FileRef FindInode(const FileRef& root, UInt64 device, UInt64 inode, int& budget)
{
    std::deque<std::pair<FileRef, int>> queue {{root, 0}};
    while (!queue.empty() && budget > 0) {
        auto [folder, depth] = queue.front();
        queue.pop_front();
        DIR* dir = ::opendir(folder.NativePath().constData());
        if (!dir)
            continue;
        while (dirent* entry = ::readdir(dir)) {
            if (--budget <= 0)
                break;
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            FileRef child = folder.ChildNamed(name);
            FileStat st;
            if (child.Stat(st) != noErr || st.device != device)
                continue;
            if (st.inode == inode) {
                ::closedir(dir);
                return child;
            }
            if (st.isFolder && depth + 1 < kSearchMaxDepth)
                queue.emplace_back(child, depth + 1);
        }
        ::closedir(dir);
    }
    return {};
}

bool Matches(const AliasRecord& alias, const FileStat& st)
{
    return st.device == alias.device && st.inode == alias.inode;
}

// A file found by its number alone is the alias's target only while it is what
// the alias recorded: a file moved or renamed keeps its kind, size and date, while
// the number of a deleted file is soon given to a new one (the index's own file
// among them).
bool IsRecordedItem(const AliasRecord& alias, const FileRef& found)
{
    FileStat st;
    if (found.Stat(st) != noErr || st.isFolder != alias.IsFolder())
        return false;
    return alias.IsFolder() || (st.size == alias.size && st.modificationSeconds == alias.modificationSeconds);
}

} // namespace

QString AliasRecord::Path() const
{
    return FileRef::FromNativePath(absolutePath).Path();
}

QString AliasRecord::ReadablePath() const
{
    return ReadableNativePath(absolutePath);
}

OSStatus AliasRecord::ToBytes(QByteArray& out) const
{
    QByteArray data;
    Append(data, kMagic, 4);
    Append(data, kVersion, 2);
    Append(data, flags, 2);
    Append(data, 0, 4); // length, filled in below
    Append(data, device, 8);
    Append(data, inode, 8);
    Append(data, UInt64(size), 8);
    Append(data, UInt64(modificationSeconds), 8);
    if (!WriteString(data, absolutePath) || !WriteString(data, relativePath) || !WriteString(data, volumeLabel.toUtf8()))
        return paramErr;
    UInt32 length = UInt32(data.size());
    for (int i = 0; i < 4; ++i)
        data[8 + i] = char((length >> (24 - 8 * i)) & 0xFF);
    out = data;
    return noErr;
}

OSStatus AliasRecord::FromBytes(const QByteArray& data, AliasRecord& out)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qsizetype size = data.size();
    if (size < kHeaderSize + 6 || ReadBE(p, 4) != kMagic || ReadBE(p + 4, 2) != kVersion)
        return badFormat;
    if (ReadBE(p + 8, 4) != UInt64(size))
        return badFormat;
    AliasRecord record;
    record.flags = UInt16(ReadBE(p + 6, 2));
    record.device = ReadBE(p + 12, 8);
    record.inode = ReadBE(p + 20, 8);
    record.size = SInt64(ReadBE(p + 28, 8));
    record.modificationSeconds = SInt64(ReadBE(p + 36, 8));
    qsizetype at = kHeaderSize;
    QByteArray label;
    for (QByteArray* field : {&record.absolutePath, &record.relativePath, &label}) {
        if (at + 2 > size)
            return badFormat;
        qsizetype length = qsizetype(ReadBE(p + at, 2));
        at += 2;
        if (length > size - at)
            return badFormat;
        *field = data.mid(at, length);
        at += length;
    }
    // A path holds no NUL: the system could not be asked for it.
    if (at != size || !record.absolutePath.startsWith('/') || record.absolutePath.contains('\0')
        || record.relativePath.contains('\0'))
        return badFormat;
    record.volumeLabel = QString::fromUtf8(label);
    out = record;
    return noErr;
}

QByteArrayView AliasRecord::AbsolutePathIn(QByteArrayView data)
{
    const auto* p = reinterpret_cast<const uchar*>(data.data());
    if (data.size() < kHeaderSize + 6 || ReadBE(p, 4) != kMagic || ReadBE(p + 8, 4) != UInt64(data.size()))
        return {};
    const qsizetype length = qsizetype(ReadBE(p + kHeaderSize, 2));
    if (length > data.size() - kHeaderSize - 2)
        return {};
    return data.sliced(kHeaderSize + 2, length);
}

OSStatus NewAlias(const FileRef* fromFile, const FileRef& target, AliasRecord& out)
{
    FileStat st;
    OSStatus err = target.Stat(st);
    if (err != noErr)
        return err;
    AliasRecord record;
    record.flags = st.isFolder ? AliasRecord::kFlagFolder : 0;
    record.device = st.device;
    record.inode = st.inode;
    record.size = st.isFolder ? 0 : st.size;
    record.modificationSeconds = st.modificationSeconds;
    record.absolutePath = target.NativePath();
    const FileRef base = fromFile && fromFile->IsValid() ? fromFile->Parent() : FileRef();
    if (base.IsValid())
        record.relativePath = RelativeNativePath(base.NativePath(), record.absolutePath);
    record.volumeLabel = VolumeLabelOf(target, st);
    out = record;
    return noErr;
}

OSStatus ResolveAlias(const FileRef* fromFile, const AliasRecord& alias, FileRef& target, bool& wasChanged)
{
    wasChanged = false;
    FileStat st;
    FileRef byPath = FileRef::FromNativePath(alias.absolutePath);
    if (byPath.Stat(st) == noErr) {
        target = byPath;
        wasChanged = !Matches(alias, st);
        return noErr;
    }
    if (fromFile && fromFile->IsValid() && !alias.relativePath.isEmpty()) {
        FileRef byRelative = FileRef::FromNativePath(CleanNativePath(fromFile->Parent().NativePath() + '/' + alias.relativePath));
        if (byRelative.Stat(st) == noErr) {
            target = byRelative;
            wasChanged = true;
            return noErr;
        }
    }
    int budget = kSearchMaxItems;
    QList<FileRef> roots;
    FileRef start = NearestExistingFolder(byPath.Parent());
    for (int up = 0; up < kSearchLevelsUp && start.Parent().IsValid(); ++up)
        start = start.Parent();
    roots << start;
    if (fromFile && fromFile->IsValid())
        roots << NearestExistingFolder(fromFile->Parent());
    for (const FileRef& root : roots) {
        if (!root.IsValid() || root.Stat(st) != noErr || st.device != alias.device)
            continue;
        FileRef found = FindInode(root, alias.device, alias.inode, budget);
        if (found.IsValid() && IsRecordedItem(alias, found)) {
            target = found;
            wasChanged = true;
            return noErr;
        }
    }
    return DeviceIsMounted(alias.device) ? OSStatus(fnfErr) : OSStatus(nsvErr);
}

OSStatus UpdateAlias(const FileRef* fromFile, const FileRef& target, AliasRecord& alias, bool& wasChanged)
{
    AliasRecord fresh;
    OSStatus err = NewAlias(fromFile, target, fresh);
    if (err != noErr)
        return err;
    wasChanged = !(fresh == alias);
    alias = fresh;
    return noErr;
}

OSStatus NewAliasBytes(const FileRef* fromFile, const FileRef& target, QByteArray& out)
{
    AliasRecord record;
    OSStatus err = NewAlias(fromFile, target, record);
    return err != noErr ? err : record.ToBytes(out);
}

OSStatus ResolveAliasBytes(const FileRef* fromFile, QByteArray& aliasBytes, FileRef& target, bool& wasChanged)
{
    AliasRecord record;
    OSStatus err = AliasRecord::FromBytes(aliasBytes, record);
    if (err != noErr)
        return err;
    err = ResolveAlias(fromFile, record, target, wasChanged);
    if (err == noErr && wasChanged) {
        bool changed = false;
        if (UpdateAlias(fromFile, target, record, changed) == noErr)
            record.ToBytes(aliasBytes);
    }
    return err;
}
