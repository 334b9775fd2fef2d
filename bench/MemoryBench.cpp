// What the running program holds for each item of a million-item index: a fresh
// process opens the package in the program's own index window with the organizer
// shown, lets the cache task build the value index, runs a quick search in all
// fields and saves. The resident memory it gained from before the opening is
// divided by the items after each of the three steps; each must stay within
// 1 KB an item; a second save must leave the resident size as the first did.
// The records are a photograph collection's: a file in one of a thousand
// folders, catalogue fields with a thumbnail, and a caption with two keywords,
// a headline and a caption text. Every step's result is checked.
#include "BenchMain.h"
#include "BenchProgram.h"
#include "EmptyPhotos.h"
#include "LoopGaps.h"

#include "CANPAInfo.h"

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "IndexDbRecord.h"
#include "IndexTaskServices.h"
#include "InterfaceClasses.h"
#include "LDocument.h"
#include "LStream.h"
#include "Preferences.h"
#include "ThreadUtilities.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <string>

namespace {

// ORVEX_BENCH_ITEMS makes a smaller index, for profiling.
const int kItems = qEnvironmentVariableIsSet("ORVEX_BENCH_ITEMS") ? qEnvironmentVariableIntValue("ORVEX_BENCH_ITEMS")
                                                                  : 1000000;
constexpr double kBytesPerItem = 1024;
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
    const QByteArray photos = QUrl::fromLocalFile(EmptyPhotoFolder(kItems)).toEncoded();
    LDataStream stream;
    for (int i = 0; i < kItems; ++i) {
        IndexDbRecord record;
        const QByteArray name = "IMG_" + QByteArray::number(i) + ".JPG";
        record.name = name;
        record.fileURL = photos + "/" + EmptyPhotoPath(i);
        record.fields = CatalogueFields { 'JPEG', 0, 3000000000u + UInt32(i), 3000000000u, 3000000000u, i + 1, 0 };
        // Captions as the program writes them.
        CANPAInfo caption;
        caption.AddKeywordCF(QString::fromLatin1(kPlaces[(i / 3) % std::size(kPlaces)]));
        caption.AddKeywordCF(QStringLiteral("roll %1").arg(i % 50));
        caption.SetHeadline(MakePString<255>(QStringLiteral("Trip %1").arg(i % 20)));
        caption.SetCaption("day " + QByteArray::number(i % 365));
        record.caption = caption.GetDataHandle();
        WriteIndexDbRecord(stream, record);
    }
    QFile file(package.GetIndexDbURL().toLocalFile());
    file.open(QIODevice::WriteOnly);
    file.write(stream.Data());
}

// The resident bytes of this process.
double ResidentBytes()
{
    return ProcessStatusMB("VmRSS:") * 1024 * 1024;
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
    auto* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(packagePath), true, false);
    CIndexModel& model = doc->GetModel();
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    doc->ShowOrganizerView();
    const auto idle = [&] {
        return model.CountAllItems() == kItems && !model.IsBusy() && model.CountRunningTasks() == 0
            && model.CountRunningSearches() == 0 && view && !view->GetCacheTask();
    };
    check(RunLoopUntil(idle), "the index did not open and cache every item");
    check(model.GetValueMembers(kFieldKeywords, QStringLiteral("harbour")).size() > 0,
        "the value index holds no keyword");
    const double opened = ResidentBytes();

    doc->StartQuickSearch(kAllFieldsKey, QStringLiteral("harbour"));
    check(RunLoopUntil([&] { return model.IsFiltered() && idle(); }), "the quick search did not end");
    qsizetype expected = 0;
    for (int i = 0; i < kItems; ++i)
        expected += HasHarbour(i) ? 1 : 0;
    check(model.CountItems() == expected, "the quick search found other items than those with the keyword");
    const double searched = ResidentBytes();

    doc->SetModified(true);
    doc->DoSave();
    check(RunLoopUntil([&] { return !doc->IsModified() && idle(); }), "the save did not end");
    CIndexPackage package(QUrl::fromLocalFile(packagePath), nullptr);
    check(QFileInfo(package.GetIndexDbURL().toLocalFile()).size() > qint64(kItems) * 40, "the save wrote no index");
    const double saved = ResidentBytes();

    // A second save of the same index holds nothing more than the first.
    doc->SetModified(true);
    doc->DoSave();
    check(RunLoopUntil([&] { return !doc->IsModified() && idle(); }), "the second save did not end");
    const double savedAgain = ResidentBytes();

    std::printf("%.1f %.1f %.1f %.1f\n", (opened - before) / kItems, (searched - before) / kItems,
        (saved - before) / kItems, (savedAgain - saved) / kItems);
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
        CheckTarget("the program opened, searched and saved " + std::to_string(kItems) + " items twice",
            ran && figures.size() == 4);
        if (figures.size() != 4)
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
