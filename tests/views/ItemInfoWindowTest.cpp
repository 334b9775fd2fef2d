#include "AlertAnswer.h"
#include "CANPAInfo.h"
#include "CDateTimeControl.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CItemInfoWindow.h"
#include "ErrorReport.h"
#include "ExivTestFiles.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "IndexViewFixture.h"
#include "InterfaceClasses.h"
#include "CIndexViewDocument.h"
#include "LStdControls.h"
#include "LTextEditView.h"
#include "MacDates.h"
#include "Preferences.h"
#include "ReadOnlyFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProcess>
#include <QStandardPaths>
#include <QTabBar>
#include <QTest>

namespace {

QByteArray DataSet(UInt8 record, UInt8 number, const QByteArray& data)
{
    QByteArray bytes;
    bytes.append(char(0x1C)).append(char(record)).append(char(number));
    bytes.append(char(data.size() >> 8)).append(char(data.size() & 0xFF));
    return bytes + data;
}

// A JPEG whose APP13 segment holds `iim` as its IPTC resource (8BIM 0x0404).
void WriteJpegWithIIM(const QString& path, const QByteArray& iim)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&buffer, "JPG"));
    }
    QByteArray resource = QByteArray("8BIM\x04\x04\0\0", 8);
    resource.append(char(iim.size() >> 24)).append(char(iim.size() >> 16)).append(char(iim.size() >> 8)).append(char(iim.size()));
    resource += iim;
    if (iim.size() % 2)
        resource.append('\0');
    const QByteArray payload = QByteArray("Photoshop 3.0", 14) + resource;
    QByteArray segment("\xFF\xED");
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xFF));
    segment += payload;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(jpeg.left(2) + segment + jpeg.mid(2));
}

// The data of every dataset `record`:`number` of the file's IPTC block, read from
// the bytes of its APP13 segment.
std::vector<QByteArray> FileDataSets(const QString& path, UInt8 record, UInt8 number)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    auto big = [](const QByteArray& bytes, qsizetype at, int count) {
        quint32 value = 0;
        for (int i = 0; i < count; ++i)
            value = (value << 8) | quint8(bytes.at(at + i));
        return qsizetype(value);
    };
    std::vector<QByteArray> found;
    for (qsizetype at = 2; at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF && quint8(jpeg[at + 1]) != 0xDA;) {
        const bool app13 = quint8(jpeg[at + 1]) == 0xED;
        const qsizetype length = big(jpeg, at + 2, 2);
        const QByteArray segment = jpeg.mid(at + 4, length - 2);
        at += 2 + length;
        if (!app13 || !segment.startsWith(QByteArray("Photoshop 3.0", 14)))
            continue;
        for (qsizetype r = 14; r + 12 <= segment.size();) {
            const qsizetype nameLength = quint8(segment[r + 6]);
            const qsizetype sizeAt = r + 6 + ((nameLength + 2) & ~qsizetype(1));
            const qsizetype size = big(segment, sizeAt, 4);
            const QByteArray data = segment.mid(sizeAt + 4, size);
            if (segment.mid(r, 6) == QByteArray("8BIM\x04\x04", 6)) {
                for (qsizetype d = 0; d + 5 <= data.size() && data[d] == 0x1C;) {
                    const qsizetype dataLength = big(data, d + 3, 2);
                    if (quint8(data[d + 1]) == record && quint8(data[d + 2]) == number)
                        found.push_back(data.mid(d + 5, dataLength));
                    d += 5 + dataLength;
                }
            }
            r = sizeAt + 4 + size + (size % 2);
        }
    }
    return found;
}

