// The program as the desktop starts it: from a terminal, from a file manager, with
// addresses, and telling the user of long work done out of sight.
#include "AlertAnswer.h"
#include "AlertsInFront.h"
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "AliasRecord.h"
#include "CExceptionMgrPeriodical.h"
#include "CommandLine.h"
#include "ErrorReport.h"
#include "ItemThumbnails.h"
#include "LayoutCheck.h"
#include "NetTestServers.h"
#include "Preferences.h"
#include "ProgramRunSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

struct Finished {
    bool normal = false;
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Finished RunProgram(const QStringList& arguments, const QProcessEnvironment& env)
{
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVEX_BINARY), arguments);
    Finished finished;
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished(5000);
        return finished;
    }
    finished.normal = program.exitStatus() == QProcess::NormalExit;
    finished.code = program.exitCode();
    finished.out = program.readAllStandardOutput();
    finished.err = program.readAllStandardError();
    return finished;
}

// A desktop with no screen at all: anything that makes a window fails.
QProcessEnvironment NoScreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

// The alerts a user at the screen sees, with the program in front.
class DesktopAlerts : public ::testing::Test {
protected:
    void SetUp() override { alerts = std::make_unique<StAlertsInFront>(); }
    void TearDown() override
    {
        CloseIndexDocumentsUnsaved();
        alerts.reset();
    }

    std::unique_ptr<StAlertsInFront> alerts;
};

} // namespace

TEST(Desktop, HelpAndVersionAreAnsweredWithoutAScreen)
{
    for (const char* option : {"--help", "-h"}) {
        const Finished help = RunProgram({QLatin1String(option)}, NoScreen());
        EXPECT_TRUE(help.normal) << option;
        EXPECT_EQ(help.code, 0) << option << help.err.constData();
        EXPECT_TRUE(help.out.startsWith("Usage: orvex")) << help.out.constData();
        EXPECT_TRUE(help.out.contains("--version"));
    }
    const Finished version = RunProgram({QStringLiteral("--version")}, NoScreen());
    EXPECT_EQ(version.code, 0) << version.err.constData();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^orvex \\d+\\.\\d+(\\.\\d+)?\\n$"))
                    .match(QString::fromUtf8(version.out))
                    .hasMatch())
        << version.out.constData();

    // After "--" the same word is a file's name: the program would open it, and
    // without a screen it cannot.
    const Finished named = RunProgram({QStringLiteral("--"), QStringLiteral("--help")}, NoScreen());
    EXPECT_FALSE(named.normal && named.code == 0);
    EXPECT_FALSE(named.out.startsWith("Usage: orvex"));

    // An option it does not know is refused, and the help named, screen or none;
    // Qt's own options (and their values) are no reason to refuse.
    const struct {
        QStringList arguments;
        QProcessEnvironment env;
    } wrongs[] = {
        { { QStringLiteral("--bogus") }, ProgramRun::Environment() },
        { { QStringLiteral("--bogus") }, NoScreen() },
        { { QStringLiteral("a.jpg"), QStringLiteral("--bogus") }, NoScreen() },
        { { QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bogus") }, NoScreen() },
    };
    for (const auto& wrong : wrongs) {
        const Finished refused = RunProgram(wrong.arguments, wrong.env);
        EXPECT_TRUE(refused.normal) << wrong.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(refused.code, 2) << refused.err.constData();
        EXPECT_TRUE(refused.err.contains("--bogus")) << refused.err.constData();
        EXPECT_TRUE(refused.err.contains("--help"));
    }
}

TEST(Desktop, ALaterLaunchNamingAMissingFileFailsAndTheProgramNamesIt)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    ASSERT_TRUE(SynchronizePrefs());
    ProgramRun first;
    ASSERT_TRUE(first.Start()) << first.Log().constData();

    const QString missing = TestTempDir() + QStringLiteral("/gone/Holiday 1.jpg");
    QProcess later;
    later.setProcessEnvironment(ProgramRun::Environment());
    later.start(QStringLiteral(ORVEX_BINARY), {missing});
    ASSERT_TRUE(later.waitForFinished(20000));
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 1);
    EXPECT_TRUE(later.readAllStandardError().contains(missing.toUtf8()));
    // The running program was handed the file all the same, and reports it.
    EXPECT_TRUE(first.WaitForLog("opening \"" + missing.toUtf8() + '"')) << first.Log().constData();
    EXPECT_TRUE(first.WaitForLog(missing.toUtf8() + "\"")) << first.Log().constData();
}

