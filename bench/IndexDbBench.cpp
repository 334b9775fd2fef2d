// Opening an index of a million items through the read task into an index view,
// paired with reading index.db whole and parsing its records, each side the
// first thing a fresh process does (its arenas and heap cold, as a user's first
// open finds them); and
// the bytes each opened item holds as the allocators count them: the C
// library's heap and its own mappings, and the chunks of the item arenas; and
// opening a million photographs' records as the program saves them (aliases,
// the camera's EXIF and image record, captions) until the index is usable, as
// whole processes: the program's own index window shown, its value index built
// and the organizer filled, within 5x a process that only reads and parses the
// same index.db, its peak resident memory within that process's and its final
// one within 1 KB an item, with
// keys pressed all along (in the new index window while the package is read)
// and neither the loop nor a key waiting over 100 ms.
#include "BenchIndexPackage.h"
#include "BenchMain.h"
#include "BenchProgram.h"
#include "EmptyPhotos.h"
#include "LoopGaps.h"
#include "PhotoRecords.h"
#include "ThumbnailsBatchTiming.h"

#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CMetaDataListView.h"
#include "CReadIndexPackageTask.h"
#include "FieldKeys.h"
#include "IndexDbRecord.h"
#include "ItemArena.h"
#include "LStream.h"
#include "LThread.h"
#include "LWindow.h"
#include "URegistrar.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <malloc.h>
#include <memory>
#include <span>
#include <vector>