// Picture files of the test's own in an index view, and the info window the
// items show themselves in.
class ItemInfoWindowTest : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(640, 480);
        RegisterInterfaceClasses();
        RegisterIndexWindowClasses();
        mDir = TestTempDir() + QStringLiteral("/info");
        QDir().mkpath(mDir);
        SetPrefBoolean(QStringLiteral("ShowFileExtension"), false);
        SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    }
    void TearDown() override
    {
        // The items delete their windows with them.
        IndexViewFixture::TearDown();
        FlushDeletes();
    }
    // Plain JPEG files (no caption, no EXIF) "<name>.jpg" added at the end.
    CIndexItem* AddFile(const QString& name)
    {
        const QString path = mDir + QLatin1Char('/') + name + QStringLiteral(".jpg");
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        EXPECT_TRUE(picture.save(path, "JPG"));
        auto* item = new CIndexItem(FileRef(path));
        view->InsertItem(item, kInsertAtEnd, false, true);
        return item;
    }
    CIndexItem* AddCaptioned(const QString& name, const char* headline)
    {
        CIndexItem* item = AddFile(name);
        auto caption = std::make_unique<CANPAInfo>();
        caption->SetHeadline(LStr255(headline));
        caption->AddKeyword(LStr255("sea"));
        caption->SetModified(false);
        item->SetCaptionInfo(std::move(caption));
        return item;
    }
    // What showing an item's information does: the window is made and the item keeps it.
    CItemInfoWindow* Show(CIndexItem* item)
    {
        auto* window = dynamic_cast<CItemInfoWindow*>(LWindow::CreateWindow(kItemInfoWindowLayout, nullptr));
        EXPECT_NE(window, nullptr);
        window->SetIndexItem(item, &view->GetModel());
        item->SetInfoWindow(window);
        return window;
    }
    // A JPEG "<name>.jpg" whose IPTC block is `iim`, added at the end.
    CIndexItem* AddFileWithIIM(const QString& name, const QByteArray& iim)
    {
        const QString path = mDir + QLatin1Char('/') + name + QStringLiteral(".jpg");
        WriteJpegWithIIM(path, iim);
        auto* item = new CIndexItem(FileRef(path));
        view->InsertItem(item, kInsertAtEnd, false, true);
        return item;
    }
    // What the user does: a click on the tab, and in a field, select all and type.
    static void ClickTab(CItemInfoWindow* window, int tab)
    {
        auto* tabs = window->FindPaneByID('SMPT')->findChild<QTabBar*>();
        ASSERT_NE(tabs, nullptr);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab - 1).center());
    }
    static void TypeOver(CItemInfoWindow* window, PaneIDT pane, const QString& text)
    {
        auto* field = dynamic_cast<LEditText*>(window->FindPanelPane(pane));
        ASSERT_NE(field, nullptr) << pane;
        QLineEdit* edit = field->GetLineEdit();
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
    }
    // A copy of a camera's JPEG "<name>.jpg" added at the end and shown at the
    // caption tab, whose changes are written into the file.
    CItemInfoWindow* ShowCameraFileCaption(const QString& name, CIndexItem*& item)
    {
        SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), true);
        const QString path = mDir + QLatin1Char('/') + name + QStringLiteral(".jpg");
        EXPECT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        item = new CIndexItem(FileRef(path));
        view->InsertItem(item, kInsertAtEnd, false, true);
        CItemInfoWindow* window = Show(item);
        ClickTab(window, 2);
        return window;
    }
    static QString Text(CItemInfoWindow* window, PaneIDT pane)
    {
        LPane* found = window->FindPanelPane(pane);
        return found ? found->GetCFDescriptor() : QStringLiteral("<none>");
    }
    static void Type(CItemInfoWindow* window, PaneIDT pane, const QString& text)
    {
        LPane* found = window->FindPanelPane(pane);
        ASSERT_NE(found, nullptr) << pane;
        found->SetCFDescriptor(text);
    }
    static void Tab(CItemInfoWindow* window, SInt32 tab)
    {
        dynamic_cast<LControl*>(window->FindPaneByID('SMPT'))->SetValue(tab);
    }
    static bool Enabled(CItemInfoWindow* window, PaneIDT pane) { return window->FindPaneByID(pane)->IsEnabled(); }

    QString mDir;
};

