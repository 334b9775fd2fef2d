// Opening an index of 100,000 items through the read task into an index view,
// paired in one run with reading index.db whole and parsing its records; and
// the bytes each opened item holds as the allocators count them: the C
// library's heap and its own mappings, and the chunks of the item arenas.
#include "BenchIndexPackage.h"
#include "BenchMain.h"
#include "ThumbnailsBatchTiming.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CReadIndexPackageTask.h"
#include "FieldKeys.h"
#include "IndexDbRecord.h"
#include "ItemArena.h"
#include "LStream.h"
#include "LThread.h"
#include "URegistrar.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <malloc.h>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr int kItems = 100000;

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
        record.alias = QByteArray(120, char(i));
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

size_t HeldBytes()
{
    const struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd + ItemArena::HeldBytes();
}

QByteArray ReadAll()
{
    QFile db(Index().path);
    db.open(QIODevice::ReadOnly);
    return db.readAll();
}

// What an opening leaves: the view with its items, and the document around it.
struct Opened {
    std::unique_ptr<CIndexView> view;
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
    gOpened.document = std::make_unique<BenchDocument>(gOpened.view.get(), Index().packagePath, kItems);
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

void BM_OpenAgainstReadAndParse(benchmark::State& state)
{
    for (auto _ : state) {
        const PairedTimes times = RunPaired(7, OpenThroughTheReadTask, ReadAndParseRecords, CloseOpened);
        state.SetIterationTime(times.MedianA());
        CheckRatio("open " + std::to_string(kItems) + " items through the read task / read+parse", times, 2.0);
    }
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
        const SInt32 others = LThread::CountThreads();
        gOpened.view->StartQuickSearch(kFieldHeadline, QStringLiteral("dawn"));
        const bool ended = LThread::RunUntil([others] { return LThread::CountThreads() <= others; }, 120000);
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

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(
        argc, argv,
        [] {
            URegistrar::RegisterFrameworkClasses();
            InitializeTasks();
            Index();
        },
        [] { TerminateTasks(); });
}