namespace {

// ORVEX_BENCH_ITEMS makes a smaller index, for profiling.
const int kItems = qEnvironmentVariableIsSet("ORVEX_BENCH_ITEMS") ? qEnvironmentVariableIntValue("ORVEX_BENCH_ITEMS") : 1000000;

// A record as a photograph's looks after import: name, file URL, alias,
// catalogue fields, a short caption and the image record.
QByteArray MakeIndexDb()
{
    LDataStream stream;
    QByteArray caption("\x1C\x02\x00\x00\x02\x00\x04\x1C\x02\x69\x00\x0F" "Harbour at dawn", 27);
    for (int i = 0; i < kItems; ++i) {
        IndexDbRecord record;
        const QByteArray name = "IMG_" + QByteArray::number(10000 + i) + ".JPG";
        record.name = name;
        record.fileURL = "file:///home/pat/Pictures/2026/" + name;
        // The alias a save stores beside it: the same file by its path, by its
        // path from the package, and by its inode.
        AliasRecord alias;
        alias.device = 2049;
        alias.inode = UInt64(5000000 + i);
        alias.size = 3000000 + i;
        alias.modificationSeconds = 1780000000 + i;
        alias.absolutePath = "/home/pat/Pictures/2026/" + name;
        alias.relativePath = "../../../home/pat/Pictures/2026/" + name;
        alias.volumeLabel = QStringLiteral("Home");
        record.alias.emplace();
        alias.ToBytes(*record.alias);
        record.fields = CatalogueFields {'JPEG', UInt32(3000000 + i), 3000000000u, 3100000000u, 3100000000u, i + 1, 0};
        record.caption = caption;
        record.imageRecord.emplace();
        record.imageRecord->fill(0);
        WriteIndexDbRecord(stream, record);
    }
    return stream.TakeData();
}

// The index file, written once for every benchmark of the run.
struct BenchIndex {
    QTemporaryDir dir;
    std::unique_ptr<CIndexPackage> package;
    QString path; // its index.db
    QString packagePath;
    qint64 size = 0;
};
BenchIndex& Index()
{
    static BenchIndex index = [] {
        BenchIndex made;
        made.package = std::make_unique<CIndexPackage>(QUrl::fromLocalFile(made.dir.path() + "/Bench.idxp"), nullptr);
        made.path = made.package->GetIndexDbURL().toLocalFile();
        QFile db(made.path);
        db.open(QIODevice::WriteOnly);
        db.write(MakeIndexDb());
        db.close();
        made.size = QFileInfo(made.path).size();
        made.packagePath = made.dir.path() + "/Bench.idxp";
        return made;
    }();
    return index;
}

// The side a fresh process runs, and the index it runs it on.
constexpr char kFreshSideArgument[] = "--fresh-side";
QString gFreshPackagePath; // set in a fresh process: the package the parent wrote

QString PackagePath()
{
    return gFreshPackagePath.isEmpty() ? Index().packagePath : gFreshPackagePath;
}

QString IndexDbPath()
{
    if (gFreshPackagePath.isEmpty())
        return Index().path;
    return CIndexPackage(QUrl::fromLocalFile(gFreshPackagePath), nullptr).GetIndexDbURL().toLocalFile();
}

size_t HeldBytes()
{
    const struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd + ItemArena::HeldBytes();
}

QByteArray ReadAll()
{
    QFile db(IndexDbPath());
    db.open(QIODevice::ReadOnly);
    return db.readAll();
}

// What an opening leaves: the view with its items, and the document around it.
struct Opened {
    StandaloneIndexView view;
    std::unique_ptr<BenchDocument> document;
};
Opened gOpened;
double gBytesPerItem = 0;
int gWrongCounts = 0;

// The read task reads the file on the worker pool and inserts one item per record into the view.
void OpenThroughTheReadTask()
{
    const size_t before = HeldBytes();
    gOpened.view = MakeBenchView();
    gOpened.document = std::make_unique<BenchDocument>(gOpened.view.get(), PackagePath(), kItems);
    // Every item is told to the views: the list views' table and the cache's queue.
    SInt32 added = 0;
    QObject::connect(&gOpened.view->GetModel(), &CIndexModel::itemsAdded,
        [&added](std::span<CIndexItem* const> items) { added += SInt32(items.size()); });
    RunToEnd(new CReadIndexPackageTask(601, 1, gOpened.document.get()));
    const SInt32 count = gOpened.view->CountItems();
    if (count != kItems || added != kItems || gOpened.view->GetModel().ItemTable().rowCount() != kItems)
        ++gWrongCounts;
    // What the items hold once the file's bytes are gone, the view's lists included.
    gBytesPerItem = double(HeldBytes() - before) / double(std::max<SInt32>(count, 1));
}

void ReadAndParseRecords()
{
    IndexDbReader reader(ReadAll());
    IndexDbRecord record;
    int count = 0;
    while (reader.Next(record))
        ++count;
    if (count != kItems)
        ++gWrongCounts;
}

void CloseOpened()
{
    gOpened.view.reset();
    gOpened.document.reset();
}

// Runs one side in a fresh process of this program; answers the seconds it
// took there (not the process's start), or a negative number when it failed
// or counted wrong.
double RunFreshSide(const char* side)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        {QString::fromLatin1(kFreshSideArgument), QString::fromLatin1(side), Index().packagePath});
    if (!child.waitForFinished(300000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return -1;
    bool ok = false;
    const double seconds = child.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

// The body of a fresh process: one side, timed; its seconds on standard output.
int RunOneFreshSide(const std::string& side)
{
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    const auto start = std::chrono::steady_clock::now();
    if (side == "open")
        OpenThroughTheReadTask();
    else
        ReadAndParseRecords();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f\n", seconds);
    CloseOpened();
    TerminateTasks();
    return gWrongCounts == 0 ? 0 : 1;
}

void BM_OpenAgainstReadAndParse(benchmark::State& state)
{
    for (auto _ : state) {
        // Pairs of fresh processes, the order turned each pair, after one of each unpaired.
        constexpr int kPairs = 7;
        PairedTimes times;
        int failed = 0;
        RunFreshSide("open");
        RunFreshSide("parse");
        for (int pair = 0; pair < kPairs; ++pair) {
            const bool openFirst = pair % 2 == 0;
            const double first = RunFreshSide(openFirst ? "open" : "parse");
            const double second = RunFreshSide(openFirst ? "parse" : "open");
            const double open = openFirst ? first : second;
            const double parse = openFirst ? second : first;
            if (open <= 0 || parse <= 0) {
                ++failed;
                continue;
            }
            times.a.push_back(open);
            times.b.push_back(parse);
            times.ratios.push_back(open / parse);
        }
        gWrongCounts += failed;
        state.SetIterationTime(times.MedianA());
        CheckRatio("first open of " + std::to_string(kItems) + " items in a fresh process / read+parse in another", times, 2.0);
    }
    // The bytes an item holds, from an opening in this process.
    OpenThroughTheReadTask();
    CloseOpened();
    CheckTarget("every opening (view, table, items added) and parse counted " + std::to_string(kItems) + " items",
        gWrongCounts == 0,
        std::to_string(gWrongCounts) + " wrong count(s)");
    char detail[64];
    std::snprintf(detail, sizeof detail, "%.0f bytes an item (target <= 650)", gBytesPerItem);
    CheckTarget("bytes an opened item holds", gBytesPerItem > 0 && gBytesPerItem <= 650, detail);
    state.counters["bytes_per_item"] = gBytesPerItem;
    state.counters["file_bytes_per_item"] = double(Index().size) / kItems;
}
BENCHMARK(BM_OpenAgainstReadAndParse)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// What an opened item holds before and after a quick search in the headline,
// which looks at every item's caption: at most a tenth more.
void BM_BytesAfterAQuickSearch(benchmark::State& state)
{
    for (auto _ : state) {
        CloseOpened();
        OpenThroughTheReadTask();
        const double before = double(HeldBytes());
        // The search runs as a task of its own beside those the view keeps.
        const size_t others = LThread::CountThreads();
        gOpened.view->StartQuickSearch(kFieldHeadline, QStringLiteral("dawn"));
        // Tasks the opening started (the cache's) may end meanwhile: the search has
        // ended when the filter shows what it found.
        const CIndexModel& model = gOpened.view->GetModel();
        const bool ended = LThread::RunUntil(
            [&] { return LThread::CountThreads() <= others && model.IsFiltered() && model.CountItems() == kItems; },
            120000);
        const double grown = (double(HeldBytes()) - before) / kItems;
        const SInt32 found = gOpened.view->GetModel().CountItems();
        CheckTarget("the quick search ended and found every item", ended && found == kItems, std::to_string(found) + " found");
        char detail[96];
        std::snprintf(detail, sizeof detail, "%.0f bytes an item more than the %.0f an opened item holds (target <= 10%%)",
            grown, gBytesPerItem);
        CheckTarget("bytes an item after a quick search", gBytesPerItem > 0 && grown <= 0.1 * gBytesPerItem, detail);
        state.counters["bytes_per_item_grown"] = grown;
        CloseOpened();
    }
}
BENCHMARK(BM_BytesAfterAQuickSearch)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- Open until usable, whole processes --------------------------------------------------------

constexpr char kUsableSideArgument[] = "--usable-side";
constexpr double kUsableRatio = 5.0;
constexpr double kUsableBytesPerItem = 1024;
constexpr int kUsablePairs = 5;
const char* const kPlaces[] = { "beach", "harbour", "mountain", "forest", "city", "river", "desert", "island" };

qsizetype HarbourItems()
{
    qsizetype count = 0;
    for (int i = 0; i < kItems; ++i)
        count += (i / 3) % std::size(kPlaces) == 1 ? 1 : 0;
    return count;
}

// A photograph collection as the program saves it (PhotoRecords): names as a
// camera gives them, the files (the empty ones kept beside the build, in a
// thousand folders) with their aliases, catalogue fields, the camera's EXIF and
// image record, and a caption (two keywords, a headline and a caption text).
// Made once for a count of items and kept beside the build.
QString UsablePackage()
{
    const QString folder = QStringLiteral(ORVEX_BENCH_FILES_DIR "/open-usable-photos/") + QString::number(kItems);
    const QString path = folder + QStringLiteral("/Photos.idxp");
    const QString made = folder + QStringLiteral("/made");
    if (QFileInfo::exists(made))
        return path;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder); // the package is made inside it
    const QString photos = EmptyPhotoFolder(kItems);
    const QByteArray photosURL = QUrl::fromLocalFile(photos).toEncoded();
    CIndexPackage package(QUrl::fromLocalFile(path + QLatin1Char('/')), nullptr);
    const QString indexDb = package.GetIndexDbURL().toLocalFile();
    LDataStream stream;
    for (int i = 0; i < kItems; ++i) {
        const int file = int((qint64(i) * 7919) % kItems);
        IndexDbRecord record = PhotoRecord(i, PhotoName(file),
            photosURL + "/" + QUrl::toPercentEncoding(EmptyPhotoPath(file), "/"),
            PhotoCaption(i, {QString::fromLatin1(kPlaces[(i / 3) % std::size(kPlaces)]), QStringLiteral("roll %1").arg(i % 50)},
                QStringLiteral("Trip %1").arg(i % 20), "day " + QByteArray::number(i % 365)));
        record.alias = PhotoAlias(indexDb, photos + QLatin1Char('/') + QString::fromUtf8(EmptyPhotoPath(file)));
        WriteIndexDbRecord(stream, record);
    }
    QFile file(indexDb);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(stream.Data()) == stream.Data().size();
    file.close();
    if (written)
        QFile(made).open(QIODevice::WriteOnly);
    return path;
}

// The body of the program's process: the package opened in its index window with
// the organizer shown, until the window is on screen, every item in, the value
// index built from them all and the organizer listing a group per indexed field.
// Keys are pressed all along as a keyboard sends them: in the new index window
// the program shows at start while the package is read (its own window shows
// once read). Then "<peak KiB> <resident KiB> <longest gap ms> <longest key
// wait ms>" on standard output, and the process ends at once (what it holds is
// measured, not how it lets go).
int OpenUntilUsable(const QString& packagePath)
{
    StartAsTheProgramDoes();
    auto* untitled = new CIndexDoc(nullptr, QUrl(), false, false);
    untitled->GetWindow()->Show();
    QCoreApplication::processEvents();
    InputWindow() = untitled->GetWindow()->GetShell()->windowHandle();
    CIndexDoc* doc = nullptr;
    CIndexModel* model = nullptr;
    CIndexView* view = nullptr;
    CMetaDataListView* organizer = nullptr;
    const auto usable = [&] {
        if (!doc || model->CountAllItems() != kItems || model->IsBusy() || model->CountRunningTasks() != 0 || !view
            || view->GetCacheTask() || !doc->GetWindow()->IsVisible() || !model->HasValueIndex() || !organizer
            || !organizer->GetLibraryRow())
            return false;
        for (SInt32 key : model->GetValueIndexKeys())
            if (!organizer->FindGroup(key))
                return false;
        return true;
    };
    const LoopRun run = RunInEventLoop(
        [&] {
            doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(packagePath), true, false);
            doc->ShowOrganizerView();
            model = &doc->GetModel();
            view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
            organizer = dynamic_cast<CMetaDataListView*>(doc->GetWindow()->FindPaneByID(kPaneOrganizerList));
        },
        usable);
    if (!usable()) {
        std::fprintf(stderr, "the index did not become usable: %d items\n", model ? int(model->CountAllItems()) : 0);
        std::_Exit(1);
    }
    const int peak = int(ProcessStatusMB("VmHWM:") * 1024);
    const int resident = int(ProcessStatusMB("VmRSS:") * 1024);
    const qsizetype harbour = model->GetValueMembers(kFieldKeywords, QStringLiteral("harbour")).size();
    if (harbour != HarbourItems()) {
        std::fprintf(stderr, "%d items under \"harbour\", %d made\n", int(harbour), int(HarbourItems()));
        std::_Exit(1);
    }
    std::printf("%d %d %.0f %.0f\n", peak, resident, run.longestGap * 1000, run.longestInputWait * 1000);
    std::fflush(stdout);
    std::_Exit(0);
}

