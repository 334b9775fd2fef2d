// The search window and the Search menu, each checked against loading the menus
// they show once, in the same run:
// - switching to a panel whose last state holds 20 rows, then adding a row: the
//   rows share the menus, loaded once for the program, within 2 times;
// - rebuilding the Search menu with 100 stored settings and 50 scripts, within 2 times.
#include "BenchMain.h"

#include "CSearchView.h"
#include "CSearchWindow.h"
#include "FieldKeys.h"
#include "IndexTaskServices.h"
#include "InterfaceClasses.h"
#include "LMenuBar.h"
#include "Preferences.h"
#include "ScriptRoutines.h"
#include "SearchEditors.h"
#include "StoredSettings.h"
#include "StoredSettingsMenu.h"
#include "TaskOwnerView.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kStoredRows = 20;
constexpr int kStoredSettings = 100;
constexpr int kScripts = 50;

// An owner with an empty index: the window needs a target to count.
class BenchOwner : public TaskOwnerView {
public:
    CIndexModel& GetModel() const override { return model; }
    SInt32 ImportURL(const QUrl&, SInt32, bool) override { return 0; }
    void RefreshItem(SInt32) override {}
    bool IsItemVisible(SInt32) const override { return false; }
    bool IsShown() const override { return true; }
    QString GetWindowTitle() const override { return QStringLiteral("Bench.idxp"); }
    void AdjustImageSize() override {}
    void FinishReading() override {}
    void ShowAllItems(bool) override { model.ShowAllItems(); }
    void ShowFilter(const QString*, bool, bool clear) override { model.ShowFilter(clear); }
    void RevealFirstSelected() override {}
    bool RemoveItem(SInt32, bool, bool, bool) override { return true; }
    bool AddFileToDelete(const QUrl&) override { return false; }
    SInt32 GetIndexOfItem(const CIndexItem* item) const override { return model.GetIndexOfItem(item); }
    void Hilite() override {}
    void Unhilite() override {}
    SInt16 GetThumbnailSize() const override { return 128; }
    QSize GetCellSize() const override { return {}; }
    SInt32 CountColumns() const override { return 1; }
    bool IsExtendedView() const override { return false; }
    mutable CIndexModel model;
};

// A last state of 20 rows over fields of every editor kind.
QVariantMap TwentyRows()
{
    const SInt32 fields[] = { kFieldName, kFieldKeywords, kFieldModificationDate, kFieldTotalSize, kFieldKind,
        kFieldHasThumbnail, kFieldUrgency, kFieldMake, kFieldCity, kFieldWidth };
    QVariantList rows;
    for (int i = 0; i < kStoredRows; ++i) {
        const SInt32 field = fields[i % 10];
        rows << QVariantMap { { QStringLiteral("Category"), field }, { QStringLiteral("Selector"), 7000 },
            { QStringLiteral("Value"), QStringLiteral("1") } };
    }
    return { { kSourceKindKey, 9000 }, { kResultKindKey, 8001 }, { kCriteriaListKey, rows } };
}

// The menus a Search panel with those rows shows, each loaded from the resources.
void LoadRowMenus()
{
    for (ResIDT id : { 212, 215, 211, 216, 229, 220, 217, 219, 218, 152, 210 })
        benchmark::DoNotOptimize(LMenu::Load(id));
}

void PanelSwitchAndAddRow(benchmark::State& state)
{
    BenchOwner owner;
    CSearchWindow* window = CSearchWindow::ShowSearchWindow(&owner, 1060);
    auto switchAndAdd = [&] {
        SetPrefValue(kLastSearchSettingsKey, TwentyRows());
        window->SwitchPanel(kSearchPanel);
        window->AddCriterionRow(nullptr);
        window->SwitchPanel(kDuplicatesPanel);
    };
    switchAndAdd();
    CheckTarget("the panel shows the stored rows and the added one",
        CopyPrefValue(kLastSearchSettingsKey).toMap().value(kCriteriaListKey).toList().size() == kStoredRows + 1);
    const PairedTimes times = RunPaired(7, switchAndAdd, LoadRowMenus);
    CheckRatio("switch to a panel of 20 rows and add one / load its menus once", times, 2.0);
    for (auto _ : state)
        switchAndAdd();
    delete window;
}
BENCHMARK(PanelSwitchAndAddRow)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void RebuildSettingsMenu(benchmark::State& state)
{
    QVariantList searches, batches;
    for (int i = 0; i < kStoredSettings / 2; ++i) {
        searches << QVariantMap { { kSettingNameKey, QStringLiteral("Search %1").arg(i) }, { kSettingShortcutKey, QString() } };
        batches << QVariantMap { { kSettingNameKey, QStringLiteral("Batch %1").arg(i) }, { kSettingShortcutKey, QString() } };
    }
    SetPrefValue(kSearchSettingsKey, searches);
    SetPrefValue(kBatchSettingsKey, batches);
    QTemporaryDir folder;
    for (int i = 0; i < kScripts; ++i) {
        QFile script(folder.path() + QStringLiteral("/script-%1.sh").arg(i));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    LMenuBar bar(128);
    CStoredSettingsMenu menu(bar);
    menu.SetScriptsFolder(FileRef(folder.path()));
    menu.Rebuild();
    LMenu* shown = bar.FetchMenu(CStoredSettingsMenu::kMenuID);
    CheckTarget("the menu lists every setting and script", menu.GetScripts().size() == size_t(kScripts)
            && shown->CountItems() >= kStoredSettings + kScripts);
    const PairedTimes times = RunPaired(9, [&] { menu.Rebuild(); }, [] { benchmark::DoNotOptimize(LMenu::Load(133)); });
    CheckRatio("rebuild the Search menu with 100 settings and 50 scripts / load the menu once", times, 2.0);
    for (auto _ : state)
        menu.Rebuild();
}
BENCHMARK(RebuildSettingsMenu)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void Prepare()
{
    QStandardPaths::setTestModeEnabled(true);
    URegistrar::RegisterFrameworkClasses();
    RegisterInterfaceClasses();
    RegisterSearchWindowClasses();
    SetPrefValue(kLastSearchSettingsKey, QVariant());
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare);
}