TEST(Desktop, FileAddressesAndThePackagesRecordsFileOpenAsFiles)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    ASSERT_TRUE(SynchronizePrefs());
    ProgramRun first;
    ASSERT_TRUE(first.Start()) << first.Log().constData();

    // A launcher hands a file:// address, percent-encoded.
    const FileRef photo = MakeTestFile(QStringLiteral("desktop/a photo #1.jpg"));
    const QByteArray address = QUrl::fromLocalFile(photo.Path()).toEncoded();
    ASSERT_TRUE(address.contains("%20"));
    ASSERT_TRUE(ProgramRun::HandOver({QString::fromLatin1(address)}));
    EXPECT_TRUE(first.WaitForLog("opening \"" + photo.Path().toUtf8() + '"')) << first.Log().constData();

    // A file manager hands over the records file inside a package: the package opens.
    const QString package = CopySampleIndex(QStringLiteral("From the file manager.idxp"));
    ASSERT_TRUE(ProgramRun::HandOver({package + QStringLiteral("/index.db")}));
    EXPECT_TRUE(WaitUntil([&] { return PackageHolder(package) == first.Process().processId(); }, 20000))
        << first.Log().constData();
}

TEST(Desktop, TheDesktopTypesThePackagesRecordsFileForOrvex)
{
    // The file types as installed, in a data folder of their own.
    QTemporaryDir data;
    ASSERT_TRUE(QDir().mkpath(data.path() + QStringLiteral("/mime/packages")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVEX_SOURCE_DIR "/resources/desktop/org.orvex.Orvex.mime.xml"),
        data.path() + QStringLiteral("/mime/packages/org.orvex.Orvex.xml")));
    QProcess update;
    update.start(QStringLiteral("update-mime-database"), {data.path() + QStringLiteral("/mime")});
    ASSERT_TRUE(update.waitForFinished(30000));
    ASSERT_EQ(update.exitCode(), 0) << update.readAllStandardError().constData();

    // The desktop's own look-up of the file (as a file manager does it): only a
    // package's records file is ours, not every file of that name.
    const QString package = CopySampleIndex(QStringLiteral("Typed.idxp"));
    const QString others = TestTempDir() + QStringLiteral("/typed");
    ASSERT_TRUE(QDir().mkpath(others + QStringLiteral("/sqlite")));
    ASSERT_TRUE(QDir().mkpath(others + QStringLiteral("/locked.idxp")));
    {
        QFile sqlite(others + QStringLiteral("/sqlite/index.db"));
        ASSERT_TRUE(sqlite.open(QIODevice::WriteOnly));
        sqlite.write(QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\0'));
        QFile locked(others + QStringLiteral("/locked.idxp/index.db"));
        ASSERT_TRUE(locked.open(QIODevice::WriteOnly));
        locked.write(QByteArray("\0\0\0\0vexu9b\0"
                                "31846\4abcd",
            21));
    }
    const struct {
        QString file;
        bool ours;
    } cases[] = {
        { package + QStringLiteral("/index.db"), true },
        { others + QStringLiteral("/locked.idxp/index.db"), true }, // with a password
        { others + QStringLiteral("/sqlite/index.db"), false },
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    for (const auto& typed : cases) {
        QProcess query;
        query.setProcessEnvironment(env);
        query.start(QStringLiteral("gio"),
            { QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("standard::content-type"), typed.file });
        ASSERT_TRUE(query.waitForFinished(30000));
        const QByteArray type = query.readAllStandardOutput();
        EXPECT_EQ(type.contains("application/x-orvex-index-data"), typed.ours) << type.constData();
    }

    // And the program's entry offers to open that type.
    QFile entry(QStringLiteral(ORVEX_SOURCE_DIR "/resources/desktop/") + QLatin1String(kDesktopEntryId)
        + QStringLiteral(".desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << "the program names its windows' desktop entry";
    const QString types = QRegularExpression(QStringLiteral("(?m)^MimeType=(.*)$"))
                              .match(QString::fromUtf8(entry.readAll()))
                              .captured(1);
    EXPECT_TRUE(types.split(QLatin1Char(';')).contains(QStringLiteral("application/x-orvex-index-data")))
        << types.toStdString();
}

TEST(Desktop, StartingMakesNeitherThePicturesNorThePublicFolder)
{
    // The user's folders, as the desktop names them, not there yet.
    const QString home = TestTempDir() + QStringLiteral("/home");
    const QString dirs = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/user-dirs.dirs");
    {
        QFile file(dirs);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("XDG_PICTURES_DIR=\"" + home.toUtf8() + "/Pictures\"\nXDG_PUBLICSHARE_DIR=\"" + home.toUtf8()
            + "/Public\"\n");
    }
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    ASSERT_TRUE(SynchronizePrefs());
    {
        ProgramRun program;
        ASSERT_TRUE(program.Start()) << program.Log().constData();
        // The new index watches for tickets and checks its folder a second after opening.
        QThread::msleep(2500);
        EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/Pictures")));
        EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/Public")));
    }
    QFile::remove(dirs);
}

// The picture software centres show (resources/desktop/screenshots, made by
// scripts/images/screenshots.sh with this test): the sample index, laid out whole.
TEST(Desktop, TheSampleIndexWindowAsSoftwareCentresShowIt)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    IdleApp app;
    app.MakeMenuBar();
    app.Initialize();
    app.OpenOrPrintDocList({CopySampleIndex(QStringLiteral("Sample.idxp"))}, false);
    CIndexDoc* document = OnlyIndexDocument();
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->GetWindow()->IsVisible(); }));
    QWidget* shell = document->GetWindow()->GetShell();
    shell->resize(1200, 800);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    ProcessEventsFor(300);
    EXPECT_GE(document->CountAllItems(), 10);
    EXPECT_EQ(LayoutFaults(*shell), QStringList());
    // The thumbnails are drawn: a grid of pictures, not of empty cells.
    const QImage picture = shell->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y));
    EXPECT_GT(colours.size(), 2000);
    SavePictureIfAsked(*shell, QStringLiteral("index-window"));
    CloseIndexDocumentsUnsaved();
}

