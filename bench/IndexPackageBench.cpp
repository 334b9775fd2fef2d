// A later save of a 100,000-item package through the write task, paired in one
// run with writing the very bytes that save writes with QSaveFile; the first save
// after opening that package again, paired the same way; both again for a
// million items whose files lie in a thousand folders; the first save of those
// million items as an index this program never saved leaves them (no alias of
// its own, index.db not dated by a save), paired with writing the bytes it
// wrote; and
// a first save of camera photographs, which reads their metadata, paired with
// reading the same metadata with Exiv2 alone. The records are a photograph
// collection's as the program saves them: real file names, aliases, the
// camera's EXIF and image record, a caption.
#include "BenchIndexPackage.h"
#include "BenchMain.h"
#include "EmptyPhotos.h"
#include "LoopGaps.h"
#include "PhotoRecords.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "ThreadUtilities.h"
#include "ThumbnailsBatchTiming.h"
#include "CIndexView.h"
#include "CReadIndexPackageTask.h"
#include "CVisualTask.h"
#include "CWriteIndexTask.h"
#include "IndexDbRecord.h"
#include "IndexPackageDocument.h"
#include "LStream.h"
#include "LThread.h"
#include "URegistrar.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QtGlobal>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// ORVEX_BENCH_ITEMS makes a smaller package, for profiling.
const int kItems = qEnvironmentVariableIsSet("ORVEX_BENCH_ITEMS") ? qEnvironmentVariableIntValue("ORVEX_BENCH_ITEMS") : 100000;
// The large collection: a million photographs in a thousand folders.
const int kManyItems = qEnvironmentVariableIsSet("ORVEX_BENCH_ITEMS") ? 10 * kItems : 1000000;

QTemporaryDir* gFolder = nullptr;

// A small photograph: with ORVEX_BENCH_PHOTOS set every media file is one, so
// that a first save reads each file's metadata as it would in a real collection;
// otherwise the files are empty and every medium fails.
QByteArray SmallPhotograph()
{
    if (!qEnvironmentVariableIsSet("ORVEX_BENCH_PHOTOS"))
        return {};
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 75);
    return bytes;
}

// One collection the saves are timed on: its package, index.db as made and as
// the first save wrote it.
struct Collection {
    QString name; // of the package in the benchmark's folder
    int items = 0;
    QByteArray pristine; // index.db as made, put back before a benchmark's first save
    QByteArray saved; // index.db as the first save wrote it
    QStringList folders; // of its files, kept from one run to the next
    QString PackagePath() const { return gFolder->filePath(name); }
};
Collection gOne {QStringLiteral("Bench.idxp"), kItems, {}, {}, {}};
Collection gMany {QStringLiteral("Many.idxp"), kManyItems, {}, {}, {}};

// The folders of files kept from an earlier run changed now, as if photographs
// had just been added: a first save looks at every file there and makes its alias.
void TouchFolders(const Collection& collection)
{
    for (const QString& folder : collection.folders)
        utime(QFile::encodeName(folder).constData(), nullptr);
}

