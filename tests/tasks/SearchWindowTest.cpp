#include "TaskTestSupport.h"

#include "AlertAnswer.h"
#include "AlertsInFront.h"
#include "BundleStrings.h"
#include "CDateTimeControl.h"
#include "CExceptionMgrPeriodical.h"
#include "CSearchTask.h"
#include "CSearchView.h"
#include "CSearchWindow.h"
#include "FieldKeys.h"
#include "IndexTaskServices.h"
#include "InterfaceClasses.h"
#include "LMenuBar.h"
#include "LayoutCheck.h"
#include "LStdControls.h"
#include "MacDates.h"
#include "SearchEditors.h"
#include "SearchEvaluation.h"
#include "StoredSettings.h"
#include "UReanimator.h"
#include "UserSteps.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QStandardItemModel>
#include <QTest>

#include <limits>

namespace {

class SearchWindowTest : public TaskTest {
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        RegisterInterfaceClasses();
        RegisterSearchWindowClasses();
        for (const QString& key : { kLastSearchSettingsKey, kLastBatchSettingsKey, kSearchSettingsKey, kBatchSettingsKey })
            SetPrefValue(key, QVariant());
        SetPrefValue(kSearchSettingsKey, QVariantList());
        SetPrefValue(kBatchSettingsKey, QVariantList());
        SetStoredSettingsChangedHook([this] { ++menuRebuilds; });
    }
    void TearDown() override
    {
        delete CSearchWindow::GetSearchWindow();
        SetStoredSettingsChangedHook({});
        owner_.DeleteItems();
        TaskTest::TearDown();
    }

    void AddItems(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + QLatin1String(name)));
            item->SetFileTypeCode('JPEG', false);
            owner_.GetModel().InsertItem(item, kInsertAtEnd);
        }
    }
    CSearchWindow* Open(SInt32 command) { return CSearchWindow::ShowSearchWindow(&owner_.model, command); }
    static QStringList ComboTexts(LStdPopupMenu* popup)
    {
        QStringList texts;
        auto* combo = popup->findChild<QComboBox*>();
        for (int i = 0; combo && i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    }
    static EventRecord Key(char character)
    {
        EventRecord event {};
        event.what = keyDown;
        event.message = UInt32(UInt8(character));
        return event;
    }

    // What the user does in a row: chooses the menu's item of that command in the
    // popup with the keyboard, as a pick from the list would.
    static void Choose(LStdPopupMenu* popup, ResIDT menuID, CommandT command)
    {
        ASSERT_TRUE(ChoosePopupCommand(popup, CachedMenu(menuID), command)) << command;
    }
    // Runs the search shown with a click on Run and waits for its result.
    void RunSearch(CSearchWindow* window)
    {
        QTest::mouseClick(static_cast<LControlPane*>(window->GetRunButton())->GetControlWidget(), Qt::LeftButton);
        ASSERT_TRUE(RunUntil([&] { return owner_.GetModel().IsFiltered() && owner_.GetModel().CountRunningSearches() == 0; }));
    }
    QStringList Found() const
    {
        QStringList names;
        for (CIndexItem* item : owner_.Items())
            names << item->GetName();
        return names;
    }
    void AddFile(const QString& path) { owner_.GetModel().InsertItem(new CIndexItem(FileRef(path)), kInsertAtEnd); }

    int menuRebuilds = 0;
};

} // namespace

