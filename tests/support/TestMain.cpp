#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include <csignal>
#include <poll.h>
#include <sys/resource.h>
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

void ProcessEventsFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
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
