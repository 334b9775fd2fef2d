#include "CImportiPhotoTask.h"

#include "CImportFolderTask.h"
#include "ExceptionCode.h"
#include "FileErrors.h"
#include "MediaFactory.h"
#include "Modules.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QUrl>

#include <sqlite3.h>

namespace {

Q_LOGGING_CATEGORY(lcLibrary, "orvex.library")

bool gPictureLibraryPresent = false;

// The library's own marks of a photo or video it keeps out of view.
constexpr qint64 kLibraryFlagHidden = 0x01;
constexpr qint64 kLibraryFlagTrash = 0x04;

// The database's failures as codes: a library that is busy or damaged is
// reported, never half read.
constexpr OSStatus kErrLibraryUnreadable = -8969;

// SQLite, loaded when a picture library is first read rather than at start.
struct SqliteFunctions {
    decltype(&sqlite3_open_v2) open_v2 = nullptr;
    decltype(&sqlite3_close) close = nullptr;
    decltype(&sqlite3_busy_timeout) busy_timeout = nullptr;
    decltype(&sqlite3_errmsg) errmsg = nullptr;
    decltype(&sqlite3_prepare_v2) prepare_v2 = nullptr;
    decltype(&sqlite3_step) step = nullptr;
    decltype(&sqlite3_column_text) column_text = nullptr;
    decltype(&sqlite3_column_int64) column_int64 = nullptr;
    decltype(&sqlite3_finalize) finalize = nullptr;
    bool loaded = false;
    std::string error; // why SQLite could not be loaded
};

const SqliteFunctions& Sqlite()
{
    static const SqliteFunctions functions = [] {
        SqliteFunctions f;
        f.loaded = LoadLibraryFunctions("libsqlite3.so.0", f.error, [&f](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, open_v2)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, close)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, busy_timeout)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, errmsg)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, prepare_v2)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, step)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, column_text)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, column_int64)
                && ORVEX_LIBRARY_FUNCTION(f, library, sqlite3_, finalize);
        });
        return f;
    }();
    return functions;
}

bool InHiddenFolder(const QString& path)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(parts.begin(), parts.end(), [](const QString& part) { return part.startsWith(QLatin1Char('.')); });
}

void ReadTable(sqlite3* db, const char* query, bool required, QStringList& files)
{
    sqlite3_stmt* statement = nullptr;
    if (Sqlite().prepare_v2(db, query, -1, &statement, nullptr) != SQLITE_OK) {
        if (!required)
            return; // an older library has no video table
        ThrowOSErr_(kErrLibraryUnreadable, std::string("picture library: ") + Sqlite().errmsg(db));
    }
    int step = SQLITE_ROW;
    while ((step = Sqlite().step(statement)) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(Sqlite().column_text(statement, 0));
        const qint64 flags = Sqlite().column_int64(statement, 1);
        if (!name || (flags & (kLibraryFlagHidden | kLibraryFlagTrash)))
            continue;
        const QString path = QString::fromUtf8(name);
        if (QDir::isAbsolutePath(path) && !InHiddenFolder(path))
            files << path;
    }
    const std::string reason = Sqlite().errmsg(db);
    Sqlite().finalize(statement);
    if (step != SQLITE_DONE)
        ThrowOSErr_(kErrLibraryUnreadable, "picture library: " + reason);
}

} // namespace

OSStatus LocatePictureLibrary(FileRef& outLibrary)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString path = data + QStringLiteral("/shotwell/data/photo.db");
    if (data.isEmpty() || !QFileInfo(path).isFile())
        return fnfErr;
    outLibrary = FileRef(path);
    return noErr;
}

OSStatus CheckPictureLibrary()
{
    FileRef library;
    gPictureLibraryPresent = LocatePictureLibrary(library) == noErr;
    return noErr;
}

bool IsPictureLibraryPresent()
{
    return gPictureLibraryPresent;
}

QStringList ReadPictureLibraryFiles(const FileRef& library)
{
    if (!Sqlite().loaded)
        ThrowOSErr_(kErrLibraryUnreadable, "picture library: " + Sqlite().error);
    sqlite3* db = nullptr;
    const QByteArray path = library.NativePath();
    if (Sqlite().open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const std::string reason = db ? Sqlite().errmsg(db) : "out of memory";
        Sqlite().close(db);
        ThrowOSErr_(kErrLibraryUnreadable, "picture library: " + reason);
    }
    // The photo manager may be writing meanwhile: wait for it a little.
    Sqlite().busy_timeout(db, 2000);
    QStringList files;
    try {
        ReadTable(db, "SELECT filename, flags FROM PhotoTable ORDER BY id", true, files);
        ReadTable(db, "SELECT filename, flags FROM VideoTable ORDER BY id", false, files);
    } catch (...) {
        Sqlite().close(db);
        throw;
    }
    Sqlite().close(db);
    return files;
}

CImportiPhotoTask::CImportiPhotoTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model)
    : CSourceImportTask(titleList, titleIndex, model)
{
}

void CImportiPhotoTask::RunTask()
{
    CIndexModel& model = BeginWork();
    SetIndeterminate(true);
    SetStatusCaption(601, 11);
    ShowProgress(0.1);

    FileRef library;
    ThrowIfOSErr_(LocatePictureLibrary(library));
    const QStringList files = WorkerPool::Run([&library] { return ReadPictureLibraryFiles(library); });
    SetIndeterminate(false);
    SetProgressMax(SInt32(files.size()));
    SInt32 done = 0;
    for (const QString& path : files) {
        CheckPause();
        SetProgress(++done);
        const QFileInfo info(path);
        if (!info.isFile())
            continue; // on a disk that is not attached, or gone
        const QUrl url = QUrl::fromLocalFile(path);
        const OSType type = GetFileTypeForExtension(info.fileName());
        if (!IsSupportedMediaType(type) && !IsSupportedMediaType(GetMediaFileType(url)))
            continue;
        if (ImportURL(model, url, kInsertAtEnd) != 0)
            ++mImported;
        if (YieldIfTimeUp(GetTaskSlice() * 2))
            SetItemCaption(info.fileName());
    }
    Finish(false);
}