TEST_F(SearchWindowTest, EveryLayoutIsMadeThroughTheRegistry)
{
    struct Case {
        ResIDT layout;
        std::vector<PaneIDT> panes;
    };
    const std::vector<Case> cases {
        { 1029, { 'crit', 'sele', 'vsel', 'vinp', 'appi', 'valu', 'date', 'isel' } },
        { 1031, { 'crit', 'sele', 'vsel', 'vinp', 'appi', 'valu', 'date', 'isel' } },
        { 4000, { 8001, 8002, 8003, 8004, 8005, 8006, 8008 } },
        { 4001, { 8001, 8004, 8005, 8008 } },
        { 4002, { 8001, 8002, 8003, 8004, 8005, 8006, 8008 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        std::unique_ptr<LPane> made(UReanimator::CreatePaneTree(c.layout));
        ASSERT_NE(made, nullptr);
        for (PaneIDT id : c.panes)
            EXPECT_NE(made->FindPaneByID(id), nullptr) << id;
    }
    EXPECT_NE(dynamic_cast<CBatchView*>(std::unique_ptr<LPane>(UReanimator::CreatePaneTree(1031)).get()), nullptr);
    EXPECT_NE(dynamic_cast<CDatePane*>(std::unique_ptr<LPane>(UReanimator::CreatePaneTree(1029))->FindPaneByID('date')), nullptr);
    for (ResIDT dialog : { 1033, 1034, 1036 }) {
        std::unique_ptr<LWindow> window(LWindow::CreateWindow(dialog, nullptr));
        EXPECT_NE(dynamic_cast<LDialogBox*>(window.get()), nullptr) << dialog;
    }
    CSearchWindow* window = Open(1057);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window->FindPaneByID('SMPT'), nullptr);
}

TEST_F(SearchWindowTest, RowsGiveBackTheCriterionTheyWereGivenForEveryEditor)
{
    struct Case {
        ResIDT layout;
        SInt32 category, selector;
        const char* value;
        EEditorKind kind;
    };
    const QString date = CCriteria::EncodeDate(DateTimeToMacSeconds(QDateTime(QDate(2024, 5, 17), QTime(0, 0))));
    const std::vector<Case> cases {
        { 1029, kFieldName, kSelectorContains, "harbour", EEditorKind::Text },
        { 1029, kFieldMake, kSelectorBeginsWith, "Nik", EEditorKind::Text },
        { 1029, kFieldKeywords, kSelectorNotContains, "boat", EEditorKind::Keywords },
        { 1029, kFieldModificationDate, kSelectorBefore, "", EEditorKind::Date },
        { 1029, kFieldTotalSize, kSelectorGreaterThan, "1000", EEditorKind::Number },
        { 1029, kFieldKind, kSelectorIs, "JPEG", EEditorKind::Code },
        { 1029, kFieldHasThumbnail, kSelectorIsNotSet, "-", EEditorKind::Flag },
        { 1029, kFieldUrgency, kSelectorIs, "3", EEditorKind::Menu },
        { 1029, kFieldName, kSelectorIs, "$$@@4017", EEditorKind::Text },
        { 1031, kFieldName, 7203, "-final", EEditorKind::Text },
        { 1031, kFieldHeadline, 7207, "7301", EEditorKind::Text }, // the case menu, not typed
        { 1031, kFieldKeywords, 7200, "harbour", EEditorKind::Keywords },
        { 1031, kFieldCreationDate, 7202, "", EEditorKind::Date },
        { 1031, kFieldPositionInView, 7208, "2", EEditorKind::Number },
        { 1031, kFieldTurnState, SInt32(kItemFlagRotate90CW), "-", EEditorKind::Flag },
        { 1031, kFieldUrgencyLabel, 7202, "3", EEditorKind::Menu },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2 %3").arg(c.layout).arg(c.category).arg(c.selector).toStdString());
        std::unique_ptr<LPane> made(UReanimator::CreatePaneTree(c.layout));
        auto* row = dynamic_cast<CSearchView*>(made.get());
        ASSERT_NE(row, nullptr);
        const QString value = *c.value ? QString::fromUtf8(c.value) : date;
        QVariantMap dictionary { { kCriteriaCategoryKey, c.category }, { kCriteriaSelectorKey, c.selector },
            { kCriteriaValueKey, value }, { QStringLiteral("Extra"), 7 } };
        row->SetFromDictionary(dictionary);
        EXPECT_EQ(row->GetEditorKind(), c.kind);
        const std::unique_ptr<CCriteria> made2 = row->MakeCriteria();
        EXPECT_EQ(made2->GetCategory(), c.category);
        EXPECT_EQ(made2->GetSelector(), c.selector);
        EXPECT_EQ(made2->GetValue(), value);
        EXPECT_EQ(made2->GetValueRef(QStringLiteral("Extra")).toInt(), 7); // keys the row does not edit survive
        if (c.selector == 7207)
            EXPECT_TRUE(row->IsShownInRow(row->GetValuePopup()) && !row->IsShownInRow(row->GetTextField()));
    }
}

TEST_F(SearchWindowTest, RowEdgeCases)
{
    std::unique_ptr<LPane> made(UReanimator::CreatePaneTree(1029));
    auto* row = dynamic_cast<CSearchView*>(made.get());
    ASSERT_NE(row, nullptr);
    // The second row takes the second field; a separator is stepped over.
    row->SetDefaultCategory(2);
    EXPECT_EQ(row->GetCategory(), kFieldDateAdded);
    row->SetDefaultCategory(23);
    EXPECT_EQ(row->GetCategory(), kFieldWidth);
    // A today test stores no date.
    row->SetFromDictionary({ { kCriteriaCategoryKey, kFieldModificationDate }, { kCriteriaSelectorKey, kSelectorToday },
        { kCriteriaValueKey, QStringLiteral("0") } });
    EXPECT_EQ(row->MakeCriteria()->GetValue(), QStringLiteral("-"));
    // The toggle puts the field popup in place of the typed value and back.
    row->SetFromDictionary({ { kCriteriaCategoryKey, kFieldName }, { kCriteriaSelectorKey, kSelectorIs },
        { kCriteriaValueKey, QStringLiteral("x") } });
    row->ListenToMessage(msg_RowToggleField, nullptr);
    EXPECT_EQ(row->MakeCriteria()->GetValue(), QStringLiteral("$$@@4001"));
    row->ListenToMessage(msg_RowToggleField, nullptr);
    EXPECT_EQ(row->MakeCriteria()->GetValue(), QString());
}

TEST_F(SearchWindowTest, EveryOfferedFieldHasAnEditor)
{
    for (ResIDT menuID : { ResIDT(kSearchFieldMenu), ResIDT(kBatchFieldMenu) }) {
        const LMenu& menu = CachedMenu(menuID);
        const bool batch = menuID == kBatchFieldMenu;
        std::unique_ptr<LPane> made(UReanimator::CreatePaneTree(batch ? 1031 : 1029));
        auto* row = dynamic_cast<CSearchView*>(made.get());
        for (SInt16 i = 1; i <= menu.CountItems(); ++i) {
            if (menu.Item(i)->IsSeparator())
                continue;
            const SInt32 key = menu.Item(i)->command;
            SCOPED_TRACE(key);
            row->GetCategoryPopup()->SetValue(i);
            EXPECT_EQ(row->GetCategory(), key);
            EXPECT_NE(row->GetEditorKind(), EEditorKind::None);
            EXPECT_NE(row->GetSelectorMenuID(), 0);
            EXPECT_NE(row->MakeCriteria()->GetSelector(), 0);
            if (!batch)
                EXPECT_TRUE(CriterionTest::TestsField(key));
        }
        // Dimensions has neither an editor nor a test: the search rows leave it out.
        EXPECT_EQ(menu.IndexFromCommand(kFieldDimensions), 0);
    }
}

TEST_F(SearchWindowTest, PanelsKeepTheirRowsAndTheWindowGrowsByRows)
{
    AddItems({ "a.jpg", "b.jpg" });
    CSearchWindow* window = Open(1057);
    ASSERT_EQ(window->GetPanelID(), kSearchPanel);
    ASSERT_EQ(window->GetRows().size(), 1u); // no last settings: one default row
    const SInt32 rowHeight = window->GetRowHeight();
    EXPECT_EQ(window->height(), 152 + rowHeight);
    EXPECT_FALSE(window->GetRemoveRowButton()->IsEnabled());

    EXPECT_TRUE(window->HandleKeyPress(Key('+')));
    EXPECT_EQ(window->GetRows().size(), 2u);
    EXPECT_EQ(window->height(), 152 + 2 * rowHeight);
    EXPECT_TRUE(window->GetRemoveRowButton()->IsEnabled());
    EXPECT_EQ(window->GetRows()[1]->GetCategory(), kFieldDateAdded);

    // Opening on Duplicates stores the Search rows first.
    Open(1060);
    EXPECT_EQ(window->GetPanelID(), kDuplicatesPanel);
    EXPECT_TRUE(window->GetRows().empty());
    EXPECT_EQ(window->height(), 182);
    EXPECT_EQ(CopyPrefValue(kLastSearchSettingsKey).toMap().value(kCriteriaListKey).toList().size(), 2);
    EXPECT_FALSE(window->GetSaveButton()->IsEnabled()); // a duplicate search is not stored

    Open(1057);
    EXPECT_EQ(window->GetRows().size(), 2u);
    EXPECT_TRUE(window->RemoveLastCriterionRow());
    EXPECT_FALSE(window->RemoveLastCriterionRow());
    EXPECT_FALSE(window->RemoveLastCriterionRow()); // stops at none
    EXPECT_EQ(window->height(), 152);

    // An entry with an empty criteria list shows no row.
    SetPrefValue(kLastSearchSettingsKey, QVariantMap { { kSourceKindKey, 9000 }, { kResultKindKey, 8001 }, { kCriteriaListKey, QVariantList() } });
    Open(1061);
    Open(1057);
    EXPECT_TRUE(window->GetRows().empty());
}

TEST_F(SearchWindowTest, DamagedLastSettingsAreDroppedForTheDefaultRow)
{
    SetPrefValue(kLastSearchSettingsKey, QVariantMap { { kSourceKindKey, 9000 }, { kCriteriaListKey, QVariantList() } });
    CSearchWindow* window = Open(1057);
    EXPECT_EQ(window->GetRows().size(), 1u);
    EXPECT_EQ(window->GetRows()[0]->GetCategory(), kFieldName);
    // Dropped for good: the next showing does not fail again.
    Open(1060);
    EXPECT_TRUE(CopyPrefValue(kLastSearchSettingsKey).toMap().contains(kResultKindKey));
}

TEST_F(SearchWindowTest, SourceCountsFollowThePanel)
{
    AddItems({ "1", "2", "3", "4", "5", "6", "7", "8", "9", "10" });
    CIndexModel& model = owner_.GetModel();
    model.ReplaceFilterItems({ model.GetAllItems()[2], model.GetAllItems()[5], model.GetAllItems()[8] });
    model.ShowFilter(false);
    model.SelectIndex(1);
    model.SelectIndex(2);
    CSearchWindow* window = Open(1061);
    EXPECT_EQ(ComboTexts(window->GetSourcePopup()).mid(0, 2), (QStringList { "All Items (3 items)", "Selected Items (2 items)" }));
    Open(1057);
    EXPECT_EQ(ComboTexts(window->GetSourcePopup()).mid(0, 2), (QStringList { "All Items (10 items)", "Selected Items (2 items)" }));
    model.DeselectIndex(1);
    Open(1057);
    EXPECT_EQ(ComboTexts(window->GetSourcePopup()).mid(0, 2), (QStringList { "All Items (10 items)", "Selected Items (1 item)" }));
}

TEST_F(SearchWindowTest, TheTitleNamesTheWindowAndTheIndexItSearches)
{
    CSearchWindow* window = Open(1057);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Search / Process – Test Index"));
    window->GetSourcePopup()->SetValue(3); // every open index
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Search / Process"));
    window->GetSourcePopup()->SetValue(1);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("Search / Process – Test Index"));
}

