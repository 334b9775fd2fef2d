#include "CANPAInfo.h"
#include "CExportFilesTask.h"
#include "CExportXMLTask.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "ErrorReport.h"
#include "BundleStrings.h"
#include "ExivTestFiles.h"
#include "FieldDictionaryKeys.h"
#include "FieldKeys.h"
#include "FileErrors.h"
#include "FourCharCode.h"
#include "GraphicsExporter.h"
#include "IPTCFileWriter.h"
#include "LDialogBox.h"
#include "LocalizedStrings.h"
#include "LStdControls.h"
#include "PropertyList.h"
#include "ReadOnlyFile.h"
#include "TaskTestSupport.h"
#include "TestDNG.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <set>
#include <sys/resource.h>

namespace {

const QString kPrefKeys[] = {QStringLiteral("DefaultExportType"), QStringLiteral("ExportUseNaturalBounds"),
    QStringLiteral("DefaultExportWidth"), QStringLiteral("DefaultExportHeigth"),
    QStringLiteral("ExportPreserveMetaData"), QStringLiteral("ExportAddToIndex"),
    QStringLiteral("RawUseEmbeddedImage"), QStringLiteral("RawRenderHalfSize"),
    QStringLiteral("kPRExportUseDefaultResolution"), QStringLiteral("kPRDefaultExportResolution")};

QString Sample(const char* relative)
{
    return TestDataPath(QString::fromLatin1(relative));
}

// The keys whose values differ, for a readable failure.
QStringList DifferingKeys(const QVariantMap& a, const QVariantMap& b)
{
    QStringList keys;
    for (const QString& key : a.keys() + b.keys()) {
        if (a.value(key) != b.value(key) && !keys.contains(key))
            keys << key + QLatin1Char('=') + a.value(key).toString() + QLatin1Char('/') + b.value(key).toString();
    }
    return keys;
}

QSize ImageSize(const QString& path)
{
    return QImageReader(path).size();
}

// What the exiv2 tool prints of a file's maker note, Interop directory and user
// comment ("Exif.Canon.OwnerName  Ascii  32  ..." lines: the tag's type, count and
// value as read with the file's own offsets and byte order), and its warnings.
struct ExivReading {
    std::string lines;
    std::string warnings;
};

ExivReading ReadMakerNoteInteropAndComment(const QString& path)
{
    QProcess tool;
    tool.start(QStringLiteral("exiv2"), {QStringLiteral("-pa"), path});
    EXPECT_TRUE(tool.waitForFinished(30000));
    ExivReading reading;
    reading.warnings = tool.readAllStandardError().toStdString();
    // The main directories come from the item's own records; where the maker
    // note lies (Exif.MakerNote.Offset) is the writer's.
    static const QRegularExpression other(QStringLiteral("^Exif\\.(Image|Photo|Thumbnail|GPSInfo|MakerNote)\\."));
    for (const QString& line : QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Exif.")) && (!other.match(line).hasMatch()
            || line.startsWith(QLatin1String("Exif.Photo.UserComment "))))
            reading.lines += line.toStdString() + '\n';
    }
    return reading;
}