TEST_F(DesktopAlerts, AFileOrAnAddressThatCannotBeOpenedIsNamedInItsAlert)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    IdleApp app;
    app.MakeMenuBar();
    app.Initialize();
    const QString missing = TestTempDir() + QStringLiteral("/gone/Holiday 2.jpg");
    const QString unknown = QStringLiteral("sftp://example.org/photo.jpg");
    app.OpenOrPrintDocList({missing, unknown}, false);

    StAlertAnswers answers(1);
    ShowPendingErrorsNow(GetErrorNotifier());
    const QStringList& shown = answers.Texts();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("“") + missing + QStringLiteral("”"))) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].contains(unknown)) << shown[1].toStdString();
    EXPECT_TRUE(shown[1].contains(QStringLiteral("http"))) << "the alert says what can be opened";
    EXPECT_TRUE(OpenIndexDocuments().empty());
}

namespace {

// A slow web server, and downloads kept under the test's folder.
class DesktopDownloads : public DesktopAlerts {
protected:
    void SetUp() override
    {
        DesktopAlerts::SetUp();
        // Downloaded pictures get their thumbnails as in the program.
        CItemThumbnails::Install();
        downloads = UseTestDownloadFolder();
        SetPrefBoolean(QStringLiteral("DownloadFiles"), true);
        SetPrefBoolean(QStringLiteral("AskBeforeConnecting"), false);
    }
    void TearDown() override
    {
        DesktopAlerts::TearDown();
        for (const char* key : {"DownloadFolderAlias", "DownloadFiles", "AskBeforeConnecting", "ShowNotificationDialog"})
            SetPrefDefault(QString::fromLatin1(key));
    }

    QString downloads;
    QTemporaryDir root;
};

// Waits until every open index has ended its tasks.
bool TasksEnded()
{
    return RunUntil([] {
        for (CIndexDoc* document : OpenIndexDocuments())
            if (!IsIdle(document))
                return false;
        return true;
    });
}

} // namespace

TEST_F(DesktopDownloads, AnAddressOnTheCommandLineDownloadsIntoTheIndexInFront)
{
    LocalServer http(QStringLiteral("http_server.py"), root.path());
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    IdleApp app;
    app.MakeMenuBar();
    app.Initialize();
    app.OpenOrPrintDocList({http.URL(QStringLiteral("http"), QStringLiteral("/slow/3000")).toString()}, false);
    // No index was open: a new one takes the address, as a drop onto it would.
    CIndexDoc* document = OnlyIndexDocument();
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(TasksEnded());
    EXPECT_EQ(document->CountAllItems(), 1);
    EXPECT_EQ(QFileInfo(downloads + QStringLiteral("/3000")).size(), 3000);
}