TEST_F(SearchWindowTest, EveryOpenIndexCopiesIntoANewIndexOnly)
{
    CSearchWindow* window = Open(1057);
    window->GetSourcePopup()->SetValue(3);
    EXPECT_EQ(window->CopySettings().value(kResultKindKey).toInt(), kResultCopyToNewIndex);
    auto* combo = window->GetResultPopup()->findChild<QComboBox*>();
    auto* items = qobject_cast<QStandardItemModel*>(combo->model());
    int enabled = 0;
    for (int i = 0; i < items->rowCount(); ++i)
        enabled += items->item(i)->isEnabled() && !combo->itemText(i).isEmpty() ? 1 : 0;
    EXPECT_EQ(enabled, 1);
    window->GetSourcePopup()->SetValue(1);
    EXPECT_TRUE(items->item(0)->isEnabled());
}

TEST_F(SearchWindowTest, SearchRunsOnTheIndexAndHidesTheWindow)
{
    AddItems({ "harbour-1.jpg", "boats.jpg", "Harbour-2.jpg" });
    CSearchWindow* window = Open(1057);
    window->Show();
    CSearchView* row = window->GetRows().front();
    row->SetFromDictionary({ { kCriteriaCategoryKey, kFieldName }, { kCriteriaSelectorKey, kSelectorContains },
        { kCriteriaValueKey, QStringLiteral("harbour") } });
    window->GetRunButton()->SimulateHotSpotClick(kControlButtonPart);
    EXPECT_FALSE(window->IsVisible());
    ASSERT_TRUE(RunUntil([&] { return owner_.GetModel().IsFiltered() && owner_.GetModel().CountRunningSearches() == 0; }));
    EXPECT_EQ(owner_.GetModel().CountItems(), 2);
}