TEST_F(ItemInfoWindowTest, PreviousAndNextStopAtTheEndsOfTheCurrentList)
{
    for (int i = 1; i <= 5; ++i)
        AddFile(QStringLiteral("p%1").arg(i));
    CIndexItem* first = nullptr;
    view->GetItemAt(1, first);
    CItemInfoWindow* window = Show(first);
    struct Step {
        MessageT message;
        SInt32 index;
        bool previous, next;
    };
    const Step steps[] = {
        { 0, 1, false, true },
        { msg_InfoPreviousItem, 1, false, true }, // nothing before the first
        { msg_InfoNextItem, 2, true, true },
        { msg_InfoNextItem, 3, true, true },
        { msg_InfoNextItem, 4, true, true },
        { msg_InfoNextItem, 5, true, false },
        { msg_InfoNextItem, 5, true, false }, // nothing after the last
        { msg_InfoPreviousItem, 4, true, true },
    };
    for (const Step& step : steps) {
        if (step.message)
            window->ListenToMessage(step.message, nullptr);
        EXPECT_EQ(window->GetItemIndex(), step.index);
        EXPECT_EQ(Enabled(window, 'prev'), step.previous) << step.index;
        EXPECT_EQ(Enabled(window, 'next'), step.next) << step.index;
        // The window goes with the item it shows.
        EXPECT_EQ(window->GetItem()->GetInfoWindow(), window);
        EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("p%1.jpg Info (%1/5)").arg(step.index));
    }
}

TEST_F(ItemInfoWindowTest, OneItemDisablesBothButtonsAndTheTitleCountsTheFilter)
{
    CIndexItem* only = AddFile(QStringLiteral("100%done")); // "%d" in a name takes no number
    CItemInfoWindow* window = Show(only);
    EXPECT_FALSE(Enabled(window, 'prev'));
    EXPECT_FALSE(Enabled(window, 'next'));
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("100%done.jpg Info (1/1)"));
    only->SetInfoWindow(nullptr);

    // Twelve items, two of them shown by a filter: the title counts the two.
    for (int i = 1; i <= 11; ++i)
        AddFile(QStringLiteral("more%1").arg(i));
    CIndexItem* shown = nullptr;
    view->GetItemAt(7, shown);
    view->GetModel().AddFoundItem(only);
    view->GetModel().AddFoundItem(shown);
    view->ShowFilter(nullptr, false, false);
    window = Show(shown);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("more6.jpg Info (2/2)"));
    EXPECT_TRUE(Enabled(window, 'prev'));
    EXPECT_FALSE(Enabled(window, 'next'));
}

TEST_F(ItemInfoWindowTest, EditsAreKeptAcrossTabsAndAppliedWhenTheItemIsLeft)
{
    CIndexItem* first = AddCaptioned(QStringLiteral("one"), "Harbour");
    AddFile(QStringLiteral("two"));
    CItemInfoWindow* window = Show(first);

    Tab(window, 2);
    EXPECT_EQ(Text(window, kFieldHeadline), QStringLiteral("Harbour"));
    Type(window, kFieldHeadline, QStringLiteral("Harbour at dawn"));
    Type(window, kFieldCaption, QStringLiteral("Boats leave the harbour. Café «Port» opens."));
    Tab(window, 4);
    EXPECT_EQ(dynamic_cast<LListBox*>(window->FindPanelPane(kFieldKeywords))->GetItems(), QStringList { "sea" });
    Type(window, 'nkey', QStringLiteral("boats"));
    window->ListenToMessage(msg_InfoAddRow, nullptr);
    Tab(window, 3);
    Type(window, kFieldCity, QStringLiteral("Kraków"));
    Tab(window, 2); // back: what was typed is still there
    EXPECT_EQ(Text(window, kFieldHeadline), QStringLiteral("Harbour at dawn"));
    EXPECT_TRUE(window->IsModified());
    EXPECT_EQ(first->GetCaptionInfo()->GetHeadline().ToQString(), QStringLiteral("Harbour")); // not yet applied

    window->ListenToMessage(msg_InfoNextItem, nullptr);
    const CANPAInfo* caption = first->GetCaptionInfo();
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->GetHeadline().ToQString(), QStringLiteral("Harbour at dawn"));
    EXPECT_EQ(IIMText::TextFromCaptionBytes(*caption->GetCaption()), QStringLiteral("Boats leave the harbour. Café «Port» opens."));
    EXPECT_EQ(IIMText::TextFromCaptionBytes(caption->GetCity().Bytes()), QStringLiteral("Kraków"));
    EXPECT_EQ(caption->GetKeywords().GetCount(), 2);
    EXPECT_TRUE(first->IsDirty());
    EXPECT_TRUE(view->IsModified());
}