class ExportTasksTest : public TaskTest {
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        folder = TestTempDir() + QStringLiteral("/export");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        SetErrorNotificationPoster([this](const SErrorReport& report) { reports.push_back(report); });
    }
    void TearDown() override
    {
        SetErrorNotificationPoster(nullptr);
        owner_.DeleteItems();
        for (const QString& key : kPrefKeys)
            SetPrefDefault(key);
        TaskTest::TearDown();
    }

    // An item as the cache task leaves it: its EXIF read, which turns it upright.
    CIndexItem* AddItem(const QString& path)
    {
        auto* item = new CIndexItem(QUrl::fromLocalFile(path));
        item->GetEXIFInfo();
        owner_.model.InsertItem(item, kInsertAtEnd);
        return item;
    }

    void RunToEnd(CVisualTask* task)
    {
        const ThreadID id = task->GetID();
        task->Start();
        ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 30000));
    }

    // Exports every item of the owner into the folder (or the one item to `file`).
    void Export(OSType type, const QString& file = QString())
    {
        SetPrefNumber(QStringLiteral("DefaultExportType"), SInt32(type));
        auto* task = new CExportFilesTask(601, 37, owner_.model, nullptr);
        for (CIndexItem* item : owner_.Items())
            task->InsertItem(item, kInsertAtEnd);
        task->SetDestination(folder);
        task->SetOutputFile(file);
        RunToEnd(task);
    }

    bool Reported(SInt16 message) const
    {
        return std::any_of(reports.begin(), reports.end(),
            [&](const SErrorReport& r) { return r.listID == 500 && r.messageIndex == message; });
    }

    // The one item exported as the user does it: the save dialog opened, Options…
    // clicked and `resolution` typed there (OK), then `name` typed and Return.
    QString ExportThroughTheDialogs(CIndexItem* item, const QString& resolution, const QString& name)
    {
        auto* task = new CExportFilesTask(601, 37, owner_.model, nullptr);
        task->InsertItem(item, kInsertAtEnd);
        task->AskDestination();
        QFileDialog* dialog = task->GetDialog();
        EXPECT_NE(dialog, nullptr);
        if (!dialog)
            return {};
        // Each step is an event of its own, as the user's keys and clicks are.
        bool typed = false;
        QTimer::singleShot(0, [&] {
            LDialogBox* options = nullptr;
            for (LWindow* window : LWindow::FetchWindows()) {
                if (auto* found = dynamic_cast<LDialogBox*>(window); found && found->IsVisible())
                    options = found;
            }
            ASSERT_NE(options, nullptr);
            auto* field = dynamic_cast<LEditText*>(options->FindPaneByID(kPaneExportResolution));
            ASSERT_NE(field, nullptr);
            field->GetLineEdit()->selectAll();
            QTest::keyClicks(field->GetLineEdit(), resolution);
            typed = true;
            QTimer::singleShot(0, [options] {
                auto* ok = dynamic_cast<LControlPane*>(options->FindPaneByID(2));
                ASSERT_NE(ok, nullptr);
                static_cast<QPushButton*>(ok->GetControlWidget())->click();
            });
        });
        QTest::mouseClick(task->GetOptionsButton(), Qt::LeftButton);
        EXPECT_TRUE(typed);
        dialog->setDirectory(folder);
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        EXPECT_NE(field, nullptr);
        if (!field)
            return {};
        field->selectAll();
        QTest::keyClicks(field, name);
        const ThreadID id = task->GetID();
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 30000));
        return folder + QLatin1Char('/') + name + QStringLiteral(".jpg");
    }

    QString folder;
    std::vector<SErrorReport> reports;
};

} // namespace

TEST_F(ExportTasksTest, EachSampleExportsWithItsCaptionAndTurnedUpright)
{
    // The defaults (metadata kept) with every writable format: no item fails for
    // a format without IPTC nor for an item without a caption.
    for (const OSType type : GraphicsExporter::AvailableTypes()) {
        SCOPED_TRACE(FourCharCodeToQString(type).toStdString());
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        owner_.DeleteItems();
        reports.clear();
        AddItem(Sample("exiftool-images/IPTC.jpg"));
        AddItem(Sample("exiftool-images/PNG.png"));
        AddItem(WriteTestDNG(TestTempDir() + QStringLiteral("/DNG.dng"), 64, 64, 16));
        AddItem(Sample("exif-samples/jpg/orientation/landscape_6.jpg"));
        Export(type);
        for (CIndexItem* item : owner_.Items())
            EXPECT_EQ(item->GetError(), nullptr) << item->GetName().toStdString() << " " << item->GetError()->GetCode();
        EXPECT_FALSE(Reported(47));

        std::unique_ptr<GraphicsExporter> exporter;
        ASSERT_EQ(GraphicsExporter::Open(type, exporter), noErr);
        const QString ext = QLatin1Char('.') + exporter->DefaultExtensionText();
        const QString captioned = folder + QStringLiteral("/IPTC") + ext;
        ASSERT_TRUE(QFileInfo::exists(captioned));
        for (const char* name : {"PNG", "DNG", "landscape_6"})
            EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(name) + ext)) << name;
        if (CanWriteIPTCIntoFileType(type)) {
            const auto captions = FileIPTCValues(captioned, "Iptc.Application2.Caption");
            ASSERT_EQ(captions.size(), 1u);
            EXPECT_EQ(captions[0], "A witty caption");
        }
        // Stored 450 x 600 with the turn in its EXIF: written 600 x 450 and upright.
        const QSize turned = ImageSize(folder + QStringLiteral("/landscape_6") + ext);
        if (turned.isValid())
            EXPECT_EQ(turned, QSize(600, 450));
    }
}

