#include "AppRunSupport.h"
#include "COrvexApp.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "ProgramRunSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>


// kill, Ctrl-C and a closed terminal end the running program as its Quit command does:
// it exits normally and writes its preferences on the way out.
TEST(QuitOnSignal, TheProgramQuitsNormallyAndWritesItsPreferences)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4); // opens nothing by itself
    ASSERT_TRUE(SynchronizePrefs());
    const QString preferences = PreferenceDomain::ApplicationDomainPath();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(strsignal(signalNumber));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(ORVEX_BINARY), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(WaitForProgram(InstanceNameForConfiguration(), 20000)) << program.readAllStandardError().constData();

        // Whatever is there now was written at start-up: take it away to see the quit write it.
        ASSERT_TRUE(QFile::remove(preferences));
        ASSERT_EQ(::kill(pid_t(program.processId()), signalNumber), 0);
        ASSERT_TRUE(program.waitForFinished(20000)) << program.readAllStandardError().constData();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        ASSERT_TRUE(QFile::exists(preferences));
        QFile file(preferences);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        EXPECT_TRUE(written.contains("<key>StartupAction</key>")) << written.constData();
        EXPECT_TRUE(written.contains("<key>RecentItems</key>")) << written.constData();
    }
}

// An index whose files are pipes opens at once (as a damaged index), and the alert
// that reports it does not keep a signal from ending the program.
TEST(QuitOnSignal, AnAlertOnScreenDoesNotHoldTheQuit)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    ASSERT_TRUE(SynchronizePrefs());
    const QString package = QDir::tempPath() + QStringLiteral("/orvex-quit-%1/Pipes.idxp").arg(::getpid());
    QDir(QFileInfo(package).path()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(package + "/thumbs") && QDir().mkpath(package + "/media"));
    for (const char* name : { "/index.db", "/settings.xml" })
        ASSERT_EQ(::mkfifo(QFile::encodeName(package + name).constData(), 0600), 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVEX_BINARY), { package });
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(WaitForProgram(InstanceNameForConfiguration(), 20000)) << program.readAllStandardError().constData();
    // The damage is reported (an alert nobody answers) within a few seconds.
    QByteArray log;
    QElapsedTimer timer;
    timer.start();
    while (!log.contains("index.db not readable") && timer.elapsed() < 20000) {
        program.waitForReadyRead(200);
        log += program.readAllStandardError();
    }
    EXPECT_TRUE(QFileInfo::exists(package + "/settings.xml.damaged")) << log.constData();
    QThread::msleep(1500);
    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    EXPECT_TRUE(program.waitForFinished(20000)) << log.constData();
    if (program.state() != QProcess::NotRunning)
        program.kill();
    program.waitForFinished(5000);
    QDir(QFileInfo(package).path()).removeRecursively();
}

namespace {
QSet<QString> FilesIn(const QString& folder)
{
    QSet<QString> names;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        names.insert(files.next().mid(folder.size()));
    return names;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program with the index open and a photograph handed to it: a change not saved.
void OpenWithAPhotographAdded(ProgramRun& program, const QString& index, const QString& photo)
{
    ASSERT_TRUE(program.Start({ index }));
    ASSERT_TRUE(WaitUntil([&] { return PackageHolder(index) == program.Process().processId(); }, 20000));
    ASSERT_TRUE(ProgramRun::HandOver({ photo }));
    ASSERT_TRUE(program.WaitForLog("opening \"" + photo.toUtf8() + '"')) << program.Log().constData();
    QThread::msleep(3000); // the item is read and added, also on a loaded machine
}
} // namespace

// A signal cannot wait for a person to answer a Save question: with unsaved changes
// the program ends within a few seconds, asking nothing, its preferences written.
// The saved index stays as it was on disk, with nothing half written beside it.
TEST(QuitOnSignal, UnsavedChangesDoNotHoldTheProgram)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    SetPrefBoolean(QStringLiteral("IndexAutoSave"), false);
    ASSERT_TRUE(SynchronizePrefs());
    const QString preferences = PreferenceDomain::ApplicationDomainPath();
    const QString photo = TestTempDir() + QStringLiteral("/harbour.jpg");
    const QFileInfoList samples = QDir(TestDataPath(QStringLiteral("exif-samples/jpg"))).entryInfoList({ "*.jpg" }, QDir::Files, QDir::Name);
    ASSERT_FALSE(samples.isEmpty());
    ASSERT_TRUE(QFile::copy(samples.first().absoluteFilePath(), photo));

    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(strsignal(signalNumber));
        const QString index = CopySampleIndex(QStringLiteral("Unsaved.idxp"));
        const QSet<QString> files = FilesIn(index);
        const QByteArray records = Contents(index + QStringLiteral("/index.db"));
        ASSERT_FALSE(records.isEmpty());

