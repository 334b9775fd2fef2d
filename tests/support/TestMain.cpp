#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QTemporaryDir* gTempRoot = nullptr;
std::unique_ptr<QTemporaryDir> gTestFolder;

// Each test gets a fresh folder of its own, made before the test's fixture and
// removed after it, so no test sees what an earlier one left behind when a whole
// test program runs in one process.
class PerTestFolder : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        gTestFolder = std::make_unique<QTemporaryDir>(gTempRoot->path() + QStringLiteral("/test-XXXXXX"));
    }
    void OnTestEnd(const ::testing::TestInfo&) override { gTestFolder.reset(); }
};

// Qt's offscreen screen is 800 device pixels square, so at QT_SCALE_FACTOR=2 it is
// a 400-pixel screen that squeezes every window of the tests. A high-density
// screen has more device pixels, not fewer logical ones: under a scale factor the
// offscreen screen keeps its 800 logical pixels.
void KeepOffscreenScreenSize(const QString& folder)
{
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    if (factor <= 1.0 || qgetenv("QT_QPA_PLATFORM") != "offscreen")
        return;
    const int side = qRound(800 * factor);
    const QJsonObject screen { { "name", "" }, { "x", 0 }, { "y", 0 }, { "width", side }, { "height", side },
        { "logicalDpi", 96 }, { "logicalBaseDpi", 96 }, { "dpr", 1.0 } };
    const QJsonObject config { { "synchronousWindowSystemEvents", false }, { "windowFrameMargins", true },
        { "screens", QJsonArray { screen } } };
    const QString path = folder + QStringLiteral("/offscreen.json");
    QFile file(path);
    const QByteArray json = QJsonDocument(config).toJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.flush()) {
        std::fprintf(stderr, "cannot write %s: the offscreen screen keeps Qt's size\n", qPrintable(path));
        return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
}
} // namespace

QString TestDataPath(const QString& relative)
{
    QString base = QStringLiteral(ORVEX_TESTDATA_DIR);
    return relative.isEmpty() ? base : base + QLatin1Char('/') + relative;
}

QString TestTempDir()
{
    if (gTestFolder && gTestFolder->isValid())
        return gTestFolder->path();
    return gTempRoot->path() + QStringLiteral("/work");
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

namespace {
std::optional<qint32> RunInChild(int seconds, qint64 fileSizeLimit, const std::function<qint32()>& body)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::close(channel[0]);
        if (fileSizeLimit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { rlim_t(fileSizeLimit), rlim_t(fileSizeLimit) };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        qint32 result = 1;
        try {
            result = body();
        } catch (...) {
            result = 0x7FFFFFFF;
        }
        if (::write(channel[1], &result, sizeof result) != sizeof result)
            ::_exit(2);
        ::_exit(0);
    }
    ::close(channel[1]);
    std::optional<qint32> answer;
    pollfd wait { channel[0], POLLIN, 0 };
    qint32 result = 0;
    if (::poll(&wait, 1, seconds * 1000) == 1 && ::read(channel[0], &result, sizeof result) == sizeof result)
        answer = result;
    ::close(channel[0]);
    if (!answer)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return answer;
}
} // namespace

std::optional<qint32> RunWithFileSizeLimit(qint64 limitBytes, const std::function<qint32()>& body)
{
    return RunInChild(60, limitBytes, body);
}

std::optional<qint32> RunInChildWithin(int seconds, const std::function<qint32()>& body)
{
    return RunInChild(seconds, -1, body);
}

namespace {
constexpr qint64 kPageSize = 4096;
constexpr char kFillerName[] = ".orvex-test-filler";

qint64 RoundUpToPage(qint64 bytes)
{
    return (std::max<qint64>(bytes, 0) + kPageSize - 1) / kPageSize * kPageSize;
}

// What the files under `folder` take on a tmpfs: whole pages each.
qint64 PagesUnder(const std::filesystem::path& folder)
{
    qint64 total = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error))
            total += RoundUpToPage(qint64(it->file_size(error)));
    }
    return total;
}

// Makes `to` hold a copy of what `from` holds, the filler left out.
bool ReplaceContents(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(to, error))
        std::filesystem::remove_all(entry.path(), error);
    if (error)
        return false;
    for (const auto& entry : std::filesystem::directory_iterator(from, error)) {
        if (entry.path().filename() == kFillerName)
            continue;
        std::filesystem::copy(entry.path(), to / entry.path().filename(),
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, error);
        if (error)
            return false;
    }
    return !error;
}

