// The item info window, shown, stepped with Next and Previous through an index of
// 1,000 camera photographs while its EXIF panel shows, each step gone through the
// event loop and painted before the next, as a user sees it; against the least a
// Qt window does for the same: the same 27 EXIF field texts of the same items read
// into a shown form of 27 labels of the same size, painted at each step. Stepping
// should stay within twice that.
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
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#ifndef ORVEX_TEST_DATA_DIR
#error "the camera photographs of the test data are needed"
#endif

namespace {

constexpr int kItems = 1'000;

// Counts the paints of the window's shell (its backing store flushed).
struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

struct Fixture {
    PaintCounter paints;
    StandaloneIndexView view;
    CItemInfoWindow* window = nullptr;
    std::unique_ptr<QWidget> form; // the yardstick: a label for each EXIF field's text
    std::vector<QLabel*> values;
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
    fixture.window->Show();
    fixture.window->GetShell()->installEventFilter(&fixture.paints);
    // The window finishes showing (polished, laid out, painted) before anyone steps, as on screen.
    QCoreApplication::processEvents();
    CheckTarget("item info window shown", fixture.window->GetShell()->isVisible());

    fixture.form = std::make_unique<QWidget>();
    auto* layout = new QFormLayout(fixture.form.get());
    for (SInt32 key = kFieldEXIFVersion; key <= kFieldOrientation; ++key) {
        fixture.values.push_back(new QLabel);
        layout->addRow(QString::number(key), fixture.values.back());
    }
    fixture.form->resize(fixture.window->GetShell()->size());
    fixture.form->show();
    QCoreApplication::processEvents();
}

// One step as a click makes it: the message, then the event loop, which paints
// what the step changed; answers whether the window was painted.
bool Step(MessageT message)
{
    Fixture& fixture = TheFixture();
    const int before = fixture.paints.count;
    fixture.window->ListenToMessage(message, nullptr);
    QCoreApplication::processEvents();
    return fixture.paints.count > before;
}

// Next to the last item, then Previous back to the first.
void StepThrough()
{
    int unpainted = 0;
    for (int i = 1; i < kItems; ++i)
        unpainted += Step(msg_InfoNextItem) ? 0 : 1;
    for (int i = 1; i < kItems; ++i)
        unpainted += Step(msg_InfoPreviousItem) ? 0 : 1;
    if (unpainted > 0)
        CheckTarget("every step painted", false, std::to_string(unpainted) + " steps not painted");
}

// The same items in the same order, their 27 EXIF texts read into the form's
// labels, each step gone through the event loop (which paints the form).
void ReadTexts()
{
    Fixture& fixture = TheFixture();
    CIndexView& view = *fixture.view;
    auto read = [&](SInt32 index) {
        CIndexItem* item = nullptr;
        view.GetItemAt(index, item);
        size_t label = 0;
        for (SInt32 key = kFieldEXIFVersion; key <= kFieldOrientation; ++key)
            fixture.values[label++]->setText(item->CopyFieldString(key, kFieldTextPlaceholder));
        QCoreApplication::processEvents();
    };
    for (SInt32 index = 2; index <= kItems; ++index)
        read(index);
    for (SInt32 index = kItems - 1; index >= 1; --index)
        read(index);
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

void ReadTheEXIFTextsIntoLabels(benchmark::State& state)
{
    if (!TheFixture().form) {
        state.SkipWithError("no form");
        return;
    }
    for (auto _ : state)
        ReadTexts();
    state.counters["items"] = 2.0 * (kItems - 1);
}
BENCHMARK(ReadTheEXIFTextsIntoLabels)->Unit(benchmark::kMillisecond);

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
                CheckRatio("info window stepping / EXIF texts into a form of labels", times, 2.0);
                CheckTarget("the window ends on the first item", fixture.window->GetItemIndex() == 1);
            }
            fixture.form.reset();
            fixture.view.reset(); // its items delete the window
            TerminateTasks();
        });
}