TEST_F(ExportTasksTest, TheResolutionTypedInTheOptionsAndEveryCaptionDatasetReachTheFile)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    SetPrefNumber(QStringLiteral("DefaultExportType"), SInt32('JPEG'));
    SetPrefBoolean(QStringLiteral("ExportPreserveMetaData"), true);
    // A camera's JPEG (EXIF at 72 dpi) with a caption of two creators, the time of
    // day, the digitization and a sub-location.
    const QString source = SampleWithExivCommands(QStringLiteral("harbour.jpg"),
        "add Iptc.Application2.Caption String Boats at dawn\n"
        "add Iptc.Application2.Byline String Ann Lee\n"
        "add Iptc.Application2.Byline String Bo \xC5\x81" "ada\n"
        "add Iptc.Application2.DateCreated Date 2004-02-26\n"
        "add Iptc.Application2.TimeCreated Time 14:30:15+02:00\n"
        "add Iptc.Application2.DigitizationDate Date 2004-02-27\n"
        "add Iptc.Application2.DigitizationTime Time 09:05:00+00:00\n"
        "add Iptc.Application2.SubLocation String Harbour Street\n"
        "add Iptc.Application2.City String Kingston\n");
    CIndexItem* item = AddItem(source);
    const QString out = ExportThroughTheDialogs(item, QStringLiteral("150"), QStringLiteral("harbour-150"));
    ASSERT_TRUE(QFileInfo::exists(out)) << out.toStdString();
    EXPECT_EQ(item->GetError(), nullptr);
    EXPECT_FALSE(GetPrefBoolean(QStringLiteral("kPRExportUseDefaultResolution")));
    EXPECT_EQ(GetPrefNumber(QStringLiteral("kPRDefaultExportResolution")), 150);

    // 150 dpi wherever a reader looks: the JPEG's own density and the EXIF's.
    const QImage image(out);
    EXPECT_EQ(std::lround(image.dotsPerMeterX() * 0.0254), 150);
    EXPECT_EQ(std::lround(image.dotsPerMeterY() * 0.0254), 150);
    EXPECT_EQ(ExivPrinted(out, "Exif.Image.XResolution", "-pv"), std::vector<QByteArray> {"150/1"});
    EXPECT_EQ(ExivPrinted(out, "Exif.Image.YResolution", "-pv"), std::vector<QByteArray> {"150/1"});
    EXPECT_EQ(ExivPrinted(out, "Exif.Image.ResolutionUnit", "-pv"), std::vector<QByteArray> {"2"});

    // Every dataset the item's caption holds, each as its own dataset.
    for (const char* key : {"Caption", "Byline", "DateCreated", "TimeCreated", "DigitizationDate", "DigitizationTime",
             "SubLocation", "City"}) {
        const QByteArray full = QByteArray("Iptc.Application2.") + key;
        EXPECT_EQ(ExivPrinted(out, full), ExivPrinted(source, full)) << key;
    }
    EXPECT_EQ(ExivPrinted(out, "Iptc.Application2.Byline"), (std::vector<QByteArray> {"Ann Lee", "Bo \xC5\x81" "ada"}));
    EXPECT_EQ(ExivPrinted(out, "Iptc.Envelope.CharacterSet").size(), 1u); // UTF-8, declared
}