// A search that finds nothing has nothing gone wrong: the user is told in a note,
// for the items and for the duplicates alike.
TEST_F(SearchWindowTest, NothingFoundIsToldInANote)
{
    StAlertsInFront inFront;
    CExceptionMgrPeriodical periodical;
    periodical.StartRepeating(0.05);
    // Files of their own, so that the duplicates search can examine every one.
    for (const auto& [name, colour] : { std::pair { "harbour-1.png", Qt::darkBlue }, std::pair { "boats.png", Qt::red } }) {
        QImage picture(40 + int(colour), 30, QImage::Format_RGB32);
        picture.fill(colour);
        const QString path = TestTempDir() + QLatin1Char('/') + QLatin1String(name);
        ASSERT_TRUE(picture.save(path, "PNG"));
        AddFile(path);
    }
    const QString note = BundleLocalizedString(QStringLiteral("600:15"));
    struct Case {
        SInt32 command;
        ResIDT resultMenu;
        SInt32 result;
        const char* message;
    };
    for (const Case& c : { Case { 1057, kSearchResultMenu, kResultSelect, "500:50" },
             Case { 1060, kDuplicateResultMenu, kResultSelect, "500:58" } }) {
        CSearchWindow* window = Open(c.command);
        window->Show();
        window->Select();
        if (c.command == 1057) {
            CSearchView* row = window->GetRows().front();
            row->SetFromDictionary({ { kCriteriaCategoryKey, kFieldName }, { kCriteriaSelectorKey, kSelectorContains },
                { kCriteriaValueKey, QStringLiteral("lighthouse") } });
        }
        Choose(window->GetResultPopup(), c.resultMenu, c.result);
        StAlertAnswers answers(1);
        QTest::mouseClick(static_cast<LControlPane*>(window->GetRunButton())->GetControlWidget(), Qt::LeftButton);
        ASSERT_TRUE(RunUntil([&] { return !answers.Texts().isEmpty(); })) << c.message;
        EXPECT_EQ(answers.Texts(), QStringList { note + "\n" + BundleLocalizedString(QLatin1String(c.message)) });
    }
    periodical.StopRepeating();
}