TEST_F(ItemInfoWindowTest, ClosingUneditedLeavesTheCaptionRecordAsItWas)
{
    CIndexItem* item = AddCaptioned(QStringLiteral("still"), "Unchanged");
    CANPAInfo* before = item->GetCaptionInfo();
    const QByteArray bytes = before->GetDataHandle();
    CItemInfoWindow* window = Show(item);
    for (SInt32 tab = 1; tab <= 5; ++tab)
        Tab(window, tab);
    Tab(window, 1);
    window->DoClose();
    FlushDeletes();
    EXPECT_EQ(item->GetInfoWindow(), nullptr);
    EXPECT_EQ(item->GetCaptionInfo(), before); // the record was not replaced
    EXPECT_EQ(before->GetDataHandle(), bytes);
}

TEST_F(ItemInfoWindowTest, HiddenExtensionsRenameOnlyWhatTheUserTyped)
{
    CIndexItem* item = AddFile(QStringLiteral("photo"));
    CItemInfoWindow* window = Show(item);
    EXPECT_EQ(Text(window, kFieldName), QStringLiteral("photo"));
    Tab(window, 2);
    Tab(window, 1);
    Tab(window, 3);
    EXPECT_TRUE(QFile::exists(mDir + QStringLiteral("/photo.jpg")));
    EXPECT_EQ(item->GetName(), QStringLiteral("photo.jpg"));

    Tab(window, 1);
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), true); // a rename renames the file
    Type(window, kFieldName, QStringLiteral("harbour"));
    Tab(window, 2);
    EXPECT_EQ(item->GetName(), QStringLiteral("harbour.jpg"));
    EXPECT_TRUE(QFile::exists(mDir + QStringLiteral("/harbour.jpg")));
    EXPECT_FALSE(QFile::exists(mDir + QStringLiteral("/photo.jpg")));
}

TEST_F(ItemInfoWindowTest, AnItemWithoutCaptionStartsFromAnEmptyRecord)
{
    CIndexItem* item = AddFile(QStringLiteral("bare"));
    ASSERT_EQ(item->GetCaptionInfo(), nullptr);
    CItemInfoWindow* window = Show(item);
    Tab(window, 2);
    EXPECT_EQ(Text(window, kFieldCaption), QString());
    EXPECT_EQ(Text(window, kFieldHeadline), QString());
    EXPECT_FALSE(window->FindPanelPane(kFieldDateCreated)->IsVisible());
    Tab(window, 1);
    EXPECT_FALSE(window->IsModified());
    EXPECT_EQ(item->GetCaptionInfo(), nullptr);

    Tab(window, 2);
    window->SetDateNow(); // the date control appears, set to now
    EXPECT_TRUE(window->FindPanelPane(kFieldDateCreated)->IsVisible());
    Type(window, kFieldHeadline, QStringLiteral("First words"));
    window->DoClose();
    ASSERT_NE(item->GetCaptionInfo(), nullptr);
    EXPECT_EQ(item->GetCaptionInfo()->GetHeadline().ToQString(), QStringLiteral("First words"));
    EXPECT_NE(item->GetCaptionInfo()->GetDateCreated(), 0u);
}