TEST_F(ExportTasksTest, CameraMakerNoteInteropAndUnicodeCommentReadTheSameInTheExport)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    SetPrefBoolean(QStringLiteral("ExportPreserveMetaData"), true);
    // Canon camera JPEGs (little-endian EXIF, offsets in the maker note counted
    // from the EXIF's start); one given a UCS-2 user comment.
    const QString commented = SampleWithExivCommands(QStringLiteral("commented.jpg"),
        "set Exif.Photo.UserComment charset=Unicode Gr\xC3\xBC\xC3\x9F" "e \xE2\x98\x83\n",
        QStringLiteral("exif-samples/jpg/Canon_DIGITAL_IXUS_400.jpg"));
    // A big-endian EXIF with one too, exported little-endian.
    const QString bigEndian = SampleWithExivCommands(QStringLiteral("big-endian.jpg"),
        "set Exif.Photo.UserComment charset=Unicode \xE2\x98\x83 Gr\xC3\xBC\xC3\x9F" "e\n",
        QStringLiteral("exif-samples/jpg/long_description.jpg"));
    struct Case {
        QString source;
        OSType type;
        bool makerNote;
    } const cases[] = {
        {commented, 'JPEG', true},
        {commented, 'TIFF', true},
        {Sample("exiftool-images/Canon.jpg"), 'JPEG', true},
        {bigEndian, 'JPEG', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((QFileInfo(c.source).fileName() + QLatin1Char(' ') + FourCharCodeToQString(c.type)).toStdString());
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        owner_.DeleteItems();
        AddItem(c.source);
        const QString out = folder + QStringLiteral("/out");
        Export(c.type, out);
        ASSERT_TRUE(QFileInfo::exists(out));
        const ExivReading source = ReadMakerNoteInteropAndComment(c.source);
        const ExivReading exported = ReadMakerNoteInteropAndComment(out);
        ASSERT_EQ(source.lines.find("Exif.Canon.OwnerName ") != std::string::npos, c.makerNote);
        EXPECT_EQ(exported.warnings, source.warnings);
        EXPECT_EQ(exported.lines, source.lines);
    }
}

TEST_F(ExportTasksTest, SizeIsFittedOnlyIntoABoxOfTwoSides)
{
    struct Case {
        bool natural;
        SInt32 width, height;
        QSize expected;
    } const cases[] = {
        {false, 300, 300, QSize(300, 225)},
        {false, 1200, 900, QSize(1200, 900)}, // always scaled, up too
        {false, 0, 500, QSize(600, 450)},
        {true, 300, 300, QSize(600, 450)},
    };
    AddItem(Sample("exif-samples/jpg/orientation/landscape_6.jpg"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        SetPrefBoolean(QStringLiteral("ExportUseNaturalBounds"), c.natural);
        SetPrefNumber(QStringLiteral("DefaultExportWidth"), c.width);
        SetPrefNumber(QStringLiteral("DefaultExportHeigth"), c.height);
        const QString out = folder + QStringLiteral("/out.png");
        QFile::remove(out);
        Export('PNGf', out);
        EXPECT_EQ(ImageSize(out), c.expected);
    }
}

TEST_F(ExportTasksTest, RawIsExportedAtFullSizeWithoutTouchingThePreferences)
{
    SetPrefBoolean(QStringLiteral("RawUseEmbeddedImage"), true);
    SetPrefBoolean(QStringLiteral("RawRenderHalfSize"), true);
    AddItem(WriteTestDNG(TestTempDir() + QStringLiteral("/sensor.dng"), 64, 64, 16));
    const QString out = folder + QStringLiteral("/sensor.tif");
    Export('TIFF', out);
    EXPECT_EQ(ImageSize(out), QSize(64, 64)); // not the 16-pixel preview, not half size
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("RawUseEmbeddedImage")));
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("RawRenderHalfSize")));
}

TEST_F(ExportTasksTest, NeverReplacesTheItemsOwnFileNorAnotherFile)
{
    const QString own = folder + QStringLiteral("/photo.jpg");
    ASSERT_TRUE(QFile::copy(Sample("exiftool-images/IPTC.jpg"), own));
    QFile original(own);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    AddItem(own);

    // Named in the save dialog as its own file, to be replaced.
    Export('JPEG', own);
    EXPECT_EQ(reports.size(), 1u);
    // Into its own folder, where its name is taken.
    Export('JPEG');
    ASSERT_NE(owner_.Items()[0]->GetError(), nullptr);
    EXPECT_EQ(owner_.Items()[0]->GetError()->GetCode(), kExportNameTakenErr);
    EXPECT_TRUE(Reported(47));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), bytes);
}

