// The item's operations on its media file: captions written into copies of real
// JPEG and TIFF files (checked with the exiv2 tool), the caption removed, a file
// found again by name, changes since the item was added, drag data.

#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FieldKeys.h"
#include "FileRef.h"
#include "FinderPreview.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "MediaViewerServices.h"
#include "Picture.h"
#include "Preferences.h"
#include "ReadOnlyFile.h"
#include "TestIndexView.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>
#include <ctime>
#include <fcntl.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace {

constexpr uint16_t kUnknownDataSet = 240; // no dataset of the standard's record 2
constexpr int kUnknownDataSetSize = 300;

QString FreshCopy(const QString& sample, const QString& name)
{
    const QString dir = TestTempDir() + QStringLiteral("/fileops");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(TestDataPath(sample), path)) << sample.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

// IPTC the program does not manage: an envelope dataset and a long dataset of a
// number record 2 does not define; and an urgency of 5 and a headline it does.
void AddForeignIPTC(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Exiv2::IptcData& iptc = image->iptcData();
    iptc["Iptc.Envelope.Destination"] = "Desk 7";
    iptc["Iptc.Application2.Headline"] = "Old headline";
    iptc["Iptc.Application2.Urgency"] = "5";
    Exiv2::DataValue unknown(Exiv2::undefined);
    const QByteArray bytes(kUnknownDataSetSize, 'u');
    unknown.read(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
    iptc.add(Exiv2::IptcKey(kUnknownDataSet, 2), &unknown);
    image->writeMetadata();
}

QString Exiv(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("exiv2"), arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The `exiv2 -u -pi` line of a dataset (unknown ones shown too), split into key,
// type, size and value.
QStringList IptcLine(const QString& path, const QString& key)
{
    for (const QString& line : Exiv({QStringLiteral("-u"), QStringLiteral("-pi"), path}).split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char(' ')))
            return line.simplified().split(QLatin1Char(' '));
    }
    return {};
}

// The EXIF the file holds, less what a TIFF file's layout changes with its IPTC:
// the tags that carry the IPTC and where the pixel data now starts.
QString ExifOf(const QString& path)
{
    QStringList lines = Exiv({QStringLiteral("-pe"), path}).split(QLatin1Char('\n'));
    lines.removeIf([](const QString& line) {
        for (const char* layout : {"Exif.Image.IPTCNAA ", "Exif.Image.ImageResources ", "Exif.Image.StripOffsets ",
                 "Exif.Image.TileOffsets "})
            if (line.startsWith(QLatin1String(layout)))
                return true;
        return false;
    });
    return lines.join(QLatin1Char('\n'));
}

SInt64 ModificationTime(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return SInt64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

void SetModificationTime(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

class ItemFileOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
            GTEST_SKIP() << "exiv2 is not installed";
    }

    // Writes a new headline through the field and checks the file kept the rest.
    void CheckWriteBack(const QString& path)
    {
        AddForeignIPTC(path);
        const QString exifBefore = ExifOf(path);
        ASSERT_FALSE(exifBefore.isEmpty());
        const QImage pixelsBefore(path);
        SetModificationTime(path, 1500000000);
        const SInt64 dateBefore = ModificationTime(path);

        CIndexItem item {FileRef(path)};
        ASSERT_EQ(item.SetFieldValue(kFieldHeadline, QStringLiteral("Harbour at dusk")), noErr);
        EXPECT_EQ(item.GetError(), nullptr);

        EXPECT_EQ(IptcLine(path, QStringLiteral("Iptc.Application2.Headline")).mid(3).join(QLatin1Char(' ')),
            QStringLiteral("Harbour at dusk"));
        EXPECT_EQ(IptcLine(path, QStringLiteral("Iptc.Envelope.Destination")).mid(3).join(QLatin1Char(' ')),
            QStringLiteral("Desk 7"));
        const QStringList unknown = IptcLine(path, QStringLiteral("Iptc.Application2.0x00f0"));
        ASSERT_GE(unknown.size(), 3);
        EXPECT_EQ(unknown[2].toInt(), kUnknownDataSetSize);
        const QStringList urgency = IptcLine(path, QStringLiteral("Iptc.Application2.Urgency"));
        ASSERT_EQ(urgency.size(), 4);
        EXPECT_EQ(urgency[2], QStringLiteral("1"));
        EXPECT_EQ(urgency[3], QStringLiteral("5")); // the digit, not a binary byte
        EXPECT_EQ(ExifOf(path).toStdString(), exifBefore.toStdString());
        EXPECT_EQ(QImage(path), pixelsBefore);
        EXPECT_EQ(ModificationTime(path), dateBefore);
        // No caption resource beside a file that holds its caption itself.
        QByteArray resource;
        EXPECT_NE(ReadFileResource(FileRef(path), 'ANPA', 10000, resource), noErr);
    }

    StTempPrefBoolean mToFile {QStringLiteral("ApplyChangesToMediaFile"), true};
    TestIndexView mView;
};

} // namespace

