// A later save of a 100,000-item package through the write task, paired in one
// run with writing the very bytes that save writes with QSaveFile; the first save
// after opening that package again, paired the same way; and a first
// save of camera photographs, which reads their metadata, paired with reading
// the same metadata with Exiv2 alone.
#include "BenchIndexPackage.h"
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
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

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

// The package opened once through the read task; the saves run on it.
struct Opened {
    StandaloneIndexView view;
    std::unique_ptr<BenchDocument> document;
};
Opened* gOpened = nullptr;
QByteArray gSavedBytes; // index.db as the first save wrote it
int gFailedSaves = 0;

// The package as it is on disk, opened through the read task.
Opened* OpenThroughTheReadTask()
{
    auto* opened = new Opened;
    opened->view = MakeBenchView();
    opened->document = std::make_unique<BenchDocument>(opened->view.get(), PackagePath(), kItems);
    RunToEnd(new CReadIndexPackageTask(601, 1, opened->document.get()));
    return opened;
}

QString IndexDbPath()
{
    return gOpened->document->GetPackage()->GetIndexDbURL().toLocalFile();
}

// A save of the whole index through the write task, as the Save command runs it;
// it succeeded when the index is no longer modified and index.db holds what it wrote.
bool SaveThroughTheWriteTask()
{
    gOpened->view->SetModified(true);
    RunToEnd(new CWriteIndexTask(601, 2, gOpened->document.get()));
    return !gOpened->view->IsModified();
}

void LaterSave()
{
    if (!SaveThroughTheWriteTask() || QFileInfo(IndexDbPath()).size() != gSavedBytes.size())
        ++gFailedSaves;
}

// The yardstick: the very bytes the save writes, written with QSaveFile.
void WriteTheSameBytesWithQSaveFile()
{
    QSaveFile out(gFolder->filePath(QStringLiteral("copy.db")));
    if (!out.open(QIODevice::WriteOnly) || out.write(gSavedBytes) != gSavedBytes.size() || !out.commit())
        ++gFailedSaves;
}

void BM_LaterSaveAgainstTheSameBytes(benchmark::State& state)
{
    PutBackIndexDb();
    gOpened = OpenThroughTheReadTask();
    CheckTarget("the package opened with every item", gOpened->view->CountItems() == kItems,
        std::to_string(gOpened->view->CountItems()) + " items");
    // The first save makes the items' aliases and reads their media: not a later save.
    const auto start = std::chrono::steady_clock::now();
    const bool firstSaved = SaveThroughTheWriteTask();
    const double first = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CheckTarget("the first save succeeded", firstSaved, std::to_string(first) + " s");
    QFile saved(IndexDbPath());
    saved.open(QIODevice::ReadOnly);
    gSavedBytes = saved.readAll();
    CheckTarget("the first save wrote index.db", !gSavedBytes.isEmpty(), std::to_string(gSavedBytes.size()) + " bytes");
    for (auto _ : state) {
        const PairedTimes times = RunPaired(5, LaterSave, WriteTheSameBytesWithQSaveFile);
        state.SetIterationTime(times.MedianA());
        CheckRatio("later save of " + std::to_string(kItems) + " unchanged items / the same bytes with QSaveFile",
            times, 3.0);
    }
    CheckTarget("every later save and copy succeeded with the same size", gFailedSaves == 0,
        std::to_string(gFailedSaves) + " failed");
    delete gOpened;
    gOpened = nullptr;
}
BENCHMARK(BM_LaterSaveAgainstTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// The first save after opening a saved index, which every user pays: the package
// as the first save above wrote it (aliases and all), opened afresh through the
// read task before each of these saves (untimed), paired with writing the same
// bytes with QSaveFile.
Opened* gReopened = nullptr;

void Reopen()
{
    delete gReopened;
    gReopened = OpenThroughTheReadTask();
    if (gReopened->view->CountItems() != kItems)
        ++gFailedSaves;
}

void FirstSaveAfterOpening()
{
    std::swap(gOpened, gReopened);
    if (!SaveThroughTheWriteTask() || QFileInfo(IndexDbPath()).size() != gSavedBytes.size())
        ++gFailedSaves;
    std::swap(gOpened, gReopened);
}

void BM_FirstSaveAfterOpeningAgainstTheSameBytes(benchmark::State& state)
{
    if (gSavedBytes.isEmpty()) {
        // Run alone: the package saved once first, as the benchmark above leaves it.
        PutBackIndexDb();
        Reopen();
        FirstSaveAfterOpening();
        QFile saved(gReopened->document->GetPackage()->GetIndexDbURL().toLocalFile());
        saved.open(QIODevice::ReadOnly);
        gSavedBytes = saved.readAll();
    }
    Reopen();
    bool reopen = false;
    BenchmarkPaired(
        state, "first save after opening " + std::to_string(kItems) + " saved items / the same bytes with QSaveFile",
        3.0, 5,
        [&] {
            FirstSaveAfterOpening();
            reopen = true;
        },
        WriteTheSameBytesWithQSaveFile,
        [&] {
            if (reopen)
                Reopen();
            reopen = false;
        });
    CheckTarget("every first save after opening and copy succeeded with the same size", gFailedSaves == 0,
        std::to_string(gFailedSaves) + " failed");
    delete gReopened;
    gReopened = nullptr;
}
BENCHMARK(BM_FirstSaveAfterOpeningAgainstTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

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
    MakeIndexDb();
    PutBackIndexDb();
}

void Report()
{
    TerminateTasks();
    delete gFolder;
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
