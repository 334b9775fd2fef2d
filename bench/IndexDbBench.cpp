// Reading an index of 100,000 items: index.db read whole into memory, parsed
// record by record and one item constructed per record, as the read task does.
// Reports the time against reading the file alone and against parsing its
// records alone, and the bytes each item holds as the allocators count them: the
// C library's heap and its own mappings, and the chunks of the item arenas.
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "IndexDbRecord.h"
#include "ItemArena.h"
#include "LStream.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
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
    QString path;
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
        return made;
    }();
    return index;
}

// Mean seconds per iteration of each benchmark, for the closing ratios.
struct Mean {
    double seconds = 0;
    long runs = 0;
    void Add(std::chrono::steady_clock::duration elapsed)
    {
        seconds += std::chrono::duration<double>(elapsed).count();
        ++runs;
    }
    double Value() const { return runs ? seconds / double(runs) : 0; }
};
Mean gReadAll, gParse, gItems;
double gBytesPerItem = 0;

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

void BM_ReadAll(benchmark::State& state)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QByteArray data = ReadAll();
        benchmark::DoNotOptimize(data.data());
        gReadAll.Add(std::chrono::steady_clock::now() - start);
    }
    state.SetBytesProcessed(state.iterations() * Index().size);
}
BENCHMARK(BM_ReadAll)->Unit(benchmark::kMillisecond);

void BM_ParseRecordsOnly(benchmark::State& state)
{
    const QByteArray data = ReadAll();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        IndexDbReader reader(data);
        IndexDbRecord record;
        int count = 0;
        while (reader.Next(record))
            ++count;
        benchmark::DoNotOptimize(count);
        gParse.Add(std::chrono::steady_clock::now() - start);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_ParseRecordsOnly)->Unit(benchmark::kMillisecond);

void BM_ReadIndexDb(benchmark::State& state)
{
    CIndexPackage* package = Index().package.get();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const size_t heapBefore = HeldBytes();
        std::vector<std::unique_ptr<CIndexItem>> items;
        items.reserve(kItems);
        {
            IndexDbReader reader(ReadAll());
            IndexDbRecord record;
            while (reader.Next(record))
                items.push_back(std::make_unique<CIndexItem>(record, package));
        }
        gItems.Add(std::chrono::steady_clock::now() - start);
        // What the items hold once the file's bytes are gone, the list of them included.
        gBytesPerItem = double(HeldBytes() - heapBefore) / double(items.size());
        benchmark::DoNotOptimize(items.data());
        state.PauseTiming();
        items.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.SetBytesProcessed(state.iterations() * Index().size);
    state.counters["bytes_per_item"] = gBytesPerItem;
    state.counters["file_bytes_per_item"] = double(Index().size) / kItems;
}
BENCHMARK(BM_ReadIndexDb)->Unit(benchmark::kMillisecond);

void ReportRatios()
{
    if (gReadAll.Value() <= 0 || gParse.Value() <= 0 || gItems.Value() <= 0)
        return;
    std::printf("\nOpening %d items: readAll %.1f ms, records only %.1f ms, records and items %.1f ms\n", kItems,
        gReadAll.Value() * 1e3, gParse.Value() * 1e3, gItems.Value() * 1e3);
    std::printf("items / readAll = %.2f; items / records only = %.2f; items / (readAll + records only) = %.2f "
                "(target <= 2); %.0f bytes per item (target <= 600)\n",
        gItems.Value() / gReadAll.Value(), gItems.Value() / gParse.Value(),
        gItems.Value() / (gReadAll.Value() + gParse.Value()), gBytesPerItem);
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] { Index(); }, ReportRatios);
}