TEST_F(ItemFileOps, CaptionGoesIntoJPEGKeepingEverythingElse)
{
    CheckWriteBack(FreshCopy(QStringLiteral("exif-samples/jpg/Canon_40D.jpg"), QStringLiteral("canon.jpg")));
}

TEST_F(ItemFileOps, CaptionGoesIntoTIFFKeepingEverythingElse)
{
    CheckWriteBack(FreshCopy(QStringLiteral("exiftool-images/ExifTool.tif"), QStringLiteral("exiftool.tif")));
}

TEST_F(ItemFileOps, ReadOnlyFileRefusesTheCaptionAndStaysAsItWas)
{
    const QString path = FreshCopy(QStringLiteral("exif-samples/jpg/Nikon_D70.jpg"), QStringLiteral("locked.jpg"));
    const QByteArray before = ReadWholeFile(path);
    CIndexItem item {FileRef(path)};
    StReadOnlyFile readOnly(path);
    if (!readOnly.IsReadOnly())
        GTEST_SKIP() << "no way to make a file read-only for this user";
    // The catalogue takes the change; the file refuses it, and the item and the caller say so.
    EXPECT_NE(item.SetFieldValue(kFieldHeadline, QStringLiteral("New")), noErr);
    EXPECT_EQ(item.CopyFieldString(kFieldHeadline, 0), QStringLiteral("New"));
    ASSERT_NE(item.GetError(), nullptr);
    EXPECT_NE(item.GetError()->GetCode(), noErr);
    EXPECT_EQ(item.GetError()->GetMessage(), CopyLocalizedString(QStringLiteral("600:60")));
    EXPECT_NE(item.WriteCaptionToMediaFile(), noErr);
    readOnly.Release();
    EXPECT_EQ(ReadWholeFile(path), before);
    QByteArray resource;
    EXPECT_NE(ReadFileResource(FileRef(path), 'ANPA', 10000, resource), noErr);
}

TEST_F(ItemFileOps, FilesWithoutIPTCGetTheCaptionResource)
{
    const QString path = FreshCopy(QStringLiteral("exiftool-images/GIF.gif"), QStringLiteral("picture.gif"));
    SetModificationTime(path, 1500000000);
    const QByteArray before = ReadWholeFile(path);
    CIndexItem item {FileRef(path)};
    ASSERT_EQ(item.SetFieldValue(kFieldCity, QStringLiteral("Oslo")), noErr);
    QByteArray block;
    ASSERT_EQ(ReadFileResource(FileRef(path), 'ANPA', 10000, block), noErr);
    EXPECT_EQ(PStringToQString(CANPAInfo(block).GetCity()), QStringLiteral("Oslo"));
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_EQ(ModificationTime(path), SInt64(1500000000) * 1000000000);

    // Removing the caption from the file takes the resource away too.
    item.RemoveCaption(true);
    EXPECT_EQ(item.GetCaptionInfo(), nullptr);
    EXPECT_NE(ReadFileResource(FileRef(path), 'ANPA', 10000, block), noErr);
}