// Records as a saved index holds a photograph collection's: real file names,
// the address of a file that exists, catalogue fields, the camera's EXIF and
// image record and a caption, and with `withAliases` the alias each save stores;
// without them a first save must make every alias. The files are the empty ones
// kept beside the build in a thousand folders, or with ORVEX_BENCH_PHOTOS small
// photographs written in the benchmark's own folder.
void MakeIndexDb(Collection& collection, bool withAliases)
{
    const QByteArray photograph = SmallPhotograph();
    const QString root = photograph.isEmpty() ? EmptyPhotoFolder(collection.items)
                                              : gFolder->filePath(collection.name + QStringLiteral(" Pictures"));
    const QByteArray rootURL = QUrl::fromLocalFile(root).toEncoded();
    collection.folders.clear();
    if (!photograph.isEmpty()) {
        for (int i = 0; i < std::min(collection.items, 1000); ++i)
            QDir().mkpath(root + QLatin1Char('/') + QString::fromUtf8(EmptyPhotoPath(i)).section(QLatin1Char('/'), 0, 0));
    }
    for (const QString& folder : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        collection.folders.append(root + QLatin1Char('/') + folder);
    const QString indexDb = CIndexPackage(QUrl::fromLocalFile(collection.PackagePath()), nullptr).GetIndexDbURL().toLocalFile();
    LDataStream stream;
    for (int i = 0; i < collection.items; ++i) {
        const QByteArray path = EmptyPhotoPath(i);
        const QString file = root + QLatin1Char('/') + QString::fromUtf8(path);
        if (!photograph.isEmpty()) {
            QFile out(file);
            out.open(QIODevice::WriteOnly);
            out.write(photograph);
        }
        IndexDbRecord record = PhotoRecord(i, PhotoName(i), rootURL + "/" + QUrl::toPercentEncoding(path, "/"),
            PhotoCaption(i, {QStringLiteral("beach"), QStringLiteral("roll %1").arg(i % 50)},
                QStringLiteral("Trip %1").arg(i % 20), "day " + QByteArray::number(i % 365)));
        if (withAliases)
            record.alias = PhotoAlias(indexDb, file);
        WriteIndexDbRecord(stream, record);
    }
    collection.pristine = stream.Data();
}

// index.db as it was made: a save writes what it learnt (aliases) into the file.
void PutBackIndexDb(const Collection& collection)
{
    CIndexPackage package(QUrl::fromLocalFile(collection.PackagePath()), nullptr);
    QFile file(package.GetIndexDbURL().toLocalFile());
    file.open(QIODevice::WriteOnly);
    file.write(collection.pristine);
}

// A package opened through the read task; the saves run on it.
struct Opened {
    StandaloneIndexView view;
    std::unique_ptr<BenchDocument> document;
    QString IndexDbPath() const { return document->GetPackage()->GetIndexDbURL().toLocalFile(); }
};
int gFailedSaves = 0;

// The package as it is on disk, opened through the read task.
std::unique_ptr<Opened> OpenThroughTheReadTask(const Collection& collection)
{
    auto opened = std::make_unique<Opened>();
    opened->view = MakeBenchView();
    opened->document = std::make_unique<BenchDocument>(opened->view.get(), collection.PackagePath(), collection.items);
    RunToEnd(new CReadIndexPackageTask(601, 1, opened->document.get()));
    if (opened->view->CountItems() != collection.items)
        ++gFailedSaves;
    return opened;
}

// A save of the whole index through the write task, as the Save command runs it;
// it succeeded when the index is no longer modified and index.db holds as many
// bytes as the first save wrote (all of them when `expected` is empty).
// The longest the event loop waited during the saves since last checked.
double gLongestSaveGap = 0;

bool SaveThroughTheWriteTask(Opened& opened, const QByteArray& expected = {})
{
    opened.view->SetModified(true);
    ThreadID id = 0;
    const LoopRun run = RunInEventLoop(
        [&] {
            auto* task = new CWriteIndexTask(601, 2, opened.document.get());
            id = task->GetID();
            task->Start();
        },
        [&] { return id != 0 && LThread::FromID(id) == nullptr; });
    gLongestSaveGap = std::max(gLongestSaveGap, run.longestGap);
    const bool saved = !opened.view->IsModified()
        && (expected.isEmpty() || QFileInfo(opened.IndexDbPath()).size() == expected.size());
    if (!saved)
        ++gFailedSaves;
    return saved;
}

// The window takes input during every save: the event loop never waits 100 ms.
void CheckSaveGaps(const std::string& what)
{
    char detail[64];
    std::snprintf(detail, sizeof detail, "longest %.0f ms (limit 100 ms)", gLongestSaveGap * 1000);
    CheckTarget("the event loop during every save of " + what, gLongestSaveGap <= 0.1, detail);
    gLongestSaveGap = 0;
}

// The yardstick: the very bytes the save writes, written with QSaveFile, and the
// folder synced as a save syncs it, so that the rename is on the disk too. Without
// that the file system's record of each copy's rename (and of the old copy's
// freed blocks) waits in its journal and the next save's sync pays for it.
void WriteTheSameBytesWithQSaveFile(const QByteArray& bytes)
{
    QSaveFile out(gFolder->filePath(QStringLiteral("copy.db")));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        ++gFailedSaves;
    const int folder = ::open(QFile::encodeName(gFolder->path()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder < 0 || ::fsync(folder) != 0)
        ++gFailedSaves;
    if (folder >= 0)
        ::close(folder);
}

// Whether index.db as saved reads back to the opened index's items: every
// record, in the index's order, with its item's name and an alias to its file.
bool ReadsBackToTheItems(const Opened& opened, const QByteArray& saved, std::string& detail)
{
    IndexDbReader reader(saved);
    IndexDbRecord record;
    const CIndexModel& model = opened.view->GetModel();
    SInt32 index = 0;
    SInt32 wrong = 0;
    SInt32 withoutAlias = 0;
    while (reader.Next(record)) {
        CIndexItem* item = model.ItemAt(++index);
        if (!item || !record.name || QString::fromUtf8(*record.name) != item->GetName())
            ++wrong;
        if (!record.alias)
            ++withoutAlias;
    }
    detail = std::to_string(index) + " records, " + std::to_string(wrong) + " not their item's, "
        + std::to_string(withoutAlias) + " without an alias, " + std::to_string(reader.Errors().size()) + " damaged";
    return index == model.CountAllItems() && wrong == 0 && withoutAlias == 0 && reader.Errors().empty();
}

// The first save of `collection` as made (it makes the items' aliases and reads
// their media: not a later save), then later saves of it unchanged, paired with
// writing the very bytes the save wrote with QSaveFile.
void LaterSavesAgainstTheSameBytes(benchmark::State& state, Collection& collection, const std::string& what, int pairs)
{
    PutBackIndexDb(collection);
    TouchFolders(collection);
    std::unique_ptr<Opened> opened = OpenThroughTheReadTask(collection);
    CheckTarget("the package of " + what + " opened with every item", opened->view->CountItems() == collection.items,
        std::to_string(opened->view->CountItems()) + " items");
    const auto start = std::chrono::steady_clock::now();
    const bool firstSaved = SaveThroughTheWriteTask(*opened);
    const double first = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CheckTarget("the first save of " + what + " succeeded", firstSaved, std::to_string(first) + " s");
    QFile saved(opened->IndexDbPath());
    saved.open(QIODevice::ReadOnly);
    collection.saved = saved.readAll();
    std::string detail;
    CheckTarget("the first save of " + what + " reads back to its items", ReadsBackToTheItems(*opened, collection.saved, detail),
        detail);
    const auto laterSave = [&] { SaveThroughTheWriteTask(*opened, collection.saved); };
    const auto copy = [&] { WriteTheSameBytesWithQSaveFile(collection.saved); };
    BenchmarkPaired(state, "later save of " + what + " unchanged / the same bytes with QSaveFile", 3.0, pairs, laterSave, copy);
    QFile again(opened->IndexDbPath());
    again.open(QIODevice::ReadOnly);
    CheckTarget("a later save of " + what + " wrote the first save's bytes", again.readAll() == collection.saved);
    CheckSaveGaps(what);
    CheckTarget("every later save of " + what + " and copy succeeded with the same size", gFailedSaves == 0,
        std::to_string(gFailedSaves) + " failed");
}

// The first save after opening a saved index, which every user pays: the package
// as the first save wrote it (aliases and all), opened afresh through the read
// task before each of these saves (untimed), paired with writing the same bytes
// with QSaveFile.
void FirstSavesAfterOpeningAgainstTheSameBytes(benchmark::State& state, Collection& collection, const std::string& what,
    int pairs)
{
    if (collection.saved.isEmpty()) {
        // Run alone: the package saved once first, as the benchmark of later saves leaves it.
        PutBackIndexDb(collection);
        TouchFolders(collection);
        std::unique_ptr<Opened> opened = OpenThroughTheReadTask(collection);
        SaveThroughTheWriteTask(*opened);
        QFile saved(opened->IndexDbPath());
        saved.open(QIODevice::ReadOnly);
        collection.saved = saved.readAll();
    }
    std::unique_ptr<Opened> reopened = OpenThroughTheReadTask(collection);
    bool reopen = false;
    BenchmarkPaired(
        state, "first save after opening " + what + " / the same bytes with QSaveFile", 3.0, pairs,
        [&] {
            SaveThroughTheWriteTask(*reopened, collection.saved);
            reopen = true;
        },
        [&] { WriteTheSameBytesWithQSaveFile(collection.saved); },
        [&] {
            if (reopen) {
                reopened.reset(); // one index of this size open at a time
                reopened = OpenThroughTheReadTask(collection);
            }
            reopen = false;
        });
    CheckSaveGaps(what);
    CheckTarget("every first save after opening " + what + " and copy succeeded with the same size", gFailedSaves == 0,
        std::to_string(gFailedSaves) + " failed");
}

void BM_LaterSaveAgainstTheSameBytes(benchmark::State& state)
{
    LaterSavesAgainstTheSameBytes(state, gOne, std::to_string(gOne.items) + " items", 5);
}
BENCHMARK(BM_LaterSaveAgainstTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_FirstSaveAfterOpeningAgainstTheSameBytes(benchmark::State& state)
{
    FirstSavesAfterOpeningAgainstTheSameBytes(state, gOne, std::to_string(gOne.items) + " saved items", 5);
}
BENCHMARK(BM_FirstSaveAfterOpeningAgainstTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_LaterSaveOfManyFoldersAgainstTheSameBytes(benchmark::State& state)
{
    MakeIndexDb(gMany, false);
    LaterSavesAgainstTheSameBytes(state, gMany, std::to_string(gMany.items) + " items in 1000 folders", 9);
}
BENCHMARK(BM_LaterSaveOfManyFoldersAgainstTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_FirstSaveAfterOpeningManyFoldersAgainstTheSameBytes(benchmark::State& state)
{
    if (gMany.pristine.isEmpty())
        MakeIndexDb(gMany, false);
    FirstSavesAfterOpeningAgainstTheSameBytes(state, gMany, std::to_string(gMany.items) + " saved items in 1000 folders", 5);
}
BENCHMARK(BM_FirstSaveAfterOpeningManyFoldersAgainstTheSameBytes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();

// The first save of an index this program has never saved (another program's,
// an import's or an older version's): its records have no alias of this
// program's, and its index.db, written plainly, carries no date a save gave it,
// so no record can be kept as it was and every folder counts as changed. The
// save makes an alias for each item's file, looking at every file once, and
// writes index.db. It is paired with writing the bytes it wrote with QSaveFile,
// as the later saves are, and must stay within 3 times of it; a plain loop of
// stat(2) over the same files, the least a look at each file costs, is timed
// after the pairs and printed beside it.
constexpr double kNeverSavedAgainstTheSameBytes = 3.0;

double StatEveryFile(const std::vector<QByteArray>& paths)
{
    const auto start = std::chrono::steady_clock::now();
    struct stat status {};
    qsizetype found = 0;
    for (const QByteArray& path : paths)
        found += ::stat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) ? 1 : 0;
    if (found != qsizetype(paths.size()))
        ++gFailedSaves;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FirstSaveOfANeverSavedIndexAgainstTheSameBytes(benchmark::State& state)
{
    if (gMany.pristine.isEmpty())
        MakeIndexDb(gMany, false);
    const QString root = EmptyPhotoFolder(gMany.items);
    std::vector<QByteArray> paths;
    paths.reserve(size_t(gMany.items));
    for (int i = 0; i < gMany.items; ++i)
        paths.push_back(QFile::encodeName(root + QLatin1Char('/') + QString::fromUtf8(EmptyPhotoPath(i))));
    // Untimed before each save: the package as made, its folders changed since,
    // opened afresh.
    std::unique_ptr<Opened> opened;
    const auto reopen = [&] {
        opened.reset(); // one index of this size open at a time
        PutBackIndexDb(gMany);
        TouchFolders(gMany);
        opened = OpenThroughTheReadTask(gMany);
    };
    reopen();
    bool saved = false;
    QByteArray written;
    const std::string what = std::to_string(gMany.items) + " items never saved";
    for (auto _ : state) {
        const PairedTimes times = RunPaired(
            5, [&] { saved = SaveThroughTheWriteTask(*opened); }, [&] { WriteTheSameBytesWithQSaveFile(written); },
            [&] {
                if (saved) {
                    QFile file(opened->IndexDbPath());
                    file.open(QIODevice::ReadOnly);
                    written = file.readAll();
                    std::string detail;
                    const bool readsBack = ReadsBackToTheItems(*opened, written, detail);
                    CheckTarget("the first save of " + what + " gave every record an alias", readsBack,
                        detail + ", " + std::to_string(written.size() / std::max(gMany.items, 1)) + " bytes a record");
                    reopen();
                }
                saved = false;
            });
        state.SetIterationTime(times.MedianA());
        CheckRatio("first save of " + what + " / the same bytes with QSaveFile", times, kNeverSavedAgainstTheSameBytes);
        std::vector<double> statSeconds;
        for (int run = 0; run < 3; ++run)
            statSeconds.push_back(StatEveryFile(paths));
        std::sort(statSeconds.begin(), statSeconds.end());
        const double stat = statSeconds[1];
        std::printf("%-60s %.3f s, stat(2) of its files alone %.3f s: ratio %.2f\n", ("first save of " + what).c_str(),
            times.MedianA(), stat, stat > 0 ? times.MedianA() / stat : 0);
    }
    CheckSaveGaps(what);
    CheckTarget("every first save of " + what + " and copy succeeded", gFailedSaves == 0,
        std::to_string(gFailedSaves) + " failed");
}
BENCHMARK(BM_FirstSaveOfANeverSavedIndexAgainstTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// --- A first save of camera photographs ---------------------------------------------------------------

constexpr int kPhotoCopies = 100; // of each sample photograph, under new names

QStringList gPhotos; // the copies
QByteArray gPhotoRecords; // index.db of a package naming them, as made: nothing read from them yet

QString PhotoPackagePath()
{
    return gFolder->filePath(QStringLiteral("Photos.idxp"));
}

// Camera photographs from the test data (their pictures shrunk, their EXIF kept
// as the cameras wrote it), each copied under new names.
void MakePhotoPackage()
{
    const QDir samples(QStringLiteral(ORVEX_TEST_DATA_DIR "/exif-samples/jpg"));
    const QStringList names = samples.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    const QString folder = gFolder->filePath(QStringLiteral("Photos"));
    QDir().mkpath(folder);
    LDataStream stream;
    for (int copy = 0; copy < kPhotoCopies; ++copy) {
        for (const QString& name : names) {
            const QString path = folder + QStringLiteral("/%1 %2").arg(copy, 3, 10, QLatin1Char('0')).arg(name);
            QFile::copy(samples.filePath(name), path);
            gPhotos.append(path);
            IndexDbRecord record;
            record.name = QFileInfo(path).fileName().toUtf8();
            record.fileURL = QUrl::fromLocalFile(path).toEncoded();
            record.fields = CatalogueFields {'JPEG', UInt32(QFileInfo(path).size()), 3000000000u, 3000000000u,
                3000000000u, SInt32(gPhotos.size()), 0};
            WriteIndexDbRecord(stream, record);
        }
    }
    gPhotoRecords = stream.Data();
    CheckTarget("camera photographs copied", gPhotos.size() == kPhotoCopies * names.size() && !names.isEmpty(),
        std::to_string(gPhotos.size()) + " files");
}

Opened* gPhotoIndex = nullptr; // opened, not yet saved once gPhotoIndexSaved is false
bool gPhotoIndexSaved = false;

// Untimed: the photograph package as made, opened through the read task. The
// index a save has just written goes first: closing an index is no part of saving it.
void OpenPhotoPackage()
{
    if (gPhotoIndex && !gPhotoIndexSaved)
        return;
    delete gPhotoIndex;
    gPhotoIndex = nullptr;
    gPhotoIndexSaved = false;
    CIndexPackage package(QUrl::fromLocalFile(PhotoPackagePath()), nullptr);
    QFile file(package.GetIndexDbURL().toLocalFile());
    file.open(QIODevice::WriteOnly);
    file.write(gPhotoRecords);
    file.close();
    gPhotoIndex = new Opened;
    gPhotoIndex->view = MakeBenchView();
    gPhotoIndex->document = std::make_unique<BenchDocument>(gPhotoIndex->view.get(), PhotoPackagePath(), gPhotos.size());
    RunToEnd(new CReadIndexPackageTask(601, 1, gPhotoIndex->document.get()));
}

int gPhotoFailures = 0;

// The first save: every record gains the photograph's metadata.
void FirstSaveOfPhotos()
{
    Opened* opened = gPhotoIndex;
    if (!opened || gPhotoIndexSaved || opened->view->CountItems() != gPhotos.size()) {
        ++gPhotoFailures;
        return;
    }
    opened->view->SetModified(true);
    RunToEnd(new CWriteIndexTask(601, 2, opened->document.get()));
    if (opened->view->IsModified())
        ++gPhotoFailures;
    CIndexItem* item = nullptr;
    if (!opened->view->GetModel().GetItemAt(1, item) || !item || !item->GetUserData())
        ++gPhotoFailures;
    gPhotoIndexSaved = true;
}

// The yardstick: each photograph's metadata read with Exiv2 alone.
void ReadPhotoMetadataWithExiv2()
{
    for (const QString& path : gPhotos) {
        try {
            auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
            image->readMetadata();
            if (image->exifData().empty())
                ++gPhotoFailures;
        } catch (const std::exception&) {
            ++gPhotoFailures;
        }
    }
}

void BM_FirstSaveOfPhotosAgainstExiv2(benchmark::State& state)
{
    MakePhotoPackage();
    for (auto _ : state) {
        OpenPhotoPackage();
        const PairedTimes times = RunPaired(5, FirstSaveOfPhotos, ReadPhotoMetadataWithExiv2, OpenPhotoPackage);
        state.SetIterationTime(times.MedianA());
        CheckRatio("first save of " + std::to_string(gPhotos.size()) + " camera photographs / their metadata with Exiv2",
            times, 1.5);
    }
    CheckTarget("every first save and metadata read succeeded", gPhotoFailures == 0,
        std::to_string(gPhotoFailures) + " failed");
    delete gPhotoIndex;
    gPhotoIndex = nullptr;
}
BENCHMARK(BM_FirstSaveOfPhotosAgainstExiv2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void Prepare()
{
    gFolder = new QTemporaryDir;
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    InstallThreadYieldTimer(0.04); // as the program does at start: tasks run from the event loop
    MakeIndexDb(gOne, true);
}

void Report()
{
    RemoveThreadYieldTimer();
    TerminateTasks();
    delete gFolder;
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