TEST_F(ExportTasksTest, NamesAreMadeSafeAndACollisionFailsOnlyTheSecond)
{
    CIndexItem* first = AddItem(Sample("exiftool-images/PNG.png"));
    CIndexItem* second = AddItem(Sample("exiftool-images/GIF.gif"));
    CIndexItem* slashed = AddItem(Sample("exiftool-images/BMP.bmp"));
    first->SetName(QStringLiteral("same.png"));
    second->SetName(QStringLiteral("same"));
    slashed->SetName(QStringLiteral("../up/and:out"));
    SetPrefBoolean(QStringLiteral("ExportAddToIndex"), true);
    Export('PNGf');
    EXPECT_EQ(first->GetError(), nullptr);
    ASSERT_NE(second->GetError(), nullptr);
    EXPECT_EQ(second->GetError()->GetCode(), kExportNameTakenErr);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList {QStringLiteral("_._up_and.png"), QStringLiteral("same.png")}));
    ASSERT_EQ(owner_.Items().size(), 5u); // the two written files were added, selected
    EXPECT_EQ(owner_.GetModel().SelectedItems(), (std::vector<CIndexItem*> { owner_.Items()[3], owner_.Items()[4] }));
}

TEST_F(ExportTasksTest, AFullDiskLeavesNoFileUnderTheFinalName)
{
    // The file-size limit in this process (the task's workers do not cross a
    // fork): every write past 64 KB fails as on a full disk.
    AddItem(Sample("exif-samples/jpg/orientation/landscape_6.jpg"));
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Export('TIFF');
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_NE(owner_.Items()[0]->GetError(), nullptr);
    EXPECT_EQ(owner_.Items()[0]->GetError()->GetCode(), dskFulErr);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(ExportTasksTest, SaveDialogOffersEveryFormatAndTheTypedNameTakesItsExtension)
{
    AddItem(Sample("exiftool-images/IPTC.jpg"));
    auto* task = new CExportFilesTask(601, 37, owner_.model, nullptr);
    task->InsertItem(owner_.Items()[0], kInsertAtEnd);
    task->AskDestination();
    QFileDialog* dialog = task->GetDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(task->GetFormatPopup()->count(), GraphicsExporter::AvailableTypes().size());
    task->SelectExporter('PNGf');
    const auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), QStringLiteral("IPTC.png"));
    EXPECT_EQ(GetPrefNumber(QStringLiteral("DefaultExportType")), SInt32('PNGf'));
    dialog->setDirectory(folder);
    dialog->selectFile(QStringLiteral("typed"));
    const ThreadID id = task->GetID();
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 30000));
    EXPECT_EQ(ImageSize(folder + QStringLiteral("/typed.png")), QSize(8, 8));
}

TEST_F(ExportTasksTest, OptionsDialogSavesTheBoxOnlyWithBothSides)
{
    StDialogHandler handler(kExportOptionsDialog, nullptr);
    LDialogBox& dialog = *handler.GetDialog();
    ExportSettings settings = ExportSettings::Read();
    CExportFilesTask::FillOptionsDialog(dialog, settings, nullptr);
    dialog.FindPaneByID(kPaneExportCustomSize)->SetValue(1);
    dialog.FindPaneByID(kPaneExportWidth)->SetCFDescriptor(QStringLiteral("0"));
    dialog.FindPaneByID(kPaneExportAddToIndex)->SetValue(1);
    CExportFilesTask::ReadOptionsDialog(dialog, settings).SaveOptions();
    EXPECT_FALSE(GetPrefBoolean(QStringLiteral("ExportUseNaturalBounds")));
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("ExportAddToIndex")));
    EXPECT_EQ(GetPrefNumber(QStringLiteral("DefaultExportWidth")), settings.width); // kept: a side was 0
}

// --- XML ------------------------------------------------------------------------------

