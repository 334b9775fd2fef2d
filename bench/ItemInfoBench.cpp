// The item info window stepped with Next and Previous through an index of 1,000
// camera photographs while its EXIF panel shows, against reading the same 27 EXIF
// field texts of the same items alone: stepping should stay within twice the reading.
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "StandaloneIndexView.h"
#include "CItemInfoWindow.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "InterfaceClasses.h"
#include "CIndexViewDocument.h"
#include "LStdControls.h"
#include "URegistrar.h"

#include <QCoreApplication>
#include <QDir>

#include <benchmark/benchmark.h>

#include <memory>

#ifndef ORVEX_TEST_DATA_DIR
#error "the camera photographs of the test data are needed"
#endif

namespace {

constexpr int kItems = 1'000;

struct Fixture {
    StandaloneIndexView view;
    CItemInfoWindow* window = nullptr;
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

// 1,000 items over the camera photographs of the test data, their EXIF read once.
void MakeFixture()
{
    Fixture& fixture = TheFixture();
    QStringList photos;
    const QDir folder(QStringLiteral(ORVEX_TEST_DATA_DIR "/exif-samples/jpg"));
    for (const QString& name : folder.entryList({ QStringLiteral("*.jpg") }, QDir::Files, QDir::Name))
        photos << folder.filePath(name);
    if (!CheckTarget("camera photographs found", !photos.isEmpty()))
        return;
    fixture.view = StandaloneIndexView(800, 600);
    for (int i = 0; i < kItems; ++i) {
        auto* item = new CIndexItem(FileRef(photos.at(i % photos.size())));
        fixture.view->InsertItem(item, kInsertAtEnd, false, true);
        for (SInt32 key = kFieldEXIFVersion; key <= kFieldOrientation; ++key)
            item->CopyFieldString(key, kFieldTextPlaceholder);
    }
    CIndexItem* first = nullptr;
    fixture.view->GetItemAt(1, first);
    fixture.window = dynamic_cast<CItemInfoWindow*>(LWindow::CreateWindow(kItemInfoWindowLayout, nullptr));
    if (!CheckTarget("item info window made", fixture.window != nullptr))
        return;
    fixture.window->SetIndexItem(first, &fixture.view->GetModel());
    first->SetInfoWindow(fixture.window);
    dynamic_cast<LControl*>(fixture.window->FindPaneByID('SMPT'))->SetValue(6);
    CheckTarget("EXIF panel shown", fixture.window->GetPanelID() == kInfoEXIFPanel);
    // The window finishes showing (polished, laid out) before anyone steps, as on screen.
    QCoreApplication::processEvents();
}

// Next to the last item, then Previous back to the first.
void StepThrough()
{
    CItemInfoWindow* window = TheFixture().window;
    for (int i = 1; i < kItems; ++i)
        window->ListenToMessage(msg_InfoNextItem, nullptr);
    for (int i = 1; i < kItems; ++i)
        window->ListenToMessage(msg_InfoPreviousItem, nullptr);
}

// The same items in the same order, their 27 EXIF texts read.
void ReadTexts()
{
    CIndexView& view = *TheFixture().view;
    size_t characters = 0;
    auto read = [&](SInt32 index) {
        CIndexItem* item = nullptr;
        view.GetItemAt(index, item);
        for (SInt32 key = kFieldEXIFVersion; key <= kFieldOrientation; ++key)
            characters += size_t(item->CopyFieldString(key, kFieldTextPlaceholder).size());
    };
    for (SInt32 index = 2; index <= kItems; ++index)
        read(index);
    for (SInt32 index = kItems - 1; index >= 1; --index)
        read(index);
    benchmark::DoNotOptimize(characters);
}

void StepWithTheEXIFPanel(benchmark::State& state)
{
    if (!TheFixture().window) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state)
        StepThrough();
    state.counters["steps"] = 2.0 * (kItems - 1);
}
BENCHMARK(StepWithTheEXIFPanel)->Unit(benchmark::kMillisecond);

void ReadTheEXIFTextsAlone(benchmark::State& state)
{
    if (!TheFixture().view) {
        state.SkipWithError("no view");
        return;
    }
    for (auto _ : state)
        ReadTexts();
    state.counters["items"] = 2.0 * (kItems - 1);
}
BENCHMARK(ReadTheEXIFTextsAlone)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(
        argc, argv,
        [] {
            URegistrar::RegisterFrameworkClasses();
            RegisterInterfaceClasses();
            RegisterIndexWindowClasses();
            InitializeTasks();
            MakeFixture();
        },
        [] {
            Fixture& fixture = TheFixture();
            if (fixture.window) {
                const PairedTimes times = RunPaired(10, StepThrough, ReadTexts);
                CheckRatio("info window stepping / EXIF texts alone", times, 2.0);
                CheckTarget("the window ends on the first item", fixture.window->GetItemIndex() == 1);
            }
            fixture.view.reset(); // its items delete the window
            TerminateTasks();
        });
}
