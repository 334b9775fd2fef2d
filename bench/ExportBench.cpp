// The export task against the plain exports it is made of, and the XML export's
// item dictionaries against serialising them, each pair timed in one run.
#include "BenchMain.h"
#include "CameraJpegs.h"
#include "ThumbnailsBatchTiming.h"

#include "CExportFilesTask.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ExportSettings.h"
#include "FieldDictionaryKeys.h"
#include "GraphicsExporter.h"
#include "IndexDbRecord.h"
#include "LThread.h"
#include "MediaFactory.h"
#include "MediaImageInfo.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "URegistrar.h"
#include "UserData.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kExportedJpegs = 50;
constexpr int kXMLItems = 100000;

std::unique_ptr<QTemporaryDir> gFolder;

std::vector<QString> ExportedFiles()
{
    const std::vector<QString>& all = CameraJpegFiles();
    return std::vector<QString>(all.begin(), all.begin() + std::min<size_t>(kExportedJpegs, all.size()));
}

QString OutputFolder()
{
    return gFolder->filePath(QStringLiteral("out"));
}

int CountWritten()
{
    return int(QDir(OutputFolder()).entryList(QDir::Files).size());
}

void EmptyOutputFolder()
{
    QDir(OutputFolder()).removeRecursively();
    QDir().mkpath(OutputFolder());
}

// The task through the task layer: an index view owns it, its items are fresh.
void ExportThroughTheTask()
{
    auto view = MakeBenchView();
    for (const QString& path : ExportedFiles())
        view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, true);
    auto* task = new CExportFilesTask(601, 37, view->GetModel(), nullptr);
    for (CIndexItem* item : view->GetItemList())
        task->InsertItem(item, kInsertAtEnd);
    task->SetDestination(OutputFolder());
    const ThreadID id = task->GetID();
    task->Start();
    LThread::RunUntil([id] { return LThread::FromID(id) == nullptr; }, 600000);
    int failed = 0;
    for (CIndexItem* item : view->GetItemList())
        failed += item->GetError() ? 1 : 0;
    CheckTarget("export task: every item written", failed == 0 && CountWritten() == int(ExportedFiles().size()),
        std::to_string(CountWritten()) + " files, " + std::to_string(failed) + " failed");
}

// The same exports as plain calls: the medium at its natural size, its metadata
// kept, one exporter, one file each.
void ExportInALoop()
{
    const ExportSettings settings = ExportSettings::Read();
    std::unique_ptr<GraphicsExporter> exporter;
    GraphicsExporter::Open(settings.type, exporter);
    exporter->SetCompressionQuality(CodecQ(settings.quality));
    for (const QString& path : ExportedFiles()) {
        std::unique_ptr<CMedia> media = CreateMediaForFile(QUrl::fromLocalFile(path));
        media->SetFullSizeDecode(true);
        Rect bounds;
        media->GetNaturalBounds(&bounds);
        media->SetBoundsRect(&bounds);
        UserData* metadata = media->GetMetaData();
        exporter->SetExifEnabled(metadata != nullptr);
        exporter->SetMetaData(metadata);
        exporter->SetReplaceExisting(false);
        exporter->SetOutputFile(QDir(OutputFolder()).filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".") + exporter->DefaultExtensionText()));
        media->Export(exporter.get());
        exporter->SetMetaData(nullptr);
    }
    CheckTarget("plain exports: every file written", CountWritten() == int(ExportedFiles().size()));
}

void ExportFiles(benchmark::State& state)
{
    for (auto _ : state) {
        const PairedTimes times = RunPaired(5, ExportThroughTheTask, ExportInALoop, EmptyOutputFolder);
        CheckRatio("export task / plain CMedia::Export loop, 50 camera JPEGs", times, 1.3);
        state.SetIterationTime(times.MedianA());
    }
}
BENCHMARK(ExportFiles)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

// Items as an index read from disk holds them: caption, metadata and image
// record in memory. Their file is empty: opening it as a medium would fail the
// item, so a run that opens none leaves every item without an error.
std::vector<std::unique_ptr<CIndexItem>> MakeXMLItems()
{
    UserData metadata;
    metadata.AddUserData(QByteArray("Orvex\0", 6), EXIFUserDataType(0x010F));
    metadata.AddUserData(QByteArray("2024:05:17 08:30:15\0", 20), EXIFUserDataType(0x9003));
    const QByteArray userData = metadata.ToHandle();
    const QByteArray caption("\x1C\x02\x00\x00\x02\x00\x04\x1C\x02\x19\x00\x05" "beach\x1C\x02\x78\x00\x0B" "a long walk", 33);
    const QString file = gFolder->filePath(QStringLiteral("empty.JPG"));
    QFile(file).open(QIODevice::WriteOnly);
    const QByteArray fileURL = QUrl::fromLocalFile(file).toEncoded();
    std::vector<std::unique_ptr<CIndexItem>> items;
    items.reserve(kXMLItems);
    for (int i = 0; i < kXMLItems; ++i) {
        IndexDbRecord record;
        const QString name = QStringLiteral("IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
        record.name = name.toUtf8();
        record.fileURL = fileURL;
        record.fields = CatalogueFields {'JPEG', 4000000u + UInt32(i), 3000000000u, 3000000000u, 3000000000u, i + 1, 0};
        record.caption = caption;
        record.userData = userData;
        auto item = std::make_unique<CIndexItem>(record, nullptr);
        auto info = std::make_unique<MediaImageInfo>();
        info->width = 6000;
        info->height = 4000;
        info->depth = 24;
        item->SetImageInfo(std::move(info));
        items.push_back(std::move(item));
    }
    return items;
}

void XMLDictionaries(benchmark::State& state)
{
    const std::vector<std::unique_ptr<CIndexItem>> items = MakeXMLItems();
    QVariantList list;
    QVariantList previous; // freed after the run, outside the timing
    auto dictionaries = [&] {
        QVariantList made;
        made.reserve(kXMLItems);
        const FieldDictionaryKeys fields = FieldDictionaryKeys::Load();
        SInt32 position = 0;
        for (const auto& item : items)
            made.append(item->CopyFieldDictionary(fields, ++position));
        previous.swap(list);
        list.swap(made);
    };
    dictionaries();
    QByteArray xml;
    auto serialise = [&] { xml = PropertyList::ToXML(QVariantMap {{QStringLiteral("IndexMediaList"), list}}); };
    auto release = [&] {
        previous.clear();
        xml.clear();
    };
    for (auto _ : state) {
        const PairedTimes times = RunPaired(5, dictionaries, serialise, release);
        CheckRatio("XML item dictionaries / serialising them, 100,000 items", times, 3.0);
        state.SetIterationTime(times.MedianA());
    }
    int failed = 0;
    for (const auto& item : items)
        failed += item->GetError() ? 1 : 0;
    CheckTarget("XML: no medium opened", failed == 0, std::to_string(failed) + " items failed to open");
    CheckTarget("XML: every item has its fields", list.size() == kXMLItems && list.last().toMap().size() > 20,
        std::to_string(list.isEmpty() ? 0 : list.last().toMap().size()) + " fields");
}
BENCHMARK(XMLDictionaries)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void Prepare()
{
    gFolder = std::make_unique<QTemporaryDir>();
    CameraJpegFiles();
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    SetPrefNumber(QStringLiteral("DefaultExportType"), SInt32('JPEG'));
    EmptyOutputFolder();
}

void Report()
{
    TerminateTasks();
    gFolder.reset();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