// The yardstick's process: index.db read whole and its records parsed by the
// program's own reader, nothing else; its peak and resident KiB printed likewise.
int ReadAndParseOnly(const QString& packagePath)
{
    QFile db(CIndexPackage(QUrl::fromLocalFile(packagePath), nullptr).GetIndexDbURL().toLocalFile());
    if (!db.open(QIODevice::ReadOnly))
        return 1;
    IndexDbReader reader(db.readAll());
    IndexDbRecord record;
    int count = 0;
    while (reader.Next(record))
        ++count;
    if (count != kItems) {
        std::fprintf(stderr, "%d records parsed\n", count);
        return 1;
    }
    std::printf("%d %d 0 0\n", int(ProcessStatusMB("VmHWM:") * 1024), int(ProcessStatusMB("VmRSS:") * 1024));
    std::fflush(stdout);
    return 0;
}

struct WholeProcess {
    double seconds = -1; // from its start to its end; negative when it failed
    double peakKiB = 0;
    double residentKiB = 0;
    double longestGapMs = 0;
    double longestKeyWaitMs = 0;
};

WholeProcess RunWholeProcess(const char* side, const QString& packagePath)
{
    WholeProcess run;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(),
        { QString::fromLatin1(kUsableSideArgument), QString::fromLatin1(side), packagePath });
    const bool ended = child.waitForFinished(600000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    if (!ended || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || figures.size() != 4)
        return run;
    run.seconds = seconds;
    run.peakKiB = figures[0].toDouble();
    run.residentKiB = figures[1].toDouble();
    run.longestGapMs = figures[2].toDouble();
    run.longestKeyWaitMs = figures[3].toDouble();
    return run;
}

