// Opening a 100,000-item package through the read task (items in an index
// view, no thumbnails drawn) against reading the bytes and making the items
// directly with the catalogue's reader; saving it through the write task
// against writing the same bytes with QSaveFile. All in the same run.
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexPackage.h"
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
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

// ORVEX_BENCH_ITEMS makes a smaller package, for profiling.
const int kItems = qEnvironmentVariableIsSet("ORVEX_BENCH_ITEMS") ? qEnvironmentVariableIntValue("ORVEX_BENCH_ITEMS") : 100000;

QTemporaryDir* gFolder = nullptr;
QByteArray gPristine; // index.db as made, put back before each save benchmark reads it

QString PackagePath()
{
    return gFolder->filePath(QStringLiteral("Bench.idxp"));
}

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

// Records like a photograph collection's: name, the address of a file that
// exists, catalogue fields with a thumbnail number and a short caption.
void MakeIndexDb()
{
    CIndexPackage package(QUrl::fromLocalFile(PackagePath()), nullptr);
    const QString media = gFolder->filePath(QStringLiteral("Pictures"));
    QDir().mkpath(media);
    const QByteArray photograph = SmallPhotograph();
    LDataStream stream;
    for (int i = 0; i < kItems; ++i) {
        IndexDbRecord record;
        const QString fileName = QStringLiteral("IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
        QFile file(media + QLatin1Char('/') + fileName);
        file.open(QIODevice::WriteOnly);
        file.write(photograph);
        const QByteArray name = fileName.toUtf8();
        record.name = name;
        record.fileURL = QUrl::fromLocalFile(media + QLatin1Char('/') + fileName).toEncoded();
        record.fields = CatalogueFields {'JPEG', 4000000u + UInt32(i), 3000000000u, 3000000000u, 3000000000u, i + 1, 0};
        record.caption = QByteArray("\x1C\x02\x00\x00\x02\x00\x04\x1C\x02\x19\x00\x05" "beach", 17);
        WriteIndexDbRecord(stream, record);
    }
    gPristine = stream.Data();
}

// index.db as it was made: a save writes what it learnt (aliases) into the file.
void PutBackIndexDb()
{
    CIndexPackage package(QUrl::fromLocalFile(PackagePath()), nullptr);
    QFile file(package.GetIndexDbURL().toLocalFile());
    file.open(QIODevice::WriteOnly);
    file.write(gPristine);
}

class BenchDocument : public IndexPackageDocument {
public:
    BenchDocument(CIndexView* view) : mView(view), mPackage(QUrl::fromLocalFile(PackagePath()), view) {}
    CIndexPackage* GetPackage() const override { return const_cast<CIndexPackage*>(&mPackage); }
    TaskOwnerView* GetOwnerView() const override { return mView; }
    bool TestFlags(UInt32 mask) const override { return (mask & kDocKeepHidden) != 0; }
    SInt32 ReadSettings(bool) override { return kItems; }
    void WriteSettings(bool) override {}
    void ShowWindow() override {}
    SInt32 GetPendingSaveAction() const override { return kSaveActionNone; }
    void SetPendingSaveAction(SInt32) override {}
    void RunPendingSaveAction(SInt32) override {}
    void DiscardDocument() override {}

private:
    CIndexView* mView;
    CIndexPackage mPackage;
};

struct Seconds {
    double total = 0;
    double first = 0; // a first save makes the items' aliases and reads their media
    int runs = 0;
    void Add(std::chrono::steady_clock::duration elapsed)
    {
        const double seconds = std::chrono::duration<double>(elapsed).count();
        if (runs == 0)
            first = seconds;
        total += seconds;
        ++runs;
    }
    double Later() const { return runs > 1 ? (total - first) / (runs - 1) : 0; }
    double Mean() const { return runs ? total / runs : 0; }
};
Seconds gTaskRead, gDirectRead, gTaskWrite, gDirectWrite, gSaveFile;

void RunToEnd(CVisualTask* task)
{
    ThreadID id = task->GetID();
    task->Start();
    LThread::RunUntil([id] { return LThread::FromID(id) == nullptr; });
}

void OpenThroughTheReadTask(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto view = MakeBenchView();
        BenchDocument document(view.get());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        RunToEnd(new CReadIndexPackageTask(601, 1, &document));
        gTaskRead.Add(std::chrono::steady_clock::now() - start);
        if (view->CountItems() != kItems)
            state.SkipWithError("not every item was read");
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(OpenThroughTheReadTask)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void ReadBytesAndMakeItemsDirectly(benchmark::State& state)
{
    CIndexPackage package(QUrl::fromLocalFile(PackagePath()), nullptr);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QFile file(package.GetIndexDbURL().toLocalFile());
        file.open(QIODevice::ReadOnly);
        IndexDbReader reader(file.readAll());
        std::vector<std::unique_ptr<CIndexItem>> items;
        items.reserve(kItems);
        IndexDbRecord record;
        while (reader.Next(record))
            items.push_back(std::make_unique<CIndexItem>(record, &package));
        gDirectRead.Add(std::chrono::steady_clock::now() - start);
        state.PauseTiming();
        items.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(ReadBytesAndMakeItemsDirectly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void SaveThroughTheWriteTask(benchmark::State& state)
{
    PutBackIndexDb();
    auto view = MakeBenchView();
    BenchDocument document(view.get());
    RunToEnd(new CReadIndexPackageTask(601, 1, &document));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        RunToEnd(new CWriteIndexTask(601, 2, &document));
        gTaskWrite.Add(std::chrono::steady_clock::now() - start);
    }
}
BENCHMARK(SaveThroughTheWriteTask)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The items writing their records into one block, written with QSaveFile: the
// work of a save without the task around it.
void ItemsWriteTheirRecordsDirectly(benchmark::State& state)
{
    PutBackIndexDb();
    auto view = MakeBenchView();
    BenchDocument document(view.get());
    RunToEnd(new CReadIndexPackageTask(601, 1, &document));
    const QString path = gFolder->filePath(QStringLiteral("direct.db"));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        LDataStream stream;
        for (CIndexItem* item : view->GetItemList())
            item->WriteToStream(stream, *document.GetPackage());
        QSaveFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(stream.Data());
        out.commit();
        gDirectWrite.Add(std::chrono::steady_clock::now() - start);
    }
}
BENCHMARK(ItemsWriteTheirRecordsDirectly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void WriteTheBytesWithQSaveFile(benchmark::State& state)
{
    CIndexPackage package(QUrl::fromLocalFile(PackagePath()), nullptr);
    QFile in(package.GetIndexDbURL().toLocalFile());
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    const QString path = gFolder->filePath(QStringLiteral("copy.db"));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QSaveFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.commit();
        gSaveFile.Add(std::chrono::steady_clock::now() - start);
    }
}
BENCHMARK(WriteTheBytesWithQSaveFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void Prepare()
{
    gFolder = new QTemporaryDir;
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    MakeIndexDb();
    PutBackIndexDb();
}

void Report()
{
    if (gDirectRead.Mean() > 0 && gSaveFile.Mean() > 0)
        std::printf("\n%d items: open %.3f s vs %.3f s direct (%.2fx); save %.3f s vs %.3f s by the items "
                    "directly (%.2fx) and %.3f s for the bytes alone with QSaveFile (%.2fx); first save %.3f s "
                    "(%.2fx), later saves %.3f s (%.2fx)\n",
            kItems, gTaskRead.Mean(), gDirectRead.Mean(), gTaskRead.Mean() / gDirectRead.Mean(), gTaskWrite.Mean(),
            gDirectWrite.Mean(), gTaskWrite.Mean() / gDirectWrite.Mean(), gSaveFile.Mean(),
            gTaskWrite.Mean() / gSaveFile.Mean(), gTaskWrite.first, gTaskWrite.first / gSaveFile.Mean(),
            gTaskWrite.Later(), gTaskWrite.Later() / gSaveFile.Mean());
    TerminateTasks();
    delete gFolder;
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
