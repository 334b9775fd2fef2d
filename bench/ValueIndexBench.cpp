// The value index, the filter of one value and a batch over 100,000 items, each
// paired in one run with a plain loop over the same items:
// - rebuilding the value index of the 18 default fields, within 2x of one sort by
//   name of the same items on one thread, with no item left waiting for its file;
// - showing one value's 10,000 members as the filter, within 1.5x of collecting
//   them in the order of all items in a plain loop;
// - a batch setting one caption field on 10,000 items (catalogue only), within 2x
//   of setting that field item by item in a plain loop.
#include "BenchMain.h"
#include "ThumbnailsBatchTiming.h"

#include "BatchActions.h"
#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QCollator>
#include <QLocale>
#include <QStandardPaths>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 100000;
constexpr int kMembers = 10000;

// Items as a tagged photograph library leaves them: camera names, captions
// whose by-line, city, keywords and urgency repeat across many items. One item
// in ten carries the keyword "harbour".
struct Library {
    StandaloneIndexView view = MakeBenchView();
    std::vector<CIndexItem*> items; // in the index's order

    Library()
    {
        std::mt19937 random(2026);
        const char* people[] = { "Ann Example", "Bo Berg", "Cleo Dahl", "Dag Ek", "Eva Fors" };
        const char* cities[] = { "Oslo", "Bergen", "Tromso", "Bodo", "Alesund", "Molde" };
        const char* words[] = { "sea", "sky", "boats", "market", "snow", "bridge", "forest", "rain" };
        for (int i = 0; i < kItems; ++i) {
            const QString name = QStringLiteral("IMG_%1.JPG").arg(random() % 200000);
            auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/roll/") + name));
            item->SetFileTypeCode('JPEG', false);
            auto caption = std::make_unique<CANPAInfo>();
            caption->SetByline(Str255(people[random() % 5]));
            caption->SetCity(Str255(cities[random() % 6]));
            caption->SetCopyrightNotice(Str255("Example Press"));
            caption->AddKeywordCF(QString::fromLatin1(words[random() % 8]));
            caption->AddKeywordCF(QString::fromLatin1(words[random() % 8]));
            if (i % 10 == 0)
                caption->AddKeywordCF(QStringLiteral("harbour"));
            caption->SetUrgency(SInt32(random() % 10));
            item->SetCaptionInfo(std::move(caption));
            view->InsertItem(item, kInsertAtEnd, false, true);
        }
        items.assign(view->GetItemList().begin(), view->GetItemList().end());
    }
};

Library& Items()
{
    static Library library;
    return library;
}

void RebuildValueIndex(benchmark::State& state)
{
    Library& library = Items();
    CIndexModel& model = library.view->GetModel();
    SInt32 pending = 0;
    QObject::connect(&model, &CIndexModel::valuesPending, [&](CIndexItem*) { ++pending; });
    // The yardstick sorts the names on one thread, as the rebuild runs, the way a
    // plain Qt program sorts texts: a collation key made once per name, then compared.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::vector<std::pair<QCollatorSortKey, CIndexItem*>> sorted;
    sorted.reserve(library.items.size());
    const PairedTimes times = RunPaired(
        7, [&] { model.RebuildValueIndex(); },
        [&] {
            sorted.clear();
            for (CIndexItem* item : library.items)
                sorted.emplace_back(collator.sortKey(item->GetName()), item);
            std::stable_sort(sorted.begin(), sorted.end(),
                [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
        });
    const bool inOrder = sorted.size() == library.items.size()
        && std::is_sorted(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
               return collator.compare(a.second->GetName(), b.second->GetName()) < 0;
           });
    CheckTarget("the yardstick sorted every name", inOrder);
    CheckTarget("the value index is built from what the items hold", pending == 0,
        std::to_string(pending) + " items left waiting for their files");
    CheckTarget("the value index holds the 18 default fields", model.GetValueIndexKeys().size() == 18);
    const SInt32 harbour = SInt32(model.GetValueMembers(kFieldKeywords, QStringLiteral("harbour")).size());
    CheckTarget("one value's members", harbour == kMembers, std::to_string(harbour) + " items under \"harbour\"");
    CheckRatio("value index of 18 fields / one sort by name", times, 2.0);
    for (auto _ : state)
        model.RebuildValueIndex();
}
BENCHMARK(RebuildValueIndex)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void ShowOneValue(benchmark::State& state)
{
    Library& library = Items();
    CIndexModel& model = library.view->GetModel();
    if (!model.HasValueIndex())
        model.RebuildValueIndex();
    const QSet<CIndexItem*> members = model.GetValueMembers(kFieldKeywords, QStringLiteral("harbour"));
    std::vector<CIndexItem*> collected;
    const PairedTimes times = RunPaired(
        7, [&] { model.ShowItemsAsFilter(members, true); },
        [&] {
            collected.clear();
            collected.reserve(size_t(members.size()));
            for (CIndexItem* item : library.items)
                if (members.contains(item))
                    collected.push_back(item);
        });
    const std::vector<CIndexItem*> shown(model.GetItemList().begin(), model.GetItemList().end());
    CheckTarget("the filter shows the value's members in order", shown == collected && int(shown.size()) == kMembers,
        std::to_string(shown.size()) + " shown");
    CheckRatio("one value's 10,000 members as the filter / plain loop", times, 1.5);
    model.ShowAllItems();
    for (auto _ : state) {
        model.ShowItemsAsFilter(members, true);
        model.ShowAllItems();
    }
}
BENCHMARK(ShowOneValue)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BatchOneField(benchmark::State& state)
{
    Library& library = Items();
    const std::vector<CIndexItem*> items(library.items.begin(), library.items.begin() + kMembers);
    // Each run sets a value the items do not have yet, so every run changes them all.
    int round = 0;
    auto nextCity = [&] { return QStringLiteral("City %1").arg(++round); };
    BatchRun run;
    run.model = &library.view->GetModel();
    const PairedTimes times = RunPaired(
        5,
        [&] {
            CCriteria step(kFieldCity, kBatchSet, nextCity());
            BatchItems(items, { &step }, run);
        },
        [&] {
            const QString city = nextCity();
            for (CIndexItem* item : items)
                library.view->GetModel().SetItemField(item, kFieldCity, city, CIndexItem::FileWrite::CatalogueOnly);
        });
    const QString last = QStringLiteral("City %1").arg(round);
    bool allSet = true;
    for (CIndexItem* item : items)
        allSet = allSet && item->CopyFieldString(kFieldCity, kFieldTextEmpty) == last && !item->GetError();
    CheckTarget("the batch set the field on every item", allSet);
    CheckRatio("batch of one caption field on 10,000 items / plain loop", times, 2.0);
    for (auto _ : state) {
        CCriteria step(kFieldCity, kBatchSet, nextCity());
        BatchItems(items, { &step }, run);
    }
}
BENCHMARK(BatchOneField)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void Prepare()
{
    QStandardPaths::setTestModeEnabled(true); // the user's own preferences stay untouched
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
}

void Report()
{
    TerminateTasks();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