TEST_F(ItemFileOps, RemovingTheCaptionFromAJPEGKeepsItsOtherIPTC)
{
    const QString path = FreshCopy(QStringLiteral("exiftool-images/IPTC.jpg"), QStringLiteral("iptc.jpg"));
    AddForeignIPTC(path);
    CIndexItem item {FileRef(path)};
    ASSERT_NE(item.GetCaptionInfo(), nullptr);
    item.RemoveCaption(true);
    EXPECT_EQ(item.GetError(), nullptr);
    EXPECT_TRUE(IptcLine(path, QStringLiteral("Iptc.Application2.Caption")).isEmpty());
    EXPECT_TRUE(IptcLine(path, QStringLiteral("Iptc.Application2.Headline")).isEmpty());
    EXPECT_FALSE(IptcLine(path, QStringLiteral("Iptc.Envelope.Destination")).isEmpty());
    EXPECT_FALSE(IptcLine(path, QStringLiteral("Iptc.Application2.0x00f0")).isEmpty());
}

TEST(ItemLocate, FileFoundByNameOnlyWhenItIsTheSameFile)
{
    const QString base = TestTempDir() + QStringLiteral("/relink");
    for (const char* dir : {"/old", "/same", "/other"})
        QDir().mkpath(base + QLatin1String(dir));
    const QString original = base + QStringLiteral("/old/photo.jpg");
    QFile::remove(original);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), original));
    SetModificationTime(original, 1400000000);
    CIndexItem item {FileRef(original)};
    ASSERT_NE(item.GetAlias(), nullptr);
    const QByteArray oldAlias = *item.GetAlias();

    // Another file of the same name: not taken, the alias stays.
    QFile::remove(base + QStringLiteral("/other/photo.jpg"));
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Nikon_D70.jpg")), base + QStringLiteral("/other/photo.jpg")));
    SetModificationTime(base + QStringLiteral("/other/photo.jpg"), 1400000000);
    // The same file, copied with its date.
    QFile::remove(base + QStringLiteral("/same/photo.jpg"));
    ASSERT_TRUE(QFile::copy(original, base + QStringLiteral("/same/photo.jpg")));
    SetModificationTime(base + QStringLiteral("/same/photo.jpg"), 1400000000);
    ASSERT_TRUE(QFile::remove(original));

    CIndexItem::RememberLocateFolder(QUrl::fromLocalFile(base + QStringLiteral("/other")));
    EXPECT_TRUE(item.LocateFile(false).isEmpty());
    ASSERT_NE(item.GetAlias(), nullptr);
    EXPECT_EQ(*item.GetAlias(), oldAlias);

    CIndexItem::RememberLocateFolder(QUrl::fromLocalFile(base + QStringLiteral("/same")));
    EXPECT_EQ(item.LocateFile(false), QUrl::fromLocalFile(base + QStringLiteral("/same/photo.jpg")));
    AliasRecord record;
    ASSERT_EQ(AliasRecord::FromBytes(*item.GetAlias(), record), noErr);
    EXPECT_EQ(record.Path(), base + QStringLiteral("/same/photo.jpg"));
    CIndexItem::ForgetLocateFolder();
}