void BM_UsableAgainstReadAndParse(benchmark::State& state)
{
    const QString package = UsablePackage();
    for (auto _ : state) {
        double peak = 0;
        double resident = 0;
        double parsePeak = 0;
        double longestGapMs = 0;
        double longestKeyWaitMs = 0;
        int failed = 0;
        const PairedTimes times = [&] {
            PairedTimes paired;
            // One of each unpaired first (the file's pages in the cache), then pairs, the order turned each pair.
            RunWholeProcess("usable", package);
            RunWholeProcess("parse", package);
            for (int pair = 0; pair < kUsablePairs; ++pair) {
                const bool usableFirst = pair % 2 == 0;
                const WholeProcess first = RunWholeProcess(usableFirst ? "usable" : "parse", package);
                const WholeProcess second = RunWholeProcess(usableFirst ? "parse" : "usable", package);
                const WholeProcess& usable = usableFirst ? first : second;
                const WholeProcess& parse = usableFirst ? second : first;
                if (usable.seconds <= 0 || parse.seconds <= 0) {
                    ++failed;
                    continue;
                }
                peak = std::max(peak, usable.peakKiB);
                resident = std::max(resident, usable.residentKiB);
                parsePeak = std::max(parsePeak, parse.peakKiB);
                longestGapMs = std::max(longestGapMs, usable.longestGapMs);
                longestKeyWaitMs = std::max(longestKeyWaitMs, usable.longestKeyWaitMs);
                paired.a.push_back(usable.seconds);
                paired.b.push_back(parse.seconds);
                paired.ratios.push_back(usable.seconds / parse.seconds);
            }
            return paired;
        }();
        state.SetIterationTime(times.MedianA());
        CheckTarget("every process opened (window, value index, organizer) or parsed " + std::to_string(kItems)
                + " items",
            failed == 0 && !times.ratios.empty(), std::to_string(failed) + " failed");
        CheckRatio("open of " + std::to_string(kItems) + " items until usable / read+parse, whole processes", times,
            kUsableRatio);
        CheckTarget("no freeze while opening until usable", longestGapMs <= 100,
            std::to_string(int(longestGapMs)) + " ms at the longest (limit 100 ms)");
        CheckTarget("the keys pressed while opening until usable are taken at once", longestKeyWaitMs <= 100,
            std::to_string(int(longestKeyWaitMs)) + " ms at the longest wait (limit 100 ms)");
        const double peakBytes = peak * 1024 / kItems;
        const double residentBytes = resident * 1024 / kItems;
        // At its peak the opening holds part of index.db as it reads it, about 1.9 KB
        // an item for these records: it may hold no more than the plain read and parse.
        const double parsePeakBytes = parsePeak * 1024 / kItems;
        char detail[128];
        std::snprintf(detail, sizeof detail, "%.0f bytes an item (target <= %.0f, read+parse alone)", peakBytes,
            parsePeakBytes);
        CheckTarget("peak resident memory of the usable program's process", peakBytes > 0 && peakBytes <= parsePeakBytes,
            detail);
        std::snprintf(detail, sizeof detail, "%.0f bytes an item (target <= %.0f)", residentBytes, kUsableBytesPerItem);
        CheckTarget("resident memory of that process once usable", residentBytes > 0 && residentBytes <= kUsableBytesPerItem,
            detail);
        state.counters["peak_bytes_per_item"] = peakBytes;
        state.counters["resident_bytes_per_item"] = residentBytes;
    }
}
BENCHMARK(BM_UsableAgainstReadAndParse)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    // The yardstick's sides, read and parse only, are a plain program's.
    if (argc == 4 && std::string(argv[2]) == "parse")
        KeepLargeBlocksPlain();
    if (argc == 4 && std::string(argv[1]) == kUsableSideArgument) {
        const QString package = QString::fromLocal8Bit(argv[3]);
        if (std::string(argv[2]) == "parse")
            return ReadAndParseOnly(package);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return OpenUntilUsable(package);
    }
    if (argc == 4 && std::string(argv[1]) == kFreshSideArgument) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        gFreshPackagePath = QString::fromLocal8Bit(argv[3]);
        return RunOneFreshSide(argv[2]);
    }
    return RunBenchmarks(
        argc, argv,
        [] {
            URegistrar::RegisterFrameworkClasses();
            InitializeTasks();
        },
        [] { TerminateTasks(); });
}