// In the child: mounts a tmpfs over `folder` with its contents and `roomBytes`
// free; `underlying` names the covered folder afterwards. False, with nothing
// mounted, where that cannot be done.
bool MountFullFilesystem(const QString& folder, qint64 roomBytes, std::string& underlying)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    const int below = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (below < 0 || ::fstat(below, &info) != 0)
        return false;
    // The covered folder stays reachable through its descriptor.
    underlying = "/proc/self/fd/" + std::to_string(below);
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const qint64 size = PagesUnder(underlying) + RoundUpToPage(roomBytes) + 256 * kPageSize;
    char options[64];
    std::snprintf(options, sizeof options, "size=%lld,mode=%o", static_cast<long long>(size),
        unsigned(info.st_mode & 07777));
    if (::mount("orvex-full-disk", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options) != 0)
        return false;
    struct statvfs space {};
    bool ready = ReplaceContents(underlying, path.toStdString()) && ::statvfs(path.constData(), &space) == 0;
    const qint64 filler = ready ? qint64(space.f_bavail) * qint64(space.f_frsize) - RoundUpToPage(roomBytes) : 0;
    if (ready && filler > 0) {
        const int fd = ::open((path + '/' + kFillerName).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ready = fd >= 0 && ::posix_fallocate(fd, 0, filler) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    if (!ready)
        ::umount2(path.constData(), MNT_DETACH);
    return ready;
}
} // namespace

bool SmallFilesystemsCanBeMounted()
{
    static const bool can = [] {
        const QString probe = gTempRoot->path() + QStringLiteral("/mount-probe");
        QDir().mkpath(probe);
        const auto mounted = RunInChild(20, -1, [&] {
            std::string underlying;
            if (!MountFullFilesystem(probe, 0, underlying))
                return qint32(0);
            ::umount2(QFile::encodeName(probe).constData(), MNT_DETACH);
            return qint32(1);
        });
        QDir(probe).removeRecursively();
        return mounted == 1;
    }();
    return can;
}

const char* FullDiskName(FullDisk kind)
{
    return kind == FullDisk::SmallFilesystem ? "a full small filesystem" : "a file-size limit";
}

std::optional<qint32> RunOnFullDisk(FullDisk kind, const QString& folder, qint64 roomBytes,
    const std::function<qint32()>& body)
{
    if (kind == FullDisk::FileSizeLimit)
        return RunWithFileSizeLimit(roomBytes, body);
    return RunInChild(60, -1, [&]() -> qint32 {
        std::string underlying;
        if (!MountFullFilesystem(folder, roomBytes, underlying)) {
            qInfo("No tmpfs may be mounted here: a file-size limit stands in for the full disk");
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { rlim_t(roomBytes), rlim_t(roomBytes) };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return body();
        }
        const QByteArray path = QFile::encodeName(folder);
        qint32 result = 0x7FFFFFFF;
        try {
            result = body();
        } catch (...) {
        }
        // What the body left is what the test looks at, in the folder it knows.
        if (!ReplaceContents(path.toStdString(), underlying))
            result = 0x7FFFFFFE;
        ::umount2(path.constData(), MNT_DETACH);
        return result;
    });
}

std::optional<qint32> RunOnReadOnlyFolder(const QString& folder, const std::function<qint32()>& body)
{
    constexpr qint32 kNotMounted = 0x7FFFFFFD;
    const auto result = RunInChild(60, -1, [&]() -> qint32 {
        const QByteArray path = QFile::encodeName(folder);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return kNotMounted;
        return body();
    });
    if (result == kNotMounted)
        return std::nullopt;
    return result;
}

void ProcessEventsFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool RunEventsUntil(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        ProcessEventsFor(20);
    }
    return true;
}

void FlushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every test process gets its own configuration, data and cache folders, so the
// tests can run in parallel and never touch the user's own preferences.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir tempRoot(QDir::tempPath() + QStringLiteral("/orvex-test-XXXXXX"));
    gTempRoot = &tempRoot;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        QString dir = tempRoot.path() + QLatin1Char('/') + QString::fromLatin1(var);
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(var, QFile::encodeName(dir));
    }
    QDir().mkpath(TestTempDir());
    KeepOffscreenScreenSize(tempRoot.path());

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new PerTestFolder);
    int result = RUN_ALL_TESTS();
    gTempRoot = nullptr;
    return result;
}

namespace {
QtMessageHandler gPreviousHandler = nullptr;
QByteArray gCapturedCategory;
QStringList gCapturedLines;

void CaptureMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (context.category && gCapturedCategory == context.category)
        gCapturedLines.append(text);
    else if (gPreviousHandler)
        gPreviousHandler(type, context, text);
}
} // namespace

StLogCapture::StLogCapture(const char* category)
{
    gCapturedCategory = category;
    gCapturedLines.clear();
    gPreviousHandler = qInstallMessageHandler(&CaptureMessage);
}

StLogCapture::~StLogCapture()
{
    qInstallMessageHandler(gPreviousHandler);
    gPreviousHandler = nullptr;
    gCapturedCategory.clear();
}

QStringList StLogCapture::Lines() const
{
    return gCapturedLines;
}