TEST(ItemChanges, FileDatesAndTheDateAddedCompareInOneZone)
{
    // A zone far from universal time shows a comparison of unlike clocks.
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Pacific/Kiritimati");
    tzset();
    const QString path = TestTempDir() + QStringLiteral("/changed.jpg");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
    const time_t modified = 1700000000;
    SetModificationTime(path, modified);
    CIndexItem item {FileRef(path)};
    const UInt32 modifiedLocal = DateTimeToMacSeconds(QDateTime::fromSecsSinceEpoch(modified));
    item.SetDateAdded(modifiedLocal - 3600); // added an hour before the change
    EXPECT_TRUE(item.IsFileChangedSinceAdded());
    item.SetDateAdded(modifiedLocal + 3600);
    EXPECT_FALSE(item.IsFileChangedSinceAdded());
    if (savedZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();
}

TEST(ItemDrag, FlavoursRoundTripAndForgedItemsAreRefused)
{
    const QString path = TestTempDir() + QStringLiteral("/dragged.jpg");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
    CIndexItem item {FileRef(path)};
    CIndexItem other {FileRef(path)};
    auto find = [&](UInt64 sequence) -> CIndexItem* {
        for (CIndexItem* candidate : {&item, &other})
            if (candidate->GetSequenceNumber() == sequence)
                return candidate;
        return nullptr;
    };

    QMimeData drag;
    item.AddDragFlavors(drag, 42);
    ASSERT_EQ(drag.urls().size(), 1);
    EXPECT_EQ(drag.urls().front(), QUrl::fromLocalFile(path));
    EXPECT_TRUE(drag.hasFormat(QStringLiteral("text/uri-list")));
    SInt32 callerValue = 0;
    EXPECT_EQ(CIndexItem::FindDraggedItem(drag, find, &callerValue), &item);
    EXPECT_EQ(callerValue, 42);

    // The same flavour naming no item, cut short, or from another run.
    const QString flavor = QStringLiteral("application/x-orvex-item");
    QByteArray bytes = drag.data(flavor);
    QMimeData forged;
    QByteArray noItem = bytes;
    noItem[23] = char(noItem[23] ^ 0x5A);
    noItem[22] = char(noItem[22] ^ 0x5A);
    forged.setData(flavor, noItem);
    EXPECT_EQ(CIndexItem::FindDraggedItem(forged, find), nullptr);
    forged.setData(flavor, bytes.left(12));
    EXPECT_EQ(CIndexItem::FindDraggedItem(forged, find), nullptr);
    QByteArray otherRun = bytes;
    otherRun[11] = char(otherRun[11] ^ 0x01);
    forged.setData(flavor, otherRun);
    EXPECT_EQ(CIndexItem::FindDraggedItem(forged, find), nullptr);
    QMimeData plain;
    plain.setUrls({QUrl::fromLocalFile(path)});
    EXPECT_EQ(CIndexItem::FindDraggedItem(plain, find), nullptr);

    // An item without a file still gives its own flavour.
    CIndexItem remote {QUrl(QStringLiteral("http://example.org/a.jpg"))};
    QMimeData remoteDrag;
    EXPECT_TRUE(remote.AddDragItem(remoteDrag));
    EXPECT_TRUE(remoteDrag.hasFormat(flavor));
}

TEST(ItemErrorAlert, TextsNameTheItemAndTheError)
{
    CIndexItem item {QUrl(QStringLiteral("http://example.org/photos/harbour.jpg"))};
    QString prompt;
    QString explanation;
    item.CopyErrorAlertTexts(prompt, explanation);
    EXPECT_TRUE(prompt.isEmpty());
    item.SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:50")));
    item.CopyErrorAlertTexts(prompt, explanation);
    EXPECT_TRUE(prompt.contains(QStringLiteral("harbour"))) << prompt.toStdString();
    EXPECT_TRUE(explanation.contains(QStringLiteral("-43"))) << explanation.toStdString();
    EXPECT_TRUE(explanation.contains(item.GetError()->GetMessage())) << explanation.toStdString();
    EXPECT_FALSE(explanation.endsWith(QChar('\n')));
    // A caught failure's reason says what exactly failed.
    item.SetError(std::make_unique<CItemError>(ExceptionCode(-39, "harbour.jpg: the file ends at byte 312"), QString(),
        QStringLiteral("600:50")));
    item.CopyErrorAlertTexts(prompt, explanation);
    EXPECT_TRUE(explanation.contains(QStringLiteral("-39"))) << explanation.toStdString();
    EXPECT_TRUE(explanation.endsWith(QStringLiteral("\nharbour.jpg: the file ends at byte 312"))) << explanation.toStdString();
}

TEST(ItemPictures, ClipboardPreviewAndIconRoundTrips)
{
    const QString path = TestTempDir() + QStringLiteral("/pictures.jpg");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    SetModificationTime(path, 1500000000);
    CIndexItem item {FileRef(path)};

    // Nothing to paste: the message number says so and the item keeps its picture.
    QGuiApplication::clipboard()->setText(QStringLiteral("not a picture"));
    try {
        item.PasteThumbnail(false);
        ADD_FAILURE() << "pasting text must fail";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), 100061);
    }

    // A picture pasted replaces the thumbnail and marks it for a new file.
    QImage green(40, 30, QImage::Format_RGB32);
    green.fill(QColor(0, 160, 0));
    QGuiApplication::clipboard()->setImage(green);
    item.SetThumbnailNumber(12);
    item.PasteThumbnail(false);
    EXPECT_EQ(item.GetThumbnailNumber(), -12);
    ASSERT_NE(item.GetThumbnail(), nullptr);
    EXPECT_EQ(ToQRect(item.GetThumbnail()->Frame()).size(), QSize(40, 30));

    // Copied back, the thumbnail is what the clipboard holds.
    QGuiApplication::clipboard()->clear();
    item.CopyToClipboard(true);
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(40, 30));
    EXPECT_EQ(copied.pixelColor(20, 15), QColor(0, 160, 0));

    // The thumbnail as the file's preview and icon; the file keeps its date.
    ASSERT_EQ(item.AddPreviewToMediaFile(), noErr);
    Picture preview;
    ASSERT_EQ(ReadFilePreview(FileRef(path), preview), noErr);
    EXPECT_EQ(ToQRect(preview.Frame()).size(), QSize(40, 30));
    EXPECT_EQ(item.UseThumbnailAsFileIcon(), noErr);
    QByteArray icon;
    EXPECT_EQ(ReadFileResource(FileRef(path), 'icns', -16455, icon), noErr);
    EXPECT_TRUE(QImage::fromData(icon).size().isValid());
    EXPECT_EQ(ModificationTime(path), SInt64(1500000000) * 1000000000);

    // A file that cannot be written answers its code without an item error.
    StReadOnlyFile readOnly(path);
    if (readOnly.IsReadOnly()) {
        item.SetError(nullptr);
        EXPECT_NE(item.AddPreviewToMediaFile(), noErr);
        EXPECT_EQ(item.GetError(), nullptr);
    }
}

