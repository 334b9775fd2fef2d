// What the running program holds for each item of a million-item index: a fresh
// process opens the package in the program's own index window, shown with the
// organizer and the list view, lets the cache task build the value index, runs a quick search in all
// fields and saves. The resident memory it gained from before the opening is
// divided by the items after each of the three steps; each must stay within
// 1 KB an item; a second save must leave the resident size as the first did.
// Then, at the default preferences (a change also goes into the media files),
// every item is selected and rated from the Rating menu, and the list is sorted
// by name as the Sort menu does it: after each, within 1.1 KB an item.
// The records are a photograph collection's as the program saves them: a file
// with a real name in one of a thousand folders and its alias, catalogue fields
// with a thumbnail, the camera's EXIF and image record, and a caption with two
// keywords, a headline, a caption text, the by-line, city, country and copyright. Every step's result is checked.
// After the first save it also tells how many of those bytes the item arena
// (items and their record blocks) and the C library's heap hold.
#include "BenchMain.h"
#include "BenchProgram.h"
#include "EmptyPhotos.h"
#include "LoopGaps.h"
#include "PhotoRecords.h"

#include "CANPAInfo.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexItemComparator.h"
#include "CIndexListView.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "LCommander.h"
#include "IndexDbRecord.h"
#include "IndexDocServices.h"
#include "IndexTaskServices.h"
#include "ItemArena.h"
#include "InterfaceClasses.h"
#include "LWindow.h"
#include "LDocument.h"
#include "LStream.h"
#include "Preferences.h"
#include "ThreadUtilities.h"
#include "URegistrar.h"
#include "WorkerPool.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTreeView>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <functional>
#include <string>

namespace {

// ORVEX_BENCH_ITEMS makes a smaller index, for profiling.
const int kItems = qEnvironmentVariableIsSet("ORVEX_BENCH_ITEMS") ? qEnvironmentVariableIntValue("ORVEX_BENCH_ITEMS")
                                                                  : 1000000;
constexpr double kBytesPerItem = 1024;
// After a batch over every item and a sort, which keep what the items changed.
constexpr double kBytesPerItemChanged = 1126;
// What a second save in a row may add to the first's: the buffers of a save are
// given back, not kept a little more at each.
constexpr double kBytesPerItemASaveMore = 4;
constexpr char kChildArgument[] = "--measure";
const char* const kPlaces[] = { "beach", "harbour", "mountain", "forest", "city", "river", "desert", "island" };

bool HasHarbour(int i)
{
    return (i / 3) % std::size(kPlaces) == 1;
}

void MakePackage(const QString& path)
{
    CIndexPackage package(QUrl::fromLocalFile(path + QLatin1Char('/')), nullptr);
    const QString indexDb = package.GetIndexDbURL().toLocalFile();
    const QString photos = EmptyPhotoFolder(kItems);
    const QByteArray photosURL = QUrl::fromLocalFile(photos).toEncoded();
    LDataStream stream;
    for (int i = 0; i < kItems; ++i) {
        const QByteArray file = EmptyPhotoPath(i);
        IndexDbRecord record = PhotoRecord(i, PhotoName(i), photosURL + "/" + QUrl::toPercentEncoding(file, "/"),
            PhotoCaption(i,
                { QString::fromLatin1(kPlaces[(i / 3) % std::size(kPlaces)]), QStringLiteral("roll %1").arg(i % 50) },
                QStringLiteral("Trip %1").arg(i % 20), "day " + QByteArray::number(i % 365)));
        record.alias = PhotoAlias(indexDb, photos + QLatin1Char('/') + QString::fromUtf8(file));
        WriteIndexDbRecord(stream, record);
    }
    QFile out(indexDb);
    out.open(QIODevice::WriteOnly);
    out.write(stream.Data());
}

// The resident bytes of this process.
double ResidentBytes()
{
    return ProcessStatusMB("VmRSS:") * 1024 * 1024;
}

// The bytes the C library's heap hands out now.
double HeapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

// The fresh process: the program's steps, and its bytes an item after each on
// standard output; a wrong result on standard error and a failed exit.
int Measure(const QString& packagePath)
{
    StartAsTheProgramDoes();
    int faults = 0;
    const auto check = [&faults](bool met, const char* what) {
        if (!met) {
            std::fprintf(stderr, "%s\n", what);
            ++faults;
        }
    };
    const double before = ResidentBytes();
    const double arenaBefore = double(ItemArena::HeldBytes());
    const double heapBefore = HeapBytesInUse();
    auto* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(packagePath), true, false);
    CIndexModel& model = doc->GetModel();
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    // The window as a user has it: shown, the organizer beside the list view.
    doc->ShowOrganizerView();
    doc->GetWindow()->Show();
    doc->ObeyCommand(kCmdListView, nullptr);
    auto* list = dynamic_cast<CIndexListView*>(doc->GetListViewPane());
    check(list && list->GetControlRef()->isVisible(), "the list view is not shown");
    const auto idle = [&] {
        return model.CountAllItems() == kItems && !model.IsBusy() && model.CountRunningTasks() == 0
            && model.CountRunningSearches() == 0 && view && !view->GetCacheTask();
    };
    check(RunLoopUntil(idle), "the index did not open and cache every item");
    check(list && list->GetControlRef()->model()->rowCount() == kItems, "the list view does not show every item");
    check(model.GetValueMembers(kFieldKeywords, QStringLiteral("harbour")).size() > 0,
        "the value index holds no keyword");
    const double opened = ResidentBytes();