TEST_F(SearchWindowTest, NamedSettingsAreAppendedWithUnicodeNamesAndCheckedShortcuts)
{
    CSearchWindow* window = Open(1057);
    auto save = [&](const QString& name, const QString& shortcut) {
        window->ListenToMessage(msg_SearchSave, nullptr);
        EXPECT_NE(window->GetSaveDialog(), nullptr);
        window->GetSaveDialog()->FindPaneByID(901)->SetCFDescriptor(name);
        window->GetSaveDialog()->FindPaneByID(902)->SetCFDescriptor(shortcut);
        window->ListenToMessage(msg_SearchSave, nullptr);
    };
    save(QStringLiteral("Häfen ✓"), QStringLiteral("h"));
    save(QStringLiteral("Häfen ✓"), QString());
    EXPECT_EQ(window->GetSaveDialog(), nullptr);
    QVariantList stored = CopyStoredSettings(false);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].toMap().value(kSettingNameKey).toString(), QStringLiteral("Häfen ✓"));
    EXPECT_EQ(stored[0].toMap().value(kSettingShortcutKey).toString(), QStringLiteral("H"));
    EXPECT_EQ(stored[1].toMap().value(kCriteriaListKey).toList().size(), 1);
    EXPECT_EQ(menuRebuilds, 2);

    // A desktop key and a key in use are refused; the dialog stays open.
    for (const char* shortcut : { "t", "H" }) {
        StAlertAnswers answers(1);
        save(QStringLiteral("Other"), QString::fromLatin1(shortcut));
        EXPECT_NE(window->GetSaveDialog(), nullptr);
        EXPECT_EQ(answers.Texts().size(), 1);
        window->ListenToMessage(msg_SearchSaveCancel, nullptr);
    }
    EXPECT_EQ(CopyStoredSettings(false).size(), 2);
}