TEST_F(ExportTasksTest, XMLHoldsTheIndexAndEachItemsFieldsInListOrder)
{
    for (const char* name : {"exiftool-images/IPTC.jpg", "exiftool-images/PNG.png", "exiftool-images/GIF.gif"})
        AddItem(Sample(name));
    const QString path = folder + QStringLiteral("/index.xml");
    struct Case {
        std::vector<CIndexItem*> items;
        IndexXMLData index;
        QStringList indexKeys;
    } const cases[] = {
        {owner_.Items(), {QStringLiteral("Photos"), QStringLiteral("https://example.org/"), QString(), false},
            {QStringLiteral("IndexName"), QStringLiteral("IndexURL")}},
        {{owner_.Items()[2], owner_.Items()[0]}, {QStringLiteral("Photos"), QString(), QStringLiteral("Two"), true},
            {QStringLiteral("IndexCaption"), QStringLiteral("IndexName")}},
        {{}, {QStringLiteral("Empty"), QString(), QString(), false}, {QStringLiteral("IndexName")}},
    };
    const FieldDictionaryKeys fields = FieldDictionaryKeys::Load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items.size());
        auto* task = new CExportXMLTask(601, 48, owner_.model, c.index);
        for (CIndexItem* item : c.items)
            task->InsertItem(item, kInsertAtEnd);
        task->SetFile(path);
        RunToEnd(task);
        EXPECT_FALSE(owner_.model.IsBusy());
        QVariant read;
        ASSERT_EQ(PropertyList::ReadFile(path, read), noErr);
        const QVariantMap top = read.toMap();
        EXPECT_EQ(top.keys(), (QStringList {QStringLiteral("Company URL"), QStringLiteral("Copyright Notice"),
                                  QStringLiteral("IndexData"), QStringLiteral("IndexMediaList")}));
        EXPECT_EQ(top.value(QStringLiteral("IndexData")).toMap().keys(), c.indexKeys);
        const QVariantList list = top.value(QStringLiteral("IndexMediaList")).toList();
        ASSERT_EQ(list.size(), qsizetype(c.items.size()));
        for (size_t i = 0; i < c.items.size(); ++i)
            EXPECT_EQ(DifferingKeys(list[qsizetype(i)].toMap(), c.items[i]->CopyFieldDictionary(fields, SInt32(i + 1))),
                QStringList()) << i;
    }
    EXPECT_EQ(CExportXMLTask::DefaultFileName(QStringLiteral("Holiday.idxp")), QStringLiteral("Holiday.xml"));
    EXPECT_EQ(CExportXMLTask::DefaultFileName(QStringLiteral("Holiday")), QStringLiteral("Holiday.xml"));
}

