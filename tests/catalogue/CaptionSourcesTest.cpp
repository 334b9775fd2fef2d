#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "IndexDbRecord.h"
#include "LStream.h"
#include "TaskServices.h"

#include "ExceptionCode.h"
#include "ImageMetadata.h"
#include "MacDates.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserData.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace {

QByteArray DataSet(UInt8 number, const QByteArray& data, UInt8 record = 2)
{
    QByteArray bytes;
    bytes.append(char(0x1C)).append(char(record)).append(char(number));
    bytes.append(char(data.size() >> 8)).append(char(data.size() & 0xFF));
    return bytes + data;
}

// An 'iptc' item: 12 bytes of its own header, then the IIM block.
QByteArray IPTCItem(const QByteArray& block)
{
    return QByteArray(12, '\x01') + block;
}

template <typename Source>
OSStatus CaptionCode(const Source& source)
{
    try {
        CANPAInfo info(source);
        EXPECT_FALSE(info.IsModified());
    } catch (const ExceptionCode& e) {
        return e.Code();
    }
    return noErr;
}

class CaptionsFromUserData : public ::testing::Test {
protected:
    void SetUp() override { SetPrefBoolean("AppendUnknownMetaDataToCaptionText", false); }
    void TearDown() override { SetPrefBoolean("AppendUnknownMetaDataToCaptionText", false); }

    void AddText(const char (&letters)[4], const QByteArray& text)
    {
        const OSType type = UserDataTextType(letters);
        ASSERT_EQ(userData.AddUserDataText(text, type, userData.CountUserDataType(type) + 1, 0), noErr);
    }

    UserData userData;
};

} // namespace

TEST_F(CaptionsFromUserData, NothingUsableIsRefused)
{
    EXPECT_EQ(CaptionCode(static_cast<const UserData*>(nullptr)), err_NilPointer);
    EXPECT_EQ(CaptionCode(&userData), err_AssertFailed);
    userData.AddUserData(QByteArray(12, 'h'), 'iptc');
    userData.AddUserData("0220", EXIFUserDataType(0x9000));
    EXPECT_EQ(CaptionCode(&userData), err_AssertFailed);
    EXPECT_EQ(CANPAInfo::FromUserData(userData), nullptr) << "refused without an exception";
    AddText("src", "Agency");
    const std::unique_ptr<CANPAInfo> taken = CANPAInfo::FromUserData(userData);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->GetSource(), LStr255("Agency"));
    EXPECT_FALSE(taken->IsModified());
}

TEST_F(CaptionsFromUserData, BlockComesFirstAndTextsFillWhatIsEmpty)
{
    userData.AddUserData(IPTCItem(DataSet(80, "Block Name") + DataSet(25, "sea")), 'iptc');
    AddText("aut", "Text Name");
    AddText("cpy", "(c) Ann");
    AddText("cpy", "(c) Bob");
    AddText("key", "sea");
    AddText("key", "sun");
    AddText("src", "Agency");
    AddText("wrt", "Ed");
    AddText("req", "Embargo");
    AddText("day", "2004-05-06");

    CANPAInfo info(&userData);
    EXPECT_FALSE(info.IsModified());
    EXPECT_EQ(info.GetByline(), LStr255("Block Name"));
    EXPECT_EQ(info.GetSupplementalCategories().GetCount(), 0);
    EXPECT_EQ(info.GetCopyrightNotice(), LStr255("(c) Ann"));
    EXPECT_EQ(info.GetKeywords().GetCount(), 2);
    EXPECT_EQ(info.GetSource(), LStr255("Agency"));
    EXPECT_EQ(info.GetWriterEditor(), LStr255("Ed"));
    EXPECT_EQ(info.GetSpecialInstructions(), LStr255("Embargo"));
    EXPECT_EQ(MacSecondsToDateTime(info.GetDateCreated()).date(), QDate(2004, 5, 6));
}

TEST_F(CaptionsFromUserData, AuthorAloneGivesBylineAndCategory)
{
    AddText("aut", "Ann");
    AddText("aut", "Bob");
    CANPAInfo info(&userData);
    EXPECT_EQ(info.GetByline(), LStr255("Ann"));
    ASSERT_EQ(info.GetSupplementalCategories().GetCount(), 1);
    EXPECT_EQ(info.GetSupplementalCategoryAt(1), LStr255("Ann"));
}

TEST_F(CaptionsFromUserData, CommentsJoinWithoutSeparatorInTypeOrder)
{
    AddText("cmt", "one");
    AddText("inf", "two");
    AddText("cmt", "three");
    CANPAInfo info(&userData);
    ASSERT_NE(info.GetCaption(), nullptr);
    EXPECT_EQ(*info.GetCaption(), "onethreetwo");
}