// A letter that Ctrl+Alt already gives to a menu command, to another stored
// setting or to the desktop, typed as a new setting's shortcut: each is refused in
// an alert that says whose it is, its whole text shown, and nothing is stored.
TEST_F(SearchWindowTest, ATakenShortcutIsRefusedInAnAlertThatShowsWhole)
{
    LMenuBar bar(128);
    StoreStoredSettings(false, { QVariantMap { { kSettingNameKey, QStringLiteral("Boats") },
                                   { kSettingShortcutKey, QStringLiteral("B") }, { kSourceKindKey, 9000 },
                                   { kResultKindKey, 8001 }, { kCriteriaListKey, QVariantList() } } });
    const struct {
        const char* typed;
        const char* owner; // named in the alert
    } rows[] = { { "p", "Print One" }, { "w", "Close All" }, { "b", "Boats" }, { "t", "" } };
    CSearchWindow* window = Open(1057);
    window->Show();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        window->OpenSaveSettingDialog();
        LDialogBox* dialog = window->GetSaveDialog();
        ASSERT_NE(dialog, nullptr);
        TypeIntoField(dialog, 901, QStringLiteral("Harbours"));
        QLineEdit* shortcut = TypeIntoField(dialog, 902, QString::fromLatin1(row.typed));
        QString said;
        QStringList faults;
        AlertAnswer answer;
        answer.inspect = [&](LDialogBox* alert) {
            said = PaneText(alert, 5);
            faults = LayoutFaults(*alert->GetShell());
        };
        answer.Arm();
        QTest::keyClick(shortcut, Qt::Key_Return);
        EXPECT_TRUE(answer.sawDialog);
        EXPECT_TRUE(said.contains(QStringLiteral("Ctrl+Alt+") + QString::fromLatin1(row.typed).toUpper())) << said.toStdString();
        EXPECT_TRUE(said.contains(QString::fromUtf8(row.owner))) << said.toStdString();
        EXPECT_EQ(faults, QStringList());
        window->ListenToMessage(msg_SearchSaveCancel, nullptr);
    }
    EXPECT_EQ(CopyStoredSettings(false).size(), 1);
}

TEST_F(SearchWindowTest, DecliningTheBatchConfirmationStartsNothing)
{
    AddItems({ "a.jpg" });
    SetPrefBoolean(QStringLiteral("ConfirmChangesToMedia"), true);
    CSearchWindow* window = Open(1061);
    window->Show();
    window->GetResultPopup()->SetValue(2); // into the files too
    {
        StAlertAnswers answers(2); // No
        window->RunBatch();
        EXPECT_EQ(answers.Texts().size(), 1);
    }
    EXPECT_EQ(owner_.GetModel().CountRunningSearches(), 0);
    EXPECT_TRUE(window->IsVisible());
    SetPrefDefault(QStringLiteral("ConfirmChangesToMedia"));
}

TEST_F(SearchWindowTest, LosingTheTargetHidesTheWindow)
{
    auto other = std::make_unique<CIndexModel>();
    CSearchWindow* window = CSearchWindow::ShowSearchWindow(other.get(), 1057);
    window->Show();
    other.reset();
    EXPECT_EQ(window->GetTarget(), nullptr);
    EXPECT_FALSE(window->IsVisible());
    EXPECT_FALSE(window->GetRunButton()->IsEnabled());
}

TEST_F(SearchWindowTest, ASavedSearchRunsFromItsCommandOnTheSameItems)
{
    AddItems({ "harbour-1.jpg", "boats.jpg", "Harbour-2.jpg" });
    CSearchWindow* window = Open(1057);
    window->GetRows().front()->SetFromDictionary({ { kCriteriaCategoryKey, kFieldName },
        { kCriteriaSelectorKey, kSelectorContains }, { kCriteriaValueKey, QStringLiteral("harbour") } });
    window->OpenSaveSettingDialog();
    window->GetSaveDialog()->FindPaneByID(901)->SetCFDescriptor(QStringLiteral("Harbours"));
    window->SaveSetting();
    ASSERT_EQ(CopyStoredSettings(false).size(), 1);

    EXPECT_TRUE(CanRunStoredSetting(owner_.model, 9000));
    EXPECT_FALSE(CanRunStoredSetting(owner_.model, 9001)); // no such entry
    RunStoredSetting(owner_.model, 9000, nullptr, nullptr);
    ASSERT_TRUE(RunUntil([&] { return owner_.GetModel().IsFiltered() && owner_.GetModel().CountRunningSearches() == 0; }));
    EXPECT_EQ(owner_.GetModel().CountItems(), 2);
    EXPECT_THROW(RunStoredSetting(owner_.model, 9001, nullptr, nullptr), ExceptionCode);
}