// Run by the next test in a process of its own, whose session bus is the test's.
TEST_F(DesktopDownloads, DISABLED_TwoLongDownloadsOneBehindAnotherWindow)
{
    LocalServer http(QStringLiteral("http_server.py"), root.path(), {QStringLiteral("--rate"), QStringLiteral("10000")});
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    SetPrefBoolean(QStringLiteral("ShowNotificationDialog"), true);
    // The desktop entry, as the program's entry names it.
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopEntryId));
    IdleApp app;
    app.MakeMenuBar();
    app.Initialize();
    // Two indexes, each downloading for about six seconds; the user works in the
    // second, with the first behind it.
    app.MakeNewDocument();
    app.MakeNewDocument();
    std::vector<CIndexDoc*> documents = OpenIndexDocuments();
    ASSERT_EQ(documents.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        documents[i]->GetWindow()->Select();
        ASSERT_TRUE(RunUntil([&] { return documents[i]->GetWindow()->GetShell()->isActiveWindow(); }));
        app.OpenOrPrintDocList(
            {http.URL(QStringLiteral("http"), QStringLiteral("/slow/80000/") + QString::number(i)).toString()}, false);
    }
    // Each download ends once its file is whole, and its task a moment later.
    ASSERT_TRUE(RunUntil([&] {
        return QFileInfo(downloads + QStringLiteral("/0")).size() == 80000
            && QFileInfo(downloads + QStringLiteral("/1")).size() == 80000;
    }));
    ASSERT_TRUE(TasksEnded());
    ProcessEventsFor(1000);
    EXPECT_TRUE(documents[1]->GetWindow()->GetShell()->isActiveWindow());
    for (CIndexDoc* document : documents)
        EXPECT_EQ(document->CountAllItems(), 1);
    std::printf("behind: %s\n", documents[0]->GetWindow()->GetCFDescriptor().toUtf8().constData());
    std::printf("in front: %s\n", documents[1]->GetWindow()->GetCFDescriptor().toUtf8().constData());
    std::fflush(stdout);
}

namespace {

// The desktop's notification service as the test's own, recording what it is asked.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QStringList bodies;
    QStringList icons;
    QList<QVariantMap> hints;

public slots:
    uint Notify(const QString&, uint, const QString& icon, const QString& summary, const QString& body,
        const QStringList&, const QVariantMap& hint, int)
    {
        summaries << summary;
        bodies << body;
        icons << icon;
        hints << hint;
        return uint(bodies.size());
    }
    void CloseNotification(uint) { }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
};

} // namespace

TEST(Desktop, ALongTaskEndingBehindAnotherWindowIsNotified)
{
    // A session bus of the test's own, with the notification service on it.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(bus.waitForStarted(10000));
    const auto endBus = qScopeGuard([&] {
        QDBusConnection::disconnectFromBus(QStringLiteral("test-notifications"));
        bus.kill();
        bus.waitForFinished(5000);
    });
    while (!bus.canReadLine())
        ASSERT_TRUE(bus.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(bus.readLine().trimmed());
    FakeNotifications service;
    {
        QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("test-notifications"));
        ASSERT_TRUE(connection.isConnected());
        ASSERT_TRUE(connection.registerObject(
            QStringLiteral("/org/freedesktop/Notifications"), &service, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_also_run_disabled_tests"),
            QStringLiteral("--gtest_filter=DesktopDownloads.DISABLED_TwoLongDownloadsOneBehindAnotherWindow")});
    ASSERT_TRUE(program.waitForStarted(10000));
    EXPECT_TRUE(RunEventsUntil([&] { return program.state() == QProcess::NotRunning; }, 120000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    EXPECT_EQ(program.exitCode(), 0) << out.toStdString();

    const QString behind = QRegularExpression(QStringLiteral("behind: (.*)\\n")).match(out).captured(1);
    ASSERT_FALSE(behind.isEmpty()) << out.toStdString();
    // One notification: for the download whose window was behind.
    ASSERT_EQ(service.bodies.size(), 1) << service.bodies.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(service.summaries[0], QStringLiteral("Orvex"));
    // It carries the program's icon and names its desktop entry.
    EXPECT_EQ(service.icons[0], QLatin1String(kDesktopEntryId));
    EXPECT_EQ(service.hints[0].value(QStringLiteral("desktop-entry")).toString(), QLatin1String(kDesktopEntryId));
    EXPECT_TRUE(service.bodies[0].contains(QStringLiteral("“") + behind + QStringLiteral("”")))
        << service.bodies[0].toStdString();
}

#include "DesktopTest.moc"