// A caption in the character set its file was written in: changing the headline
// in the info window writes that field alone; every other text keeps what it
// says, and the file's declaration stays true of every text in it.
TEST_F(ItemInfoWindowTest, ChangingTheHeadlineLeavesTheFilesOtherTextsSayingWhatTheySaid)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), true);
    const QByteArray utf8Declaration("\x1B%G");
    struct Case {
        const char* name;
        QByteArray declaration; // 1:90, none when empty
        QByteArray city; // 2:90 and 2:80 as the file holds them
        QByteArray byline;
        QString shownCity; // what a declared set says; empty where the set is not known
        QByteArray declarationAfter;
        QByteArray cityAfter;
        QByteArray bylineAfter;
    } const cases[] = {
        // Windows-1251 and Shift-JIS, undeclared: no set can be known, so the bytes
        // stay and nothing is declared; the new headline is UTF-8.
        {"cyrillic", {}, "\xCC\xEE\xF1\xEA\xE2\xE0", "\xC8\xE2\xE0\xED", {}, {}, "\xCC\xEE\xF1\xEA\xE2\xE0",
            "\xC8\xE2\xE0\xED"},
        {"shift-jis", {}, "\x93\x8C\x8B\x9E", "\x8E\x52\x93\x63", {}, {}, "\x93\x8C\x8B\x9E", "\x8E\x52\x93\x63"},
        // ISO 8859-7 declared: read as Greek and kept as Greek, in UTF-8 now declared.
        {"greek", "\x1B-F", "\xC1\xE8\xDE\xED\xE1", "\xCD\xDF\xEA\xEF\xF2", QString::fromUtf8("Αθήνα"), utf8Declaration,
            QString::fromUtf8("Αθήνα").toUtf8(), QString::fromUtf8("Νίκος").toUtf8()},
        // JIS X 0208 declared: ISO-2022-JP texts, which switch between it and ASCII.
        {"japanese", "\x1B$B", "\x1B$BEl5~\x1B(B Tokyo", "\x1B$B;3ED\x1B(B", QString::fromUtf8("東京 Tokyo"), utf8Declaration,
            QString::fromUtf8("東京 Tokyo").toUtf8(), QString::fromUtf8("山田").toUtf8()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray iim;
        if (!c.declaration.isEmpty())
            iim += DataSet(1, 90, c.declaration);
        iim += DataSet(2, 0, QByteArray("\0\4", 2)) + DataSet(2, 80, c.byline) + DataSet(2, 90, c.city)
            + DataSet(2, 105, "Old");
        CIndexItem* item = AddFileWithIIM(QString::fromLatin1(c.name), iim);
        const QString path = item->GetURL().toLocalFile();

        CItemInfoWindow* window = Show(item);
        ClickTab(window, 3);
        const QString cityBefore = Text(window, kFieldCity);
        if (!c.shownCity.isEmpty())
            EXPECT_EQ(cityBefore, c.shownCity);
        ClickTab(window, 2);
        EXPECT_EQ(Text(window, kFieldHeadline), QStringLiteral("Old"));
        TypeOver(window, kFieldHeadline, QStringLiteral("New words"));
        window->DoClose(); // the edits are applied, and written into the file
        FlushDeletes();
        EXPECT_EQ(item->GetError(), nullptr);

        EXPECT_EQ(FileDataSets(path, 2, 105), std::vector<QByteArray>{"New words"});
        EXPECT_EQ(FileDataSets(path, 2, 90), std::vector<QByteArray>{c.cityAfter});
        EXPECT_EQ(FileDataSets(path, 2, 80), std::vector<QByteArray>{c.bylineAfter});
        const std::vector<QByteArray> declared = FileDataSets(path, 1, 90);
        EXPECT_EQ(declared, c.declarationAfter.isEmpty() ? std::vector<QByteArray>() : std::vector<QByteArray>{c.declarationAfter});
        // The exiv2 tool sees the same.
        EXPECT_EQ(ExivPrinted(path, "Iptc.Application2.City"), std::vector<QByteArray>{c.cityAfter});
        EXPECT_EQ(ExivPrinted(path, "Iptc.Application2.Headline"), std::vector<QByteArray>{"New words"});
        EXPECT_EQ(ExivPrinted(path, "Iptc.Envelope.CharacterSet").size(), declared.size());

        // Read again from the file, the city says what it said.
        CIndexItem again{FileRef(path)};
        EXPECT_EQ(again.CopyFieldString(kFieldCity, 0), cityBefore);
        EXPECT_EQ(again.CopyFieldString(kFieldHeadline, 0), QStringLiteral("New words"));
    }
}