TEST_F(SearchWindowTest, PlusAndMinusTypedIntoAValueStayText)
{
    CSearchWindow* window = Open(1057);
    window->Show();
    window->Select();
    LEditText* field = window->GetRows().front()->GetTextField();
    ASSERT_NE(field, nullptr);
    field->GetLineEdit()->setFocus();
    QCoreApplication::processEvents();
    if (QApplication::focusWidget() != field->GetLineEdit())
        GTEST_SKIP() << "the platform gives no keyboard focus";
    EXPECT_FALSE(window->HandleKeyPress(Key('+')));
    EXPECT_EQ(window->GetRows().size(), 1u);
    field->GetLineEdit()->clearFocus();
    window->setFocus();
    EXPECT_TRUE(window->HandleKeyPress(Key('+')));
    EXPECT_EQ(window->GetRows().size(), 2u);
}

TEST_F(SearchWindowTest, TheFileActionShowsTheChosenApplicationByNameAndOpensAskForOne)
{
    const QString applications = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    QDir().mkpath(applications);
    QFile entry(applications + QStringLiteral("/org.example.Viewer.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Example Viewer\nIcon=image-x-generic\nExec=true %F\n");
    entry.close();

    std::unique_ptr<LPane> made(UReanimator::CreatePaneTree(1031));
    auto* row = dynamic_cast<CBatchView*>(made.get());
    ASSERT_NE(row, nullptr);
    row->SetFromDictionary({ { kCriteriaCategoryKey, kFieldFileState }, { kCriteriaSelectorKey, kSelectorOpenInApplication },
        { kCriteriaValueKey, QStringLiteral("1") }, { kCriteriaApplicationKey, QStringLiteral("org.example.Viewer.desktop") } });
    EXPECT_EQ(row->GetTargetName(), QStringLiteral("Example Viewer"));
    EXPECT_EQ(ComboTexts(row->GetValuePopup()).value(1), QStringLiteral("Example Viewer"));

    // Choosing a copy instead drops the application: a folder is what it needs.
    row->GetSelectorPopup()->SetValue(1);
    EXPECT_EQ(row->GetSelector(), kSelectorCopyToFolder);
    EXPECT_TRUE(row->GetTargetName().isEmpty());
    EXPECT_FALSE(row->MakeCriteria()->HasKey(kCriteriaApplicationKey));
    // "Choose…" asks for a folder for a copy (the chooser is the criterion's file dialog).
    row->GetValuePopup()->SetValue(row->GetValuePopup()->GetMaxValue());
    const std::unique_ptr<CCriteria> criterion = row->MakeCriteria();
    QFileDialog* dialog = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<QFileDialog*>(top); found && found->isVisible())
            dialog = found;
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    dialog->reject();
}