// What goes wrong in an export is told in words: a folder the user may not write
// into says so, and an item's failure reads in the file as what failed and why.
TEST_F(ExportTasksTest, XMLExportTellsItsFailuresInWords)
{
    // A picture cut short inside its data: reading it fails as damaged.
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    const QString damagedPath = folder + QStringLiteral("/damaged.png");
    ASSERT_TRUE(picture.save(damagedPath, "PNG") && QFile::resize(damagedPath, 60));
    auto* damaged = new CIndexItem(QUrl::fromLocalFile(damagedPath));
    owner_.model.InsertItem(damaged, kInsertAtEnd);
    CatchCode([&] { damaged->GetImageInfo(); });
    ASSERT_NE(damaged->GetError(), nullptr);
    const SInt32 code = damaged->GetError()->GetCode();

    const QString locked = folder + QStringLiteral("/locked");
    QDir().mkpath(locked);
    StReadOnlyFile lockedFolder(locked);
    ASSERT_TRUE(lockedFolder.IsReadOnly());
    struct Case {
        QString file;
        const char* reported; // the text the user reads, none when the export is written
    } const cases[] = {
        {locked + QStringLiteral("/index.xml"), "700:5"},
        {folder + QStringLiteral("/index.xml"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        reports.clear();
        auto* task = new CExportXMLTask(601, 48, owner_.model, {QStringLiteral("Photos"), {}, {}, false});
        task->InsertItem(damaged, kInsertAtEnd);
        task->SetFile(c.file);
        RunToEnd(task);
        if (c.reported) {
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_EQ(CopyLocalizedCFString(reports[0].listID, reports[0].messageIndex),
                BundleLocalizedString(QLatin1String(c.reported)));
            EXPECT_FALSE(QFileInfo::exists(c.file));
            continue;
        }
        EXPECT_TRUE(reports.empty());
        QVariant read;
        ASSERT_EQ(PropertyList::ReadFile(c.file, read), noErr);
        const QVariantMap fields = read.toMap().value(QStringLiteral("IndexMediaList")).toList().value(0).toMap();
        const QString error = fields.value(CopyFieldName(kFieldError)).toString();
        EXPECT_TRUE(error.contains(damaged->GetError()->GetMessage())) << error.toStdString();
        EXPECT_TRUE(error.contains(GetErrorText(code))) << error.toStdString();
        EXPECT_FALSE(error.contains(QString::number(code))) << error.toStdString();
    }
}

TEST_F(ExportTasksTest, XMLCancelledKeepsTheOldFileAndAStopLowersTheBusyMark)
{
    const QString path = folder + QStringLiteral("/index.xml");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    for (int i = 0; i < 300; ++i)
        AddItem(Sample("exiftool-images/PNG.png"));

    auto* cancelled = new CExportXMLTask(601, 48, owner_.model, {QStringLiteral("Photos"), {}, {}, false});
    cancelled->AskForFile(nullptr);
    cancelled->GetDialog()->reject();
    ASSERT_TRUE(RunUntil([] { return CVisualTask::GetAllTasks().empty(); }));

    auto* stopped = new CExportXMLTask(601, 48, owner_.model, {QStringLiteral("Photos"), {}, {}, false});
    for (CIndexItem* item : owner_.Items())
        stopped->InsertItem(item, kInsertAtEnd);
    stopped->SetFile(path);
    SetTaskSlice(0);
    stopped->Start();
    ASSERT_TRUE(RunUntil([&] { return owner_.model.IsBusy(); }));
    stopped->Stop();
    ASSERT_TRUE(RunUntil([] { return CVisualTask::GetAllTasks().empty(); }));
    EXPECT_FALSE(owner_.model.IsBusy());
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
}

TEST_F(ExportTasksTest, XMLIsWellFormedForACamerasOddVersionAndACaptionWithControlCharacters)
{
    if (!HasExivTool() || QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
        GTEST_SKIP() << "exiv2 or xmllint is not installed";
    // A camera's JPEG whose Flashpix version holds bytes that are no digits (as
    // some action cameras write it), with a caption holding control characters.
    const QString odd = SampleWithExivCommands(QStringLiteral("odd.jpg"),
        "set Exif.Photo.FlashpixVersion Undefined 8 9 10 11\n"
        "set Iptc.Application2.Caption String Line one\x0BLine two\x01\x1F end\n");
    AddItem(odd);
    AddItem(Sample("exif-samples/jpg/Canon_40D.jpg"));

    auto* task = new CExportXMLTask(601, 48, owner_.model, {QStringLiteral("Photos"), {}, {}, false});
    for (CIndexItem* item : owner_.Items())
        task->InsertItem(item, kInsertAtEnd);
    task->AskForFile(nullptr);
    QFileDialog* dialog = task->GetDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->setDirectory(folder);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("photos.xml"));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(RunUntil([] { return CVisualTask::GetAllTasks().empty(); }, 30000));
    const QString path = folder + QStringLiteral("/photos.xml");
    ASSERT_TRUE(QFileInfo::exists(path));

    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();

    QVariant read;
    ASSERT_EQ(PropertyList::ReadFile(path, read), noErr);
    const QVariantList list = read.toMap().value(QStringLiteral("IndexMediaList")).toList();
    ASSERT_EQ(list.size(), 2);
    const FieldDictionaryKeys fields = FieldDictionaryKeys::Load();
    const QVariantMap oddFields = list[0].toMap();
    const QVariantMap cameraFields = list[1].toMap();
    auto nameOf = [&](SInt32 key) {
        for (const auto& field : fields.Fields()) {
            if (field.key == key)
                return field.name;
        }
        return QString();
    };
    const QString captionKey = nameOf(kFieldCaption);
    const QString flashpixKey = nameOf(kFieldFlashpixVersion);
    ASSERT_FALSE(captionKey.isEmpty());
    ASSERT_FALSE(flashpixKey.isEmpty());
    // The line break stays one; what no XML file may hold is left out.
    EXPECT_EQ(oddFields.value(captionKey).toString(), QStringLiteral("Line one\nLine two end"));
    // A version of bytes that are no digits is no version; a camera's own reads as one.
    EXPECT_EQ(oddFields.value(flashpixKey).toString(), QString());
    EXPECT_EQ(cameraFields.value(flashpixKey).toString(), QStringLiteral("1.0"));
}

TEST(FieldDictionaryKeys, FieldMenuNamesAreUniqueKeysOfTheXML)
{
    std::set<QString> names;
    const FieldDictionaryKeys keys = FieldDictionaryKeys::Load();
    ASSERT_GT(keys.Fields().size(), 40u);
    for (const auto& field : keys.Fields())
        EXPECT_TRUE(names.insert(field.name).second) << field.name.toStdString() << " " << field.key;
}