TEST_F(ItemInfoWindowTest, AnEditTheFileCannotTakeIsReportedAndKeptInTheIndex)
{
    CIndexItem* item = nullptr;
    CItemInfoWindow* window = ShowCameraFileCaption(QStringLiteral("locked"), item);
    const QString path = item->GetURL().toLocalFile();
    const QByteArray before = ReadWholeFile(path);
    StReadOnlyFile readOnly(path);
    if (!readOnly.IsReadOnly())
        GTEST_SKIP() << "no way to lock a file for this user";
    Type(window, kFieldHeadline, QString::fromUtf8("Новый Νέα 東京"));
    std::vector<SErrorReport> reports;
    SetErrorNotificationPoster([&](const SErrorReport& report) { reports.push_back(report); });
    window->DoClose(); // the edits are applied; the file refuses them
    FlushDeletes();
    SetErrorNotificationPoster(nullptr);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(item->CopyFieldString(kFieldHeadline, 0), QString::fromUtf8("Новый Νέα 東京"));
    readOnly.Release();
    EXPECT_EQ(ReadWholeFile(path), before);
}

TEST_F(ItemInfoWindowTest, ACaptionLongerThanAFileHoldsIsCutAndTheUserIsTold)
{
    CIndexItem* item = AddFile(QStringLiteral("long"));
    CItemInfoWindow* window = Show(item);
    Tab(window, 2);
    // A Chinese character at the cut: kept whole or left out, never split.
    const QString typed = QString(1995, QLatin1Char('a')) + QStringLiteral("中") + QString(500, QLatin1Char('b'));
    Type(window, kFieldCaption, typed);
    StAlertAnswers answers(1);
    Tab(window, 1);
    ASSERT_EQ(answers.Texts().size(), 1);
    EXPECT_TRUE(answers.Texts().first().contains(QStringLiteral("2,000")));
    window->DoClose();
    const QByteArray* stored = item->GetCaptionInfo()->GetCaption();
    ASSERT_NE(stored, nullptr);
    EXPECT_LE(stored->size(), kMaxCaptionBytes);
    EXPECT_EQ(*stored, QByteArray(1995, 'a'));
}

TEST_F(ItemInfoWindowTest, TypedReferencesStayTheTextTheyAreInTheRecordTheIndexAndTheFile)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    CIndexItem* item = nullptr;
    CItemInfoWindow* window = ShowCameraFileCaption(QStringLiteral("typed"), item);
    const QString path = item->GetURL().toLocalFile();
    const QString typed = QStringLiteral("&#x4E2D; is &#x26; Tom & Jerry &#x41; &&#x141;");
    TypeOver(window, kFieldHeadline, typed);
    window->DoClose(); // applied, and written into the file
    FlushDeletes();
    EXPECT_EQ(item->GetError(), nullptr);

    const CANPAInfo* caption = item->GetCaptionInfo();
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(IIMText::TextFromCaptionBytes(caption->GetHeadline().Bytes()), typed);
    // The block the index keeps, read back.
    const CANPAInfo stored(caption->GetDataHandle());
    EXPECT_EQ(IIMText::TextFromCaptionBytes(stored.GetHeadline().Bytes()), typed);
    EXPECT_EQ(ExivPrinted(path, "Iptc.Application2.Headline"), std::vector<QByteArray> {typed.toUtf8()});
    // And shown again as typed.
    window = Show(item);
    ClickTab(window, 2);
    EXPECT_EQ(Text(window, kFieldHeadline), typed);
}