namespace {

// The media viewer as the catalogue sees it: records what it was asked to print.
class TestViewer : public MediaViewerServices {
public:
    void PrintItem(CIndexItem& item, IndexViewServices*, bool withDialog) override
    {
        printed = &item;
        printDialog = withDialog;
    }
    CIndexItem* printed = nullptr;
    bool printDialog = false;
};

class StViewer {
public:
    explicit StViewer(MediaViewerServices* viewer) { SetMediaViewerServices(viewer); }
    ~StViewer() { SetMediaViewerServices(nullptr); }
};

} // namespace

TEST(ItemViewers, OpeningIsToldByTheIndexAndPrintingGoesToTheViewer)
{
    const QString path = TestTempDir() + QStringLiteral("/viewed.jpg");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
    CIndexItem item {FileRef(path)};
    TestIndexView view;

    // Without an index there is nothing to open the item from.
    EXPECT_EQ(CatchCode([&] { item.OpenInViewer(3, nullptr, true); }), err_NilPointer);

    // The index tells whoever opens items, once for each opening.
    CIndexModel index;
    std::vector<std::tuple<SInt32, CIndexItem*, bool>> opened;
    QObject::connect(&index, &CIndexModel::itemActivated,
        [&](SInt32 at, CIndexItem* which, bool windowed) { opened.emplace_back(at, which, windowed); });
    item.OpenInViewer(3, &index, true);
    item.OpenInViewer(0, &index, false);
    EXPECT_EQ(opened, (std::vector<std::tuple<SInt32, CIndexItem*, bool>> { { 3, &item, true }, { 0, &item, false } }));

    TestViewer viewer;
    StViewer installed(&viewer);
    item.PrintInMediaWindow(&view);
    EXPECT_EQ(viewer.printed, &item);
    EXPECT_TRUE(viewer.printDialog);

    // The whole picture onto the clipboard, not only the thumbnail.
    QGuiApplication::clipboard()->clear();
    item.CopyToClipboard(false);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QImage(path).size());
}

TEST(ItemViewers, MediaThatDoesNotValidateLeavesTheItemsErrorAlone)
{
    const QString path = TestTempDir() + QStringLiteral("/broken.jpg");
    QFile broken(path);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("\xFF\xD8\xFF\xE0 no picture follows", 22));
    broken.close();
    CIndexItem item {FileRef(path)};
    item.SetError(std::make_unique<CItemError>(-36, QString(), QStringLiteral("600:47")));
    EXPECT_EQ(item.CopyFieldString(kFieldMediaValidates, 0), CopyLocalizedCFString(602, 14));
    ASSERT_NE(item.GetError(), nullptr);
    EXPECT_EQ(item.GetError()->GetCode(), -36);

    // A file gone is no valid medium, and no dialog asks for it.
    QFile::remove(path);
    EXPECT_FALSE(item.ValidateMedia());
}
