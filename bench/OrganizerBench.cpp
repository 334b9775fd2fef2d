// The organizer over an index of 100,000 items whose keywords take 5,000 values,
// one of them shared by 10,000 items, each side paired with a plain loop in the
// same run:
// - building the value index and the organizer's groups and opening the keyword
//   group (5,000 rows), within 2 times a plain loop that builds the same value
//   sets (keywords, ratings, names) from the items;
// - a click on the value of 10,000 items (the view's filter shows them), within
//   1.5 times a plain loop that collects, in the view's order, the items of the
//   value's set.

#include "BenchMain.h"
#include "ThumbnailsBatchTiming.h"

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CMetaDataListView.h"
#include "CVisualTask.h"
#include "IIMText.h"
#include "OrganizerValues.h"
#include "PrefKeys.h"
#include "Preferences.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

namespace {

constexpr int kItems = 100'000;
constexpr int kKeywords = 5'000;
constexpr int kPairs = 7;
// Every tenth item has it besides its own keyword.
const QString kCommonKeyword = QStringLiteral("kw%1").arg(kKeywords - 1, 4, 10, QLatin1Char('0'));
const SInt32 kKeywordsField = kOrganizerKeywordsField;

QString KeywordOf(int i)
{
    return QStringLiteral("kw%1").arg(i % (kKeywords - 1), 4, 10, QLatin1Char('0'));
}

void FillView(CIndexView& view)
{
    for (int i = 0; i < kItems; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/photo%1.jpg").arg(i % 40000)));
        auto caption = std::make_unique<CANPAInfo>();
        caption->AddKeywordCF(KeywordOf(i));
        if (i % 10 == 0)
            caption->AddKeywordCF(kCommonKeyword);
        caption->SetUrgency(i % 9);
        item->SetCaptionInfo(std::move(caption));
        view.InsertItem(item, kInsertAtEnd, false, true);
    }
}

// The name as the value index groups it, written out plainly: digits and separators go.
QString PlainNameValue(const QString& name)
{
    QString value;
    for (QChar c : name) {
        if (!c.isDigit() && !QStringLiteral("-_ ~()'").contains(c))
            value.append(c);
    }
    return value;
}

using Sets = QHash<QString, QSet<CIndexItem*>>;

// The plain side: the same value sets, one loop over the items.
void BuildPlainSets(const TArray<CIndexItem*>& items, Sets& keywords, Sets& ratings, Sets& names)
{
    keywords.clear();
    ratings.clear();
    names.clear();
    for (CIndexItem* item : items) {
        CANPAInfo* caption = item->GetCaptionInfo();
        if (caption) {
            for (const LStr255& keyword : caption->GetKeywords())
                keywords[IIMText::TextFromCaptionBytes(keyword.Bytes())].insert(item);
            const SInt32 urgency = caption->GetUrgency();
            ratings[QString::number(urgency < 6 ? urgency - urgency % 2 : urgency)].insert(item);
        }
        const QString name = PlainNameValue(item->GetName());
        if (name.size() > 2)
            names[name].insert(item);
    }
}

void CompareOrganizer()
{
    Pref::MDIKeys.Set(QVariantList { kKeywordsField, kOrganizerRatingField, kOrganizerNameField });
    SetPrefBoolean(QString::number(kKeywordsField), false);
    StandaloneIndexView view = MakeBenchView();
    FillView(*view);
    for (CIndexItem* item : view->GetAllItems())
        (void)item->GetName();

    SPaneInfo info;
    info.width = 200;
    info.height = 600;
    CMetaDataListView organizer(info);
    organizer.FinishCreate();
    organizer.SetOrganizedModel(&view.Model());
    organizer.SetOrganizedView(view.get());

    Sets keywords, ratings, names;
    CSourceParentDynamic* group = nullptr;
    CheckRatio("Organizer: the value index, its groups and the keyword group of 5,000 values",
        RunPaired(
            kPairs,
            [&] {
                view->RebuildValueIndex();
                organizer.Rebuild();
                group = organizer.FindGroup(kKeywordsField);
                if (group)
                    organizer.OpenContainer(group);
            },
            [&] { BuildPlainSets(view->GetAllItems(), keywords, ratings, names); },
            [&] {
                if (group)
                    organizer.CloseContainer(group);
            }),
        2.0);
    organizer.OpenContainer(group);
    CheckTarget("the keyword group lists every keyword",
        group && group->GetValueRows().size() == size_t(kKeywords) && keywords.size() == kKeywords,
        std::to_string(group ? group->GetValueRows().size() : 0) + " rows, " + std::to_string(keywords.size())
            + " keywords by the loop");

    // The plain side has the value's set at hand, as the organizer does.
    std::vector<CIndexItem*> plain;
    const QSet<CIndexItem*> common = keywords.value(kCommonKeyword);
    CheckRatio("Organizer: a click on a value of 10,000 items",
        RunPaired(
            kPairs, [&] { FilterToValue(*view, kKeywordsField, kCommonKeyword, false); },
            [&] {
                plain.clear();
                for (CIndexItem* item : view->GetAllItems()) {
                    if (common.contains(item))
                        plain.push_back(item);
                }
            },
            [&] { view->ShowAllItems(false); }),
        1.5);
    FilterToValue(*view, kKeywordsField, kCommonKeyword, false);
    const std::vector<CIndexItem*> shown(view->GetItemList().begin(), view->GetItemList().end());
    CheckTarget("the filter shows the value's items in the view's order",
        view->IsFiltered() && shown == plain && plain.size() == size_t(kItems / 10),
        std::to_string(shown.size()) + " shown, " + std::to_string(plain.size()) + " by the loop");
    organizer.SetOrganizedView(nullptr);
    organizer.SetOrganizedModel(nullptr);
}

void Prepare()
{
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
}

void Report()
{
    CompareOrganizer();
    TerminateTasks();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
