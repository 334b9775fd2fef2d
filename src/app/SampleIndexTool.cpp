// orvex-sample-index PACKAGE FILE...: makes the sample index installed with the
// program. The program itself does the work, offscreen and with preferences of its
// own: a new index that stores its media, the files added, saved as PACKAGE.
#include "COrvexApp.h"
#include "CIndexDoc.h"
#include "ErrorReport.h"
#include "ItemThumbnails.h"
#include "LocalizedStrings.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {
constexpr int kPatienceMilliseconds = 120000;

bool RunUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kPatienceMilliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
    return true;
}

bool IsIdle(CIndexDoc* document)
{
    const CIndexModel& model = document->GetModel();
    return !model.IsBusy() && model.CountRunningTasks() == 0;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "orvex-sample-index: %s\n", what);
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Fail("usage: orvex-sample-index PACKAGE FILE...");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Preferences, caches and data of its own: the user's are never touched.
    QTemporaryDir home;
    for (const char* variable : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR" }) {
        QString folder = home.path() + QLatin1Char('/') + QString::fromLatin1(variable);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(variable, QFile::encodeName(folder));
    }
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    const QStringList arguments = QCoreApplication::arguments();
    const QString package = QFileInfo(arguments.at(1)).absoluteFilePath();
    if (QFileInfo::exists(package) && !QDir(package).removeRecursively())
        return Fail("the old sample index could not be removed");

    InstallErrorReportHook();
    InstallIndexedStringLoader();
    CItemThumbnails::Install();
    OSStatus status = CatchCode([&] {
        COrvexApp app;
        app.MakeMenuBar();
        app.Initialize();
        app.MakeNewDocument();
        CIndexDoc* document = CIndexDoc::GetFrontDocument();
        ThrowIfNil_(document);
        // The sample carries its pictures inside, so it opens wherever it is installed.
        document->ChooseMediaOption(2);
        for (const QString& file : arguments.mid(2))
            document->AddItem(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
        if (!RunUntil([&] { return IsIdle(document); }))
            ThrowOSErr_(err_AssertFailed, "adding the files did not end");
        document->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(package));
        if (!RunUntil([&] { return IsIdle(document) && !document->IsModified(); }))
            ThrowOSErr_(err_AssertFailed, "saving did not end");
        if (!app.AttemptQuit())
            ThrowOSErr_(err_AssertFailed, "the index did not close");
    });
    if (status != noErr)
        return Fail(("the sample index was not made: " + ExceptionCode::CodeText(status)).c_str());
    if (!QFileInfo(package + QStringLiteral("/index.db")).isFile())
        return Fail("the sample index has no index.db");
    return 0;
}