TEST_F(ItemInfoWindowTest, DateCreatedNowWritesTheTimeOfDayAsTimeCreated)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    CIndexItem* item = nullptr;
    CItemInfoWindow* window = ShowCameraFileCaption(QStringLiteral("now"), item);
    const QString path = item->GetURL().toLocalFile();
    auto* now = dynamic_cast<LControlPane*>(window->FindPanelPane('now '));
    ASSERT_NE(now, nullptr);
    QTest::mouseClick(static_cast<QPushButton*>(now->GetControlWidget()), Qt::LeftButton);
    auto* date = dynamic_cast<CDateTimeControl*>(window->FindPanelPane(kFieldDateCreated));
    ASSERT_NE(date, nullptr);
    ASSERT_TRUE(date->IsVisible());
    const UInt32 seconds = date->GetDateSeconds();
    const QDateTime shown = MacSecondsToDateTime(seconds);
    window->DoClose();
    FlushDeletes();
    EXPECT_EQ(item->GetError(), nullptr);

    ASSERT_NE(item->GetCaptionInfo(), nullptr);
    EXPECT_EQ(item->GetCaptionInfo()->GetDateCreated(), seconds);
    // The file holds the date and the time shown, the time with the zone it is in.
    const int offset = shown.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2:%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
    EXPECT_EQ(ExivPrinted(path, "Iptc.Application2.DateCreated"),
        std::vector<QByteArray> {shown.date().toString(Qt::ISODate).toLatin1()});
    EXPECT_EQ(ExivPrinted(path, "Iptc.Application2.TimeCreated"),
        std::vector<QByteArray> {(shown.time().toString(QStringLiteral("HH:mm:ss")) + zone).toLatin1()});
    // Read from the file again, the date created is the moment shown.
    EXPECT_EQ(CANPAInfo(item->GetURL()).GetDateCreated(), seconds);
}

TEST_F(ItemInfoWindowTest, CameraFilesShowTheEXIFTabAndPlainFilesDoNot)
{
    const QString camera = TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg"));
    ASSERT_TRUE(QFile::exists(camera));
    auto* withEXIF = new CIndexItem(FileRef(camera));
    view->InsertItem(withEXIF, kInsertAtEnd, false, true);
    AddFile(QStringLiteral("plain"));
    CItemInfoWindow* window = Show(withEXIF);
    auto* tabs = dynamic_cast<LTabsControl*>(window->FindPaneByID('SMPT'));
    EXPECT_EQ(tabs->CountTabs(), 6);
    Tab(window, 6);
    EXPECT_EQ(window->GetPanelID(), kInfoEXIFPanel);
    EXPECT_EQ(Text(window, kFieldMake), QStringLiteral("Canon"));
    window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/item-info-exif.png"));

    window->ListenToMessage(msg_InfoNextItem, nullptr); // no EXIF: back to the first panel, five tabs
    EXPECT_EQ(tabs->CountTabs(), 5);
    EXPECT_EQ(window->GetPanelID(), kInfoFilePanel);
    for (SInt32 tab = 1; tab <= 5; ++tab) {
        Tab(window, tab);
        window->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/item-info-%1.png").arg(tab));
    }
}