        ProgramRun program;
        ASSERT_NO_FATAL_FAILURE(OpenWithAPhotographAdded(program, index, photo));

        ASSERT_TRUE(QFile::remove(preferences));
        ASSERT_TRUE(program.Signal(signalNumber));
        ASSERT_TRUE(program.WaitForEnd(5000)) << program.Log().constData();
        EXPECT_EQ(program.Process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.Process().exitCode(), 0);
        EXPECT_TRUE(Contents(preferences).contains("<key>RecentItems</key>"));
        EXPECT_EQ(Contents(index + QStringLiteral("/index.db")), records);
        EXPECT_EQ(FilesIn(index), files);
    }

    // Saving automatically, the index saves its change on the way out, as at any close.
    {
        SetPrefBoolean(QStringLiteral("IndexAutoSave"), true);
        ASSERT_TRUE(SynchronizePrefs());
        const QString index = CopySampleIndex(QStringLiteral("Saving.idxp"));
        const QByteArray records = Contents(index + QStringLiteral("/index.db"));
        ProgramRun program;
        ASSERT_NO_FATAL_FAILURE(OpenWithAPhotographAdded(program, index, photo));
        ASSERT_TRUE(program.Signal(SIGTERM));
        ASSERT_TRUE(program.WaitForEnd(5000)) << program.Log().constData();
        EXPECT_EQ(program.Process().exitCode(), 0);
        const QByteArray saved = Contents(index + QStringLiteral("/index.db"));
        EXPECT_NE(saved, records) << program.Log().constData();
        EXPECT_TRUE(saved.contains("harbour.jpg"));
        SetPrefBoolean(QStringLiteral("IndexAutoSave"), false);
        ASSERT_TRUE(SynchronizePrefs());
    }

    // An untitled index with the photograph in it: nothing on disk to keep.
    ProgramRun program;
    ASSERT_TRUE(program.Start({ photo }));
    ASSERT_TRUE(program.WaitForLog("opening \"" + photo.toUtf8() + '"')) << program.Log().constData();
    QThread::msleep(1000);
    ASSERT_TRUE(QFile::remove(preferences));
    ASSERT_TRUE(program.Signal(SIGTERM));
    ASSERT_TRUE(program.WaitForEnd(5000)) << program.Log().constData();
    EXPECT_EQ(program.Process().exitCode(), 0);
    EXPECT_TRUE(QFile::exists(preferences));
}

// At logout, where the session manager lets programs ask, an index with changes not
// saved calls the logout off and asks as Quit does; with nothing to save it may end.
TEST(EndOfSession, ChangesNotSavedCallTheLogoutOffAndAsk)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    const QStringList photos = CameraPhotos();
    ASSERT_FALSE(photos.isEmpty());
    IdleApp app;
    CIndexDoc* document = StartFirstRun(app);
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    EXPECT_TRUE(app.MayEndSession());

    document->AddItem(QUrl::fromLocalFile(photos.first()));
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->IsModified(); }));
    EXPECT_FALSE(app.MayEndSession());
    ASSERT_TRUE(RunUntil([&] { return qobject_cast<QMessageBox*>(document->GetSheet()) != nullptr; }));
    auto* question = qobject_cast<QMessageBox*>(document->GetSheet());
    EXPECT_NE(question->button(QMessageBox::Save), nullptr);
    // The user keeps working: the program runs on with its index.
    question->button(QMessageBox::Cancel)->click();
    ASSERT_TRUE(RunUntil([&] { return document->GetSheet() == nullptr; }));
    EXPECT_EQ(OnlyIndexDocument(), document);
    document->HandleSheetAnswer(CIndexDoc::sheet_DontSave);
    EXPECT_EQ(OnlyIndexDocument(), nullptr);
}