TEST_F(SearchWindowTest, EveryFieldEditedAsANumberIsComparedAsTheNumberItHolds)
{
    CIndexItem item { FileRef(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg"))) };
    std::unique_ptr<LPane> made(UReanimator::CreatePaneTree(1029));
    auto* row = dynamic_cast<CSearchView*>(made.get());
    ASSERT_NE(row, nullptr);
    const LMenu& menu = CachedMenu(kSearchFieldMenu);
    int compared = 0;
    for (SInt16 i = 1; i <= menu.CountItems(); ++i) {
        const SInt32 key = menu.Item(i)->command;
        SInt64 value = 0;
        if (menu.Item(i)->IsSeparator() || SearchEditorKind(key) != EEditorKind::Number
            || !SearchFieldNumber(item, key, value))
            continue;
        SCOPED_TRACE(key);
        auto matches = [&](SInt32 selector, SInt64 operand) {
            row->SetFromDictionary({ { kCriteriaCategoryKey, key }, { kCriteriaSelectorKey, selector },
                { kCriteriaValueKey, QString::number(operand) } });
            EvaluationNotes notes;
            return CriterionTest(*row->MakeCriteria()).Matches(item, notes);
        };
        EXPECT_TRUE(matches(kSelectorIs, value));
        EXPECT_EQ(row->GetSelectorMenuID(), kNumberTestMenu);
        EXPECT_FALSE(matches(kSelectorGreaterThan, value));
        EXPECT_TRUE(matches(kSelectorLessThan, value + 1));
        // The number field takes no minus sign: fields at 0 are not compared below it.
        if (value > 0)
            EXPECT_TRUE(matches(kSelectorGreaterThan, value - 1));
        ++compared;
    }
    // The size, the position, the picture's measures and the EXIF numbers.
    EXPECT_GE(compared, 12);
}

TEST_F(SearchWindowTest, SizesAreComparedWithEveryDigitTyped)
{
    // Files as large as they say, without their bytes on the disk.
    for (const auto& [name, size] : {std::pair {"big.dat", Q_INT64_C(1500000000)}, std::pair {"medium.dat", Q_INT64_C(20000000)},
             std::pair {"small.dat", Q_INT64_C(10)}}) {
        QFile file(TestTempDir() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));
        file.close();
        AddFile(file.fileName());
    }
    CSearchWindow* window = Open(1057);
    window->Show();
    window->Select();
    CSearchView* row = window->GetRows().front();
    Choose(row->GetCategoryPopup(), kSearchFieldMenu, kFieldTotalSize);
    ASSERT_EQ(row->GetEditorKind(), EEditorKind::Number);
    Choose(row->GetSelectorPopup(), kNumberTestMenu, kSelectorGreaterThan);
    QLineEdit* value = row->GetTextField()->GetLineEdit();
    value->setFocus();
    QTest::keyClicks(value, QStringLiteral("1000000000"));
    EXPECT_EQ(value->text(), QStringLiteral("1000000000"));
    RunSearch(window);
    EXPECT_EQ(Found(), QStringList {QStringLiteral("big.dat")});

    // Every digit of a 64-bit number is taken; a larger number is the largest.
    owner_.GetModel().ShowAllItems();
    window->Show();
    Choose(row->GetSelectorPopup(), kNumberTestMenu, kSelectorLessThan);
    value->selectAll();
    QTest::keyClicks(value, QStringLiteral("99999999999999999999"));
    EXPECT_EQ(value->text(), QStringLiteral("9999999999999999999"));
    EXPECT_EQ(CriterionTest::TextToNumber(value->text()), std::numeric_limits<SInt64>::max());
    RunSearch(window);
    EXPECT_EQ(owner_.GetModel().CountItems(), 3);
}

TEST_F(SearchWindowTest, AnItemWithoutTheDateMatchesNoDateTest)
{
    if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
        GTEST_SKIP() << "exiv2 is not installed";
    // Two camera files with the date taken, and one whose EXIF has no date at all.
    AddFile(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg"))); // 2008-05-30
    AddFile(TestDataPath(QStringLiteral("exif-samples/jpg/Kodak_CX7530.jpg"))); // 2005-08-13
    const QString undated = TestTempDir() + QStringLiteral("/undated.jpg");
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Nikon_D70.jpg")), undated));
    QFile::setPermissions(undated, QFile::ReadOwner | QFile::WriteOwner);
    QProcess tool;
    tool.start(QStringLiteral("exiv2"), {QStringLiteral("-M"), QStringLiteral("del Exif.Photo.DateTimeOriginal"),
                                            QStringLiteral("-M"), QStringLiteral("del Exif.Photo.DateTimeDigitized"),
                                            QStringLiteral("-M"), QStringLiteral("del Exif.Image.DateTime"), undated});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0);
    AddFile(undated);

    CSearchWindow* window = Open(1057);
    window->Show();
    window->Select();
    CSearchView* row = window->GetRows().front();
    Choose(row->GetCategoryPopup(), kSearchFieldMenu, kFieldDateTimeOriginal);
    ASSERT_EQ(row->GetEditorKind(), EEditorKind::Date);
    struct Case {
        CommandT selector;
        QDate date;
        QStringList found;
    } const cases[] = {
        {kSelectorBefore, QDate(2020, 1, 1), {QStringLiteral("Canon_40D.jpg"), QStringLiteral("Kodak_CX7530.jpg")}},
        {kSelectorAfter, QDate(2006, 1, 1), {QStringLiteral("Canon_40D.jpg")}},
        {kSelectorIsNot, QDate(2008, 5, 30), {QStringLiteral("Kodak_CX7530.jpg")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        owner_.GetModel().ShowAllItems();
        window->Show();
        Choose(row->GetSelectorPopup(), kDateTestMenu, c.selector);
        auto* edit = row->GetDateField()->findChild<QDateEdit*>();
        ASSERT_NE(edit, nullptr);
        edit->setDate(c.date);
        RunSearch(window);
        EXPECT_EQ(Found(), c.found);
    }
}