    doc->StartQuickSearch(kAllFieldsKey, QStringLiteral("harbour"));
    check(RunLoopUntil([&] { return model.IsFiltered() && idle(); }), "the quick search did not end");
    qsizetype expected = 0;
    for (int i = 0; i < kItems; ++i)
        expected += HasHarbour(i) || PhotoName(i).toLower().contains("harbour") ? 1 : 0;
    check(model.CountItems() == expected, "the quick search found other items than those named or with the keyword");
    const double searched = ResidentBytes();

    // A save, a batch or a sort ends once what it made is let go of, which
    // workers do after it.
    const auto settled = [&] { return idle() && WorkerPool::JobsInFlight() == 0; };
    const auto saved = [&] { return !doc->IsModified() && settled(); };
    doc->SetModified(true);
    doc->DoSave();
    check(RunLoopUntil(saved), "the save did not end");
    CIndexPackage package(QUrl::fromLocalFile(packagePath), nullptr);
    check(QFileInfo(package.GetIndexDbURL().toLocalFile()).size() > qint64(kItems) * 40, "the save wrote no index");
    const double afterSave = ResidentBytes();
    const double arenaSaved = double(ItemArena::HeldBytes());
    const double heapSaved = HeapBytesInUse();

    // A second save of the same index holds nothing more than the first.
    doc->SetModified(true);
    doc->DoSave();
    check(RunLoopUntil(saved), "the second save did not end");
    const double savedAgain = ResidentBytes();

    // Every item rated as the user does it at the default preferences, which
    // write the change into the media files too: all selected, the Rating menu's
    // third item, the batch left to end. Measured before the checks, which keep nothing.
    model.ShowAllItems();
    LCommander::SwitchTarget(view);
    view->ProcessCommand(cmd_SelectAll, nullptr);
    view->ProcessCommand(SyntheticCommandForMenuItem(kRatingMenuID, 3), nullptr);
    bool batchSeen = false;
    check(RunLoopUntil([&] {
        batchSeen = batchSeen || model.CountRunningSearches() > 0 || model.CountRunningTasks() > 0;
        return batchSeen && settled();
    }),
        "the rating did not end");
    const double rated = ResidentBytes();
    const SInt32 rating = CIndexView::RatingOfMenuItem(3);
    const auto& items = model.GetItemList();
    check(items.GetCount() == kItems && std::all_of(items.begin(), items.end(), [&](CIndexItem* item) {
        const CANPAInfo* caption = item->PeekCaptionInfo();
        return caption && caption->GetUrgency() == rating;
    }),
        "not every item was rated");

