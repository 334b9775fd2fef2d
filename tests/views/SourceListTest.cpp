#include "CDataBrowser.h"
#include "CSourceItem.h"

#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QStandardPaths>
#include <QTreeView>

namespace {

// A plain row with a name and a sort string.
class NamedRow : public CSourceItem {
public:
    NamedRow(const QString& name, const QString& sort)
        : CSourceItem(sort)
        , mName(name)
    {
    }
    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue) override
    {
        if (property == kSourceNameProperty && !setValue) {
            data.value = mName;
            return noErr;
        }
        return CSourceItem::GetSetItemData(property, data, setValue);
    }
    QString mName;
};

// A source list whose sections fill with a given number of rows when opened.
class FillingList : public CDataBrowser {
public:
    using CDataBrowser::CDataBrowser;
    void SectionOpened(CSourceItemDivider& header) override
    {
        std::vector<LDataBrowserItem*> rows;
        for (int i = 0; i < rowsPerSection; ++i)
            rows.push_back(new NamedRow(QStringLiteral("row %1").arg(i), QString()));
        AddItems(rows, header.GetItemID());
        ++opened;
    }
    int rowsPerSection = 2;
    int opened = 0;
};

std::unique_ptr<FillingList> MakeList(int height = 300)
{
    LDataBrowserImp::Settings settings;
    settings.selectionFlags = kDataBrowserSelectOnlyOne;
    SPaneInfo info;
    info.width = 180;
    info.height = height;
    auto list = std::make_unique<FillingList>(info, settings);
    list->FinishCreate();
    list->AddColumn(kSourceNameProperty, QStringLiteral("Organize"), kColumnJustifyLeft, kDataBrowserCustomType, 94,
        2000, 94, false, false);
    list->GetImp().GetTree()->setGeometry(0, 0, 180, height);
    return list;
}

QString SortOf(LDataBrowserItem* item)
{
    return static_cast<CSourceItem*>(item)->GetSortString();
}

class SourceListTest : public ::testing::Test {
protected:
    void SetUp() override { QStandardPaths::setTestModeEnabled(true); }
};

} // namespace

TEST_F(SourceListTest, ComparatorOrdersBySortStringWithoutCaseAndPutsRowsWithoutOneLast)
{
    const NamedRow upper("a", "Photos"), lower("b", "photos"), none("c", QString()), none2("d", QString()),
        one("e", "1"), three("f", "3");
    struct Case {
        const CSourceItem* a;
        const CSourceItem* b;
        SInt32 expected;
    } cases[] = {
        { &upper, &lower, 0 }, { &one, &three, -1 }, { &three, &one, 1 },
        { &one, &none, -1 }, { &none, &one, 1 }, { &none, &none2, 0 },
    };
    CSourceItemComparator comparator;
    for (const Case& c : cases) {
        const LDataBrowserItem* a = c.a;
        const LDataBrowserItem* b = c.b;
        EXPECT_EQ(comparator.Compare(&a, &b, sizeof a, sizeof b), c.expected)
            << c.a->GetSortString().toStdString() << " vs " << c.b->GetSortString().toStdString();
    }
}

