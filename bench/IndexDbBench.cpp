// Reading an index of 100,000 items: index.db read whole into memory, parsed
// record by record and one item constructed per record, as the read task does.
// Reports items per second and the heap bytes each constructed item holds.
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "IndexDbRecord.h"
#include "LStream.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

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

void BM_ReadIndexDb(benchmark::State& state)
{
    QTemporaryDir dir;
    CIndexPackage package(QUrl::fromLocalFile(dir.path() + "/Bench.idxp"), nullptr);
    {
        QFile db(package.GetIndexDbURL().toLocalFile());
        db.open(QIODevice::WriteOnly);
        db.write(MakeIndexDb());
    }
    const qint64 fileSize = QFileInfo(package.GetIndexDbURL().toLocalFile()).size();

    double bytesPerItem = 0;
    for (auto _ : state) {
        const size_t heapBefore = mallinfo2().uordblks;
        QFile db(package.GetIndexDbURL().toLocalFile());
        db.open(QIODevice::ReadOnly);
        IndexDbReader reader(db.readAll());
        std::vector<std::unique_ptr<CIndexItem>> items;
        items.reserve(kItems);
        IndexDbRecord record;
        while (reader.Next(record))
            items.push_back(std::make_unique<CIndexItem>(record, &package));
        bytesPerItem = double(mallinfo2().uordblks - heapBefore - size_t(fileSize)) / double(items.size());
        benchmark::DoNotOptimize(items.data());
        state.PauseTiming();
        items.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.SetBytesProcessed(state.iterations() * fileSize);
    state.counters["bytes_per_item"] = bytesPerItem;
    state.counters["file_bytes_per_item"] = double(fileSize) / kItems;
}
BENCHMARK(BM_ReadIndexDb)->Unit(benchmark::kMillisecond);

void BM_ParseRecordsOnly(benchmark::State& state)
{
    const QByteArray data = MakeIndexDb();
    for (auto _ : state) {
        IndexDbReader reader(data);
        IndexDbRecord record;
        int count = 0;
        while (reader.Next(record))
            ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_ParseRecordsOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
