// The search window and the Search menu, each checked against loading the menus
// they show once, in the same run:
// - switching to a panel whose last state holds 20 rows, then adding a row: the
//   rows share the menus, loaded once for the program, within 2 times of the
//   same switch with the menus loaded once beforehand;
// - rebuilding the Search menu with 100 stored settings and 50 scripts, within 2
//   times of loading the menu once and filling it by hand.
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
#include "CIndexModel.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kStoredRows = 20;
constexpr int kStoredSettings = 100;
constexpr int kScripts = 50;

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
const ResIDT kPanelMenus[] = { 212, 215, 211, 216, 229, 220, 217, 219, 218, 152, 210 };
void LoadPanelMenus()
{
    for (ResIDT id : kPanelMenus)
        benchmark::DoNotOptimize(LMenu::Load(id));
}

// Menus are loaded during the first switch only, once each: a switch that has to
// load them is within 2 times of one that finds them loaded plus loading them once
// by hand (loading per row would cost the 20 rows' loads).
void PanelSwitchAndAddRow(benchmark::State& state)
{
    CIndexModel model; // an empty index: the window needs a target to count
    CSearchWindow* window = CSearchWindow::ShowSearchWindow(&model, 1060);
    auto switchAndAdd = [&] {
        SetPrefValue(kLastSearchSettingsKey, TwentyRows());
        window->SwitchPanel(kSearchPanel);
        window->AddCriterionRow(nullptr);
        window->SwitchPanel(kDuplicatesPanel);
    };
    ForgetCachedMenus();
    const SInt32 before = CountCachedMenuLoads();
    switchAndAdd();
    const SInt32 loaded = CountCachedMenuLoads() - before;
    switchAndAdd();
    CheckTarget("the panel shows the stored rows and the added one",
        CopyPrefValue(kLastSearchSettingsKey).toMap().value(kCriteriaListKey).toList().size() == kStoredRows + 1);
    // Fewer loads than rows: each menu once, however many rows show it.
    CheckTarget("a switch with 21 rows loads each menu once, the next none",
        loaded > 0 && loaded < kStoredRows && CountCachedMenuLoads() - before == loaded,
        std::to_string(loaded) + " loads");
    const PairedTimes times = RunPaired(
        7,
        [&] {
            ForgetCachedMenus();
            switchAndAdd();
        },
        [&] {
            LoadPanelMenus();
            switchAndAdd();
        });
    CheckRatio("switch to a panel of 20 rows and add one, loading its menus / with them loaded once", times, 2.0);
    for (auto _ : state)
        switchAndAdd();
    delete window;
}
BENCHMARK(PanelSwitchAndAddRow)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The same menu made by hand: the resource loaded once, one item per setting and
// per executable file of the folder.
void BuildMenuByHand(const QVariantList& searches, const QVariantList& batches, const QString& folder)
{
    std::unique_ptr<LMenu> menu = LMenu::Load(133);
    for (const QVariantList* settings : { &searches, &batches }) {
        for (const QVariant& setting : *settings)
            menu->InsertCommand(setting.toMap().value(kSettingNameKey).toString(), 9000, menu->CountItems());
        menu->InsertCommand(QStringLiteral("-"), cmd_Nothing, menu->CountItems());
    }
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Executable, QDir::Name))
        menu->InsertCommand(entry.fileName(), -4099, menu->CountItems());
    benchmark::DoNotOptimize(menu);
}

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
    menu.Rebuild();
    LMenu* shown = bar.FetchMenu(CStoredSettingsMenu::kMenuID);
    CheckTarget("the menu lists every setting and script once after two rebuilds",
        menu.GetScripts().size() == size_t(kScripts) && shown->CountItems() == 6 + kStoredSettings + 2 + kScripts,
        std::to_string(shown->CountItems()) + " items");
    const PairedTimes times = RunPaired(
        9, [&] { menu.Rebuild(); }, [&] { BuildMenuByHand(searches, batches, folder.path()); });
    CheckRatio("rebuild the Search menu with 100 settings and 50 scripts / the menu loaded and filled once", times, 2.0);
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