TEST_F(SourceListTest, SectionsTakeTheirPlaceBySortStringAndAreNotSelectable)
{
    auto list = MakeList();
    list->AddItem(new CSourceItemDividerUserItems);
    list->AddItem(new NamedRow("volume", SourceSort::kVolume));
    list->AddItem(new CSourceItemDividerPlaces);
    list->AddItems({ new CSourceItemDividerRecentItems, new CSourceItemDividerDevices });
    std::vector<QString> order;
    for (UInt32 row = 1; list->IsValidRow(row); ++row)
        order.push_back(SortOf(list->GetItemAtRow(row)));
    EXPECT_EQ(order, (std::vector<QString> { "1", "2", "3", "5", "7" }));

    auto* places = static_cast<CSourceItemDivider*>(list->GetItemAtRow(3));
    EXPECT_EQ(places->GetTitle(), CopyLocalizedString("600:141"));
    QAbstractItemModel* model = list->GetControlRef()->model();
    EXPECT_FALSE(model->flags(model->index(2, 0)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model->flags(model->index(1, 0)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model->hasChildren(model->index(2, 0))); // a header opens before it has rows
    EXPECT_FALSE(model->hasChildren(model->index(1, 0)));
}

TEST_F(SourceListTest, OpenStateFollowsTheUserAndIsStoredWhenTheHeaderGoes)
{
    SetPrefBoolean("SourceListUsseerItemsOpenState", false);
    SetPrefBoolean("SourceListPlacesOpenState", true);
    {
        auto list = MakeList();
        auto* user = new CSourceItemDividerUserItems;
        auto* places = new CSourceItemDividerPlaces;
        list->AddItems({ user, places });
        EXPECT_FALSE(user->GetStoredOpenState());
        // The program opens a section: it fills, and counts as open.
        list->OpenContainer(places);
        EXPECT_EQ(list->opened, 1);
        EXPECT_TRUE(places->IsOpen());
        EXPECT_EQ(list->CountItems(kDataBrowserItemAnyState, true), 4);
        // The user opens one (a click on its triangle) and closes the other.
        list->GetControlRef()->expand(list->GetImp().GetModel().IndexOf(user));
        EXPECT_TRUE(user->IsOpen());
        list->GetControlRef()->collapse(list->GetImp().GetModel().IndexOf(places));
        EXPECT_FALSE(places->IsOpen());
        EXPECT_EQ(list->CountItems(kDataBrowserItemAnyState, true), 4); // places' rows went, the user's came
    }
    EXPECT_TRUE(GetPrefBoolean("SourceListUsseerItemsOpenState"));
    EXPECT_FALSE(GetPrefBoolean("SourceListPlacesOpenState"));
}

TEST_F(SourceListTest, SpacerAndScrollBarOnlyWhenTheRowsDoNotFit)
{
    auto list = MakeList(200);
    auto* header = new CSourceItemDividerPlaces;
    list->AddItem(header);
    list->OpenContainer(header);
    QTreeView* tree = list->GetControlRef();
    const int fitting = (tree->height() - 2 * tree->frameWidth()) / list->GetRowHeight();
    list->rowsPerSection = fitting - 1;
    list->CloseContainer(header);
    list->OpenContainer(header);
    list->AdjustScrollbars();
    EXPECT_FALSE(list->HasColumn(kSourceSpacerProperty));
    EXPECT_EQ(tree->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    list->AddItem(new NamedRow("one more", SourceSort::kPlace), header->GetItemID());
    list->AdjustScrollbars();
    EXPECT_TRUE(list->HasColumn(kSourceSpacerProperty));
    EXPECT_EQ(tree->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(tree->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(list->IsContainerOpen(header)); // the column came without closing anything
}

TEST_F(SourceListTest, ColoursAreThePartsOnALightPaletteAndReadableOnADarkOne)
{
    QPalette light;
    light.setColor(QPalette::Window, QColor(239, 239, 239));
    const SourceListColors day = SourceListColors::FromPalette(light);
    EXPECT_EQ(day.fill, QColor::fromRgba64(0xD6D6, 0xDDDD, 0xE5E5));
    EXPECT_EQ(day.selectedFill, QColor::fromRgba64(0x9999, 0xABAB, 0xC5C5));
    EXPECT_EQ(day.engraveDark, QColor::fromRgba64(0x6060, 0x6E6E, 0x8080));

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 44));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(50, 100, 200));
    const SourceListColors night = SourceListColors::FromPalette(dark);
    EXPECT_LT(night.fill.lightness(), 100);
    EXPECT_GT(night.text.lightness() - night.fill.lightness(), 100);
}