TEST_F(CaptionsFromUserData, UnknownTextTypesFollowThePreference)
{
    AddText("nam", "Title");
    EXPECT_EQ(CaptionCode(&userData), err_AssertFailed);

    SetPrefBoolean("AppendUnknownMetaDataToCaptionText", true);
    CANPAInfo alone(&userData);
    EXPECT_EQ(*alone.GetCaption(), QByteArray("\xA9nam: Title"));

    // After a caption, an unknown text starts a line of its own.
    UserData withComment;
    withComment.AddUserDataText("Comment", UserDataTextType("cmt"), 1, 0);
    withComment.AddUserDataText("Title", UserDataTextType("nam"), 1, 0);
    CANPAInfo joined(&withComment);
    EXPECT_EQ(*joined.GetCaption(), QByteArray("Comment\r\xA9nam: Title"));
}

TEST_F(CaptionsFromUserData, CutIPTCBlockEndsWithTheReadError)
{
    userData.AddUserData(IPTCItem(DataSet(80, "Name") + QByteArray::fromHex("1c02")), 'iptc');
    EXPECT_EQ(CaptionCode(&userData), -19);
}

namespace {

// A small JPEG with the given IPTC datasets written by Exiv2.
QString WriteJPEGWithIPTC(const QString& name, const std::vector<std::pair<std::string, std::string>>& datasets)
{
    const QString path = TestTempDir() + "/" + name;
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::blue);
    EXPECT_TRUE(image.save(path, "JPEG"));
    auto file = Exiv2::ImageFactory::open(std::string(QFile::encodeName(path)));
    file->readMetadata();
    Exiv2::IptcData iptc;
    for (const auto& [key, value] : datasets)
        iptc[key] = value;
    file->setIptcData(iptc);
    file->writeMetadata();
    return path;
}

// "Iptc.Application2.Keywords  String  3  sea" lines of `exiv2 -pi`, by key.
std::multimap<QString, QByteArray> Exiv2ToolIPTC(const QString& path)
{
    QProcess tool;
    tool.start("exiv2", {"-pi", path});
    tool.waitForFinished(30000);
    std::multimap<QString, QByteArray> values;
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n')) {
        const QRegularExpression pattern("^Iptc\\.Application2\\.(\\w+)\\s+\\w+\\s+(\\d+)\\s\\s(.*)$");
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(line));
        if (match.hasMatch())
            values.emplace(match.captured(1), match.captured(3).toLatin1());
    }
    return values;
}

} // namespace

TEST(CaptionsFromImageFiles, ReadsRecordTwoThroughExiv2)
{
    const QString path = WriteJPEGWithIPTC("caption.jpg",
        {{"Iptc.Application2.Caption", "A blue square"}, {"Iptc.Application2.Byline", "Ann"},
            {"Iptc.Application2.Urgency", "3"}, {"Iptc.Application2.DateCreated", "2004-05-06"}});
    CANPAInfo info(QUrl::fromLocalFile(path));
    EXPECT_FALSE(info.IsModified());
    EXPECT_EQ(*info.GetCaption(), "A blue square");
    EXPECT_EQ(info.GetByline(), LStr255("Ann"));
    EXPECT_EQ(info.GetUrgency(), 3); // the ASCII digit files hold
    EXPECT_EQ(MacSecondsToDateTime(info.GetDateCreated()).date(), QDate(2004, 5, 6));
}

TEST(CaptionsFromImageFiles, NoCaptionIsRefused)
{
    const QString envelopeOnly = WriteJPEGWithIPTC("envelope.jpg", {{"Iptc.Envelope.CharacterSet", "\x1b%G"}});
    EXPECT_EQ(CaptionCode(QUrl::fromLocalFile(envelopeOnly)), err_AssertFailed);
    EXPECT_EQ(CaptionCode(QUrl::fromLocalFile(WriteJPEGWithIPTC("none.jpg", {}))), err_AssertFailed);
    EXPECT_EQ(CaptionCode(QUrl::fromLocalFile(TestTempDir() + "/missing.jpg")), err_AssertFailed);
    EXPECT_EQ(CaptionCode(QUrl("http://example.com/a.jpg")), err_AssertFailed);
    QFile text(TestTempDir() + "/text.jpg");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not an image");
    text.close();
    EXPECT_EQ(CaptionCode(QUrl::fromLocalFile(text.fileName())), err_AssertFailed);
}