TEST_F(ItemInfoWindowTest, SteppingShowsTheEXIFValuesOfEachItemAndClearsThoseItLacks)
{
    for (const char* name : { "exif-samples/jpg/Canon_40D.jpg", "exif-samples/jpg/Sony_HDR-HC3.jpg" })
        view->InsertItem(new CIndexItem(FileRef(TestDataPath(QString::fromLatin1(name)))), kInsertAtEnd, false, true);
    CIndexItem* canon = nullptr;
    view->GetItemAt(1, canon);
    CItemInfoWindow* window = Show(canon);
    Tab(window, 6);
    // What the pane holds and what its label shows, for the first and the second item.
    struct Row {
        SInt32 key;
        QString canon;
        QString sony;
    };
    const Row rows[] = {
        { kFieldMake, QStringLiteral("Canon"), QStringLiteral("SONY") },
        { kFieldISOSpeed, QStringLiteral("100"), QStringLiteral("-") },
        { kFieldSoftware, QStringLiteral("GIMP 2.4.5"), QStringLiteral("-") },
        { kFieldMaxAperture, QStringLiteral("-"), QStringLiteral("f1.8") },
    };
    auto shown = [&](PaneIDT key) {
        auto* pane = dynamic_cast<LStaticText*>(window->FindPanelPane(key));
        return pane ? static_cast<QLabel*>(pane->GetControlWidget())->text() : QStringLiteral("<none>");
    };
    for (const MessageT step : { MessageT(msg_Nothing), MessageT(msg_InfoNextItem), MessageT(msg_InfoPreviousItem) }) {
        if (step != msg_Nothing)
            window->ListenToMessage(step, nullptr);
        ASSERT_EQ(window->GetPanelID(), kInfoEXIFPanel);
        const bool second = step == msg_InfoNextItem;
        for (const Row& row : rows) {
            EXPECT_EQ(Text(window, row.key), second ? row.sony : row.canon) << row.key << " after " << step;
            EXPECT_EQ(shown(row.key), second ? row.sony : row.canon) << row.key << " after " << step;
        }
    }
    EXPECT_EQ(window->GetCaptionCopy(), nullptr); // no caption panel was shown: the caption was not copied
}

} // namespace

// Characters beyond the basic plane come from the window system as one key whose
// text is two UTF-16 units: typed so into the headline, the city and the keyword
// entry, each field keeps them, and the caption keeps them once applied.
TEST_F(ItemInfoWindowTest, CharactersBeyondTheBasicPlaneAreKeptInSingleLineFields)
{
    struct Field {
        SInt32 tab;
        PaneIDT pane;
    };
    const std::vector<Field> fields { { 2, kFieldHeadline }, { 3, kFieldCity }, { 4, 'nkey' } };
    const QString typed = QString::fromUtf8("Port 🚢 at dawn 🌅𝄞");
    CIndexItem* item = AddCaptioned(QStringLiteral("one"), "Harbour");
    AddFile(QStringLiteral("two"));
    CItemInfoWindow* window = Show(item);
    for (const Field& field : fields) {
        SCOPED_TRACE(field.pane);
        ClickTab(window, field.tab);
        auto* pane = dynamic_cast<LEditText*>(window->FindPanelPane(field.pane));
        ASSERT_NE(pane, nullptr);
        QLineEdit* edit = pane->GetLineEdit();
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        for (const char32_t character : typed.toUcs4())
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString::fromUcs4(&character, 1), Qt::NoModifier);
        EXPECT_EQ(edit->text(), typed);
    }
    QTest::mouseClick(dynamic_cast<LControlPane*>(window->FindPanelPane('add '))->GetControlWidget(), Qt::LeftButton);

    window->ListenToMessage(msg_InfoNextItem, nullptr); // applied
    const CANPAInfo* caption = item->GetCaptionInfo();
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(IIMText::TextFromCaptionBytes(caption->GetHeadline().Bytes()), typed);
    EXPECT_EQ(IIMText::TextFromCaptionBytes(caption->GetCity().Bytes()), typed);
    QStringList keywords;
    for (SInt32 i = 1; i <= caption->GetKeywords().GetCount(); ++i)
        keywords << IIMText::TextFromCaptionBytes(caption->GetKeywords()[i].Bytes());
    EXPECT_EQ(keywords.size(), 2);
    EXPECT_TRUE(keywords.contains(typed));
}