    view->ProcessCommand(kFieldName + kSortCommandOffset, nullptr);
    check(RunLoopUntil([&] { return model.GetSortKey() == kFieldName && settled(); }), "the sort by name did not end");
    const double sorted = ResidentBytes();
    CIndexItemComparator byName;
    byName.SetSortKey(kFieldName);
    bool inOrder = true;
    for (SInt32 i = 2; i <= items.GetCount() && inOrder; ++i)
        inOrder = byName.CompareItems(items[i - 1], items[i]) <= 0;
    check(inOrder, "the list is not sorted by name");

    std::printf("%.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f\n", (opened - before) / kItems, (searched - before) / kItems,
        (afterSave - before) / kItems, (savedAgain - afterSave) / kItems, (arenaSaved - arenaBefore) / kItems,
        (heapSaved - heapBefore) / kItems, (rated - before) / kItems, (sorted - before) / kItems);
    std::fflush(stdout);
    // The process ends here: what it holds is measured, not how it lets go.
    std::_Exit(faults == 0 ? 0 : 1);
}

void BM_BytesAnItemInTheProgram(benchmark::State& state)
{
    for (auto _ : state) {
        QDir().mkpath(QStringLiteral(ORVEX_BENCH_FILES_DIR));
        QTemporaryDir folder(QDir(QStringLiteral(ORVEX_BENCH_FILES_DIR)).filePath(QStringLiteral("memory-XXXXXX")));
        const QString path = folder.filePath(QStringLiteral("Million.idxp"));
        MakePackage(path);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), { QString::fromLatin1(kChildArgument), path });
        const bool ran = child.waitForFinished(1800000) && child.exitStatus() == QProcess::NormalExit
            && child.exitCode() == 0;
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        CheckTarget("the program opened, searched, saved twice, rated and sorted " + std::to_string(kItems) + " items",
            ran && figures.size() == 8);
        if (figures.size() != 8)
            continue;
        const char* const steps[] = { "opened with the organizer", "after a quick search", "after a save" };
        const char* const counters[] = { "bytes_opened", "bytes_searched", "bytes_saved" };
        for (int i = 0; i < 3; ++i) {
            const double bytes = figures[i].toDouble();
            char detail[64];
            std::snprintf(detail, sizeof detail, "%.0f bytes an item (target <= %.0f)", bytes, kBytesPerItem);
            CheckTarget(std::string("resident bytes an item, ") + steps[i], bytes > 0 && bytes <= kBytesPerItem, detail);
            state.counters[counters[i]] = bytes;
        }
        const double more = figures[3].toDouble();
        char detail[64];
        std::snprintf(detail, sizeof detail, "%.1f bytes an item (target <= %.0f)", more, kBytesPerItemASaveMore);
        CheckTarget("resident bytes an item added by a second save", more <= kBytesPerItemASaveMore, detail);
        state.counters["bytes_saved_again"] = more;
        state.counters["arena_bytes_saved"] = figures[4].toDouble();
        state.counters["heap_bytes_saved"] = figures[5].toDouble();
        const char* const changes[] = { "after rating every item", "after a sort by name" };
        const char* const changeCounters[] = { "bytes_rated", "bytes_sorted" };
        for (int i = 0; i < 2; ++i) {
            const double bytes = figures[6 + i].toDouble();
            std::snprintf(detail, sizeof detail, "%.0f bytes an item (target <= %.0f)", bytes, kBytesPerItemChanged);
            CheckTarget(std::string("resident bytes an item, ") + changes[i], bytes > 0 && bytes <= kBytesPerItemChanged,
                detail);
            state.counters[changeCounters[i]] = bytes;
        }
    }
}
BENCHMARK(BM_BytesAnItemInTheProgram)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == kChildArgument) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        // Run alone (for profiling), the process makes its package first.
        if (!QFileInfo::exists(QString::fromLocal8Bit(argv[2])))
            MakePackage(QString::fromLocal8Bit(argv[2]));
        return Measure(QString::fromLocal8Bit(argv[2]));
    }
    return RunBenchmarks(argc, argv);
}