// Every sample file gives a caption or 'asrt', and a caption agrees with what
// the exiv2 tool prints for the same file.
TEST(CaptionsFromImageFiles, EverySampleFileGivesACaptionOrNone)
{
    int files = 0, captions = 0;
    for (const QString& folder : {TestDataPath("exif-samples"), TestDataPath("exiftool-images")}) {
        QDirIterator it(folder, {"*.jpg", "*.JPG", "*.tif", "*.tiff"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            ++files;
            std::unique_ptr<CANPAInfo> info;
            try {
                info = std::make_unique<CANPAInfo>(QUrl::fromLocalFile(path));
            } catch (const ExceptionCode& e) {
                EXPECT_EQ(e.Code(), err_AssertFailed) << path.toStdString();
                continue;
            }
            ++captions;
            const auto expected = Exiv2ToolIPTC(path);
            auto one = [&](const char* key) {
                auto found = expected.find(key);
                return found == expected.end() ? QByteArray() : found->second.left(255);
            };
            EXPECT_EQ(info->GetByline().Bytes(), one("Byline")) << path.toStdString();
            EXPECT_EQ(info->GetHeadline().Bytes(), one("Headline")) << path.toStdString();
            EXPECT_EQ(info->GetCity().Bytes(), one("City")) << path.toStdString();
            EXPECT_EQ(info->GetObjectName().Bytes(), one("ObjectName")) << path.toStdString();
            EXPECT_EQ(info->GetCopyrightNotice().Bytes(), one("Copyright")) << path.toStdString();
            EXPECT_EQ(info->GetCaption() ? info->GetCaption()->simplified() : QByteArray(),
                one("Caption").simplified())
                << path.toStdString();
            for (auto [it, end] = expected.equal_range("Keywords"); it != end; ++it) {
                Str255 keyword;
                keyword.AssignBytes(it->second);
                EXPECT_TRUE(info->HasKeyword(keyword)) << path.toStdString() << " " << it->second.toStdString();
            }
        }
    }
    EXPECT_GT(files, 40);
    EXPECT_GE(captions, 5);
}

TEST(CaptionsFromImageFiles, AnItemBeingDrawnNeverReadsItsFileAndGetsItsCaptionAfter)
{
    const QString path = WriteJPEGWithIPTC("drawn.jpg", {{"Iptc.Application2.Caption", "Read later"}});
    CIndexItem item(QUrl::fromLocalFile(path));
    // Shown in an index, whose views draw it again once it has what it asked for.
    CIndexModel index;
    index.InsertItem(&item, kInsertAtEnd, ItemInsert::Filling);
    const auto release = qScopeGuard([&] { index.TakeAllItems(); });
    int redrawn = 0;
    QObject::connect(
        &index, &CIndexModel::itemChanged, [&](CIndexItem* changed, SInt32) { redrawn += changed == &item; });
    {
        const StDrawingItems drawing;
        EXPECT_EQ(item.GetCaptionInfo(), nullptr);
        EXPECT_EQ(item.GetEXIFInfo(), nullptr);
    }
    // The drawing is over: the event loop reads what it asked for.
    ProcessEventsFor(50);
    EXPECT_EQ(redrawn, 1) << "the index is told once, for both parts read";
    {
        const StDrawingItems drawing;
        ASSERT_NE(item.GetCaptionInfo(), nullptr);
        EXPECT_EQ(*item.GetCaptionInfo()->GetCaption(), "Read later");
    }
}

TEST(CaptionsFromImageFiles, APipeOrADeviceNamedLikeAPhotographIsNeverOpened)
{
    const QString pipe = TestTempDir() + "/x.jpg";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = TestTempDir() + "/zero.jpg";
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    // In a child with a time limit: a reader that waits on the pipe would hold it for good.
    for (const QString& path : {pipe, zero}) {
        const auto result = RunInChildWithin(10, [&] {
            return qint32(CanCarryImageMetadata(path)) * 2 + qint32(CaptionCode(QUrl::fromLocalFile(path)) == err_AssertFailed);
        });
        ASSERT_TRUE(result) << path.toStdString() << " held its reader";
        EXPECT_EQ(*result, 1) << path.toStdString();
    }
}

// A record written into a package takes the caption from the metadata its medium
// read: the same caption, byte for byte, as an item reading it from the file.
TEST(CaptionsFromImageFiles, ARecordWrittenHasTheCaptionTheFileGives)
{
    CIndexPackage package(QUrl::fromLocalFile(TestTempDir() + "/captions.idxp"), nullptr);
    QStringList files = {WriteJPEGWithIPTC("written-caption.jpg",
                             {{"Iptc.Application2.Caption", "A blue square"}, {"Iptc.Application2.Byline", "Ann"}}),
        WriteJPEGWithIPTC("written-envelope.jpg", {{"Iptc.Envelope.CharacterSet", "\x1b%G"}})};
    QDirIterator it(TestDataPath("exif-samples/jpg"), {"*.jpg"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    int captions = 0;
    for (const QString& file : files) {
        const QUrl url = QUrl::fromLocalFile(file);
        SCOPED_TRACE(url.toLocalFile().toStdString());
        CIndexItem reader(url);
        std::optional<QByteArray> expected;
        if (CatchCode([&] {
                if (CANPAInfo* caption = reader.GetCaptionInfo())
                    expected = caption->GetDataHandle();
            }) != noErr)
            continue; // a file whose medium cannot be opened
        // As a package's record names it before its first save: nothing read yet.
        IndexDbRecord stored;
        stored.name = url.fileName().toUtf8();
        stored.fileURL = url.toEncoded();
        stored.fields = CatalogueFields {'JPEG', 1000, 3000000000u, 3000000000u, 3000000000u, 1, 0};
        CIndexItem written(stored, &package);
        LDataStream stream;
        if (CatchCode([&] { written.WriteToStream(stream, package); }) != noErr)
            continue;
        const UInt8* pos = reinterpret_cast<const UInt8*>(stream.Data().constData());
        IndexDbRecord record;
        ASSERT_EQ(ParseIndexDbRecord(pos, pos + stream.Data().size(), record), noErr);
        EXPECT_EQ(record.caption, expected);
        captions += expected ? 1 : 0;
    }
    EXPECT_GE(captions, 3);
}
