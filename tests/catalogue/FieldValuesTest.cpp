// Setting fields from texts: round trips of every writable key, the results for
// bad text.

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FileErrors.h"
#include "FileRef.h"
#include "MacDates.h"
#include "MediaImageInfo.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "TextFormats.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {

std::unique_ptr<CIndexItem> FreeItem(const QString& name = QStringLiteral("photo.jpeg"))
{
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/") + name));
    item->SetCaptionInfo(std::make_unique<CANPAInfo>());
    return item;
}

class FieldValues : public ::testing::Test {
protected:
    // Changes stay in the catalogue unless a test asks for the file.
    StTempPrefBoolean mCatalogueOnly {QStringLiteral("ApplyChangesToMediaFile"), false};
    StTempPrefBoolean mWithExtension {QStringLiteral("ShowFileExtension"), true};
    StTempPrefBoolean mDateOnly {QStringLiteral("ShowDateWithTime"), false};
};

QString DateText(int year, int month, int day)
{
    return FormatDateTimeText(DateTimeToMacSeconds(QDateTime(QDate(year, month, day), QTime(0, 0))), shortDate, false);
}

} // namespace

TEST_F(FieldValues, EveryWritableKeyReadsBackWhatWasSet)
{
    auto item = FreeItem();
    const QString date = DateText(2004, 2, 26);
    const std::pair<SInt32, QString> values[] = {
        {kFieldName, QStringLiteral("harbour.jpeg")},
        {kFieldRemoteURL, QStringLiteral("ftp://example.org/in/harbour.jpeg")},
        {kFieldCreationDate, date},
        {kFieldCaption, QStringLiteral("Boats at dusk")},
        {kFieldCaptionWriter, QStringLiteral("Ann")},
        {kFieldHeadline, QStringLiteral("Harbour")},
        {kFieldSpecialInstructions, QStringLiteral("None")},
        {kFieldCopyrightNotice, QStringLiteral("\u00a9 Ann")},
        {kFieldByline, QStringLiteral("Ann Example")},
        {kFieldBylineTitle, QStringLiteral("Photographer")},
        {kFieldCredit, QStringLiteral("Orvex")},
        {kFieldSource, QStringLiteral("Camera")},
        {kFieldCity, QStringLiteral("Kingston")},
        {kFieldProvinceState, QStringLiteral("Ont")},
        {kFieldCountryName, QStringLiteral("Canada")},
        {kFieldDateCreated, date},
        {kFieldObjectName, QStringLiteral("Dusk")},
        {kFieldTransmissionReference, QStringLiteral("REF-1")},
        {kFieldKeywords, QStringLiteral("boats, sea")},
        {kFieldSupplementalCategories, QStringLiteral("harbours, ships")},
        {kFieldCategory, QStringLiteral("TRV")},
        {kFieldUrgency, QStringLiteral("3")},
    };
    for (const auto& [key, text] : values) {
        EXPECT_EQ(item->SetFieldValue(key, text), noErr) << key;
        EXPECT_EQ(item->CopyFieldString(key, kFieldTextPlaceholder), text) << key;
        // Writing back what was read changes nothing, the urgency included.
        const QString shown = item->CopyFieldString(key, kFieldTextPlaceholder);
        EXPECT_EQ(item->SetFieldValue(key, shown), noErr) << key;
        EXPECT_EQ(item->CopyFieldString(key, kFieldTextPlaceholder), shown) << key;
    }
    EXPECT_EQ(item->GetCaptionInfo()->GetUrgency(), 2);
    EXPECT_TRUE(item->IsDirty());

    // The label field stores the index it is given.
    EXPECT_EQ(item->SetFieldValue(kFieldUrgencyLabel, QStringLiteral("6")), noErr);
    EXPECT_EQ(item->GetCaptionInfo()->GetUrgency(), 6);
    EXPECT_EQ(item->SetFieldValue(kFieldUrgency, QStringLiteral("No")), noErr);
    EXPECT_EQ(item->GetCaptionInfo()->GetUrgency(), 9);

    // Typed characters Mac Roman lacks are kept as read ones are: as references.
    const std::pair<SInt32, QString> typed[] = {
        {kFieldCity, QString::fromUtf8("Łódź")},
        {kFieldHeadline, QString::fromUtf8("½ price")},
        {kFieldKeywords, QString::fromUtf8("café, Ελλάδα")},
    };
    for (const auto& [key, text] : typed) {
        EXPECT_EQ(item->SetFieldValue(key, text), noErr) << key;
        EXPECT_EQ(item->CopyFieldString(key, kFieldTextPlaceholder), text) << key;
    }
    EXPECT_EQ(item->GetCaptionInfo()->GetCity(), LStr255(Str255("&#x141;\x97" "d&#x17A;")));
}

TEST_F(FieldValues, BadTextIsRefusedAndChangesNothing)
{
    auto item = FreeItem();
    ASSERT_EQ(item->SetFieldValue(kFieldHeadline, QStringLiteral("Harbour")), noErr);
    item->GetCaptionInfo()->SetUrgency(4);

    EXPECT_EQ(item->SetFieldValue(kFieldHeadline, QString()), paramErr);
    EXPECT_EQ(item->SetFieldValue(kFieldHeadline, QString(256, QLatin1Char('h'))), paramErr);
    EXPECT_EQ(item->SetFieldValue(kFieldHeadline, QString(40, QChar(0x4e00))), paramErr) << "too long as references";
    EXPECT_EQ(item->CopyFieldString(kFieldHeadline, 0), QStringLiteral("Harbour"));

    for (const char* rating : {"high", "0", "9", "10", "-1", "2.5"})
        EXPECT_EQ(item->SetFieldValue(kFieldUrgency, QLatin1String(rating)), paramErr) << rating;
    EXPECT_EQ(item->SetFieldValue(kFieldUrgencyLabel, QStringLiteral("8")), paramErr);
    EXPECT_EQ(item->GetCaptionInfo()->GetUrgency(), 4);

    EXPECT_EQ(item->SetFieldValue(kFieldDateCreated, QStringLiteral("not a date")), paramErr);
    EXPECT_EQ(item->SetFieldValue(kFieldCreationDate, QStringLiteral("not a date")), paramErr);
    EXPECT_EQ(item->SetFieldValue(kFieldRemoteURL, QStringLiteral("http://exa mple.org/")), paramErr);

    // Read-only keys of every range.
    for (SInt32 key : std::initializer_list<SInt32> {kFieldDateAdded, kFieldKind, kFieldTotalSize, kFieldWidth, kFieldDimensions, 5999,
             kFieldExposureTime, kFieldOrientation})
        EXPECT_EQ(item->SetFieldValue(key, QStringLiteral("1")), kFieldReadOnlyErr) << key;
    EXPECT_EQ(item->SetCaptionFieldValue(6021, Str255("x")), kFieldReadOnlyErr);
    // A key outside every range changes nothing and answers 0.
    EXPECT_EQ(item->SetFieldValue(7000, QStringLiteral("x")), noErr);
}

TEST_F(FieldValues, BadTextLeavesAnItemWithoutCaptionAlone)
{
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/a.jpeg")));
    item->SetCaptionInfo(nullptr);
    CatchCode([&] { item->GetCaptionInfo(); }); // looked for: there is none
    const bool wasDirty = item->IsDirty();
    EXPECT_EQ(item->SetFieldValue(kFieldUrgency, QStringLiteral("high")), paramErr);
    EXPECT_EQ(item->GetCaptionInfo(), nullptr);
    EXPECT_EQ(item->IsDirty(), wasDirty);
    // A good text makes the record.
    EXPECT_EQ(item->SetFieldValue(kFieldCity, QStringLiteral("Oslo")), noErr);
    ASSERT_NE(item->GetCaptionInfo(), nullptr);
    EXPECT_EQ(item->CopyFieldString(kFieldCity, 0), QStringLiteral("Oslo"));
}

TEST_F(FieldValues, RemoteURLAndDateRules)
{
    auto item = FreeItem();
    ASSERT_EQ(item->SetFieldValue(kFieldRemoteURL, QStringLiteral("http://example.org/a.jpeg")), noErr);
    // A text that ends in "//" is still being typed: nothing changes.
    EXPECT_EQ(item->SetFieldValue(kFieldRemoteURL, QStringLiteral("ftp://")), noErr);
    EXPECT_EQ(item->GetRemoteURL(), QUrl(QStringLiteral("http://example.org/a.jpeg")));
    // An empty text removes it.
    EXPECT_EQ(item->SetFieldValue(kFieldRemoteURL, QString(QLatin1String(""))), noErr);
    EXPECT_TRUE(item->GetRemoteURL().isEmpty());

    // The caption's date: an empty text clears it.
    ASSERT_EQ(item->SetFieldValue(kFieldDateCreated, DateText(2001, 5, 7)), noErr);
    EXPECT_NE(item->GetCaptionInfo()->GetDateCreated(), 0u);
    EXPECT_EQ(item->SetFieldValue(kFieldDateCreated, QString(QLatin1String(""))), noErr);
    EXPECT_EQ(item->GetCaptionInfo()->GetDateCreated(), 0u);
}

TEST_F(FieldValues, KeywordsAreTrimmedBothEnds)
{
    auto item = FreeItem();
    ASSERT_EQ(item->SetFieldValue(kFieldKeywords, QStringLiteral("  sea ,boats\t,  ")), noErr);
    EXPECT_TRUE(item->GetCaptionInfo()->HasKeyword(Str255("sea")));
    EXPECT_TRUE(item->GetCaptionInfo()->HasKeyword(Str255("boats")));
    EXPECT_EQ(item->GetCaptionInfo()->GetKeywords().GetCount(), 2);
    EXPECT_EQ(item->CopyFieldString(kFieldKeywords, 0), QStringLiteral("boats, sea"));
}

TEST_F(FieldValues, RenamingTheMediaFileWithTheName)
{
    const QString dir = TestTempDir() + QStringLiteral("/rename-field");
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/Canon_40D.jpg");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), path));
    CIndexItem item {FileRef(path)};
    StTempPrefBoolean toFile(QStringLiteral("ApplyChangesToMediaFile"), true);
    EXPECT_EQ(item.SetFieldValue(kFieldName, QStringLiteral("iguana.jpg")), noErr);
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("/iguana.jpg")));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(item.GetURL(), QUrl::fromLocalFile(dir + QStringLiteral("/iguana.jpg")));
}

TEST_F(FieldValues, ANameItsFileCannotTakeIsRefusedAndTheItemKeepsItsName)
{
    const QString dir = TestTempDir() + QStringLiteral("/rename-refused");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    const QString a = dir + QStringLiteral("/a.jpg"), b = dir + QStringLiteral("/b.jpg");
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), a));
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), b));
    CIndexItem item {FileRef(a)};
    StTempPrefBoolean toFile(QStringLiteral("ApplyChangesToMediaFile"), true);

    // A name another file has, one too long for the file system in bytes (150 units of
    // UTF-16, 300 bytes of UTF-8), and any name once the file is gone.
    const std::pair<QString, OSStatus> refused[] = {
        {QStringLiteral("b.jpg"), dupFNErr},
        {QString(150, QChar(0x00E9)), bdNamErr},
    };
    for (const auto& [name, code] : refused) {
        SCOPED_TRACE(name.toStdString());
        item.SetError(nullptr);
        EXPECT_EQ(item.SetFieldValue(kFieldName, name), code);
        EXPECT_EQ(item.GetName(), QStringLiteral("a.jpg"));
        EXPECT_EQ(item.GetURL(), QUrl::fromLocalFile(a));
        ASSERT_NE(item.GetError(), nullptr);
        EXPECT_EQ(item.GetError()->GetCode(), code);
    }
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), (QStringList {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));

    ASSERT_TRUE(QFile::remove(a));
    EXPECT_EQ(item.SetFieldValue(kFieldName, QStringLiteral("c.jpg")), kMsgNoFileReference);
    EXPECT_EQ(item.GetName(), QStringLiteral("a.jpg"));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList {QStringLiteral("b.jpg")});

    // A medium on a server has no file here to follow: the name changes alone.
    auto remote = FreeItem();
    EXPECT_EQ(remote->SetFieldValue(kFieldName, QStringLiteral("harbour.jpeg")), noErr);
    EXPECT_EQ(remote->GetName(), QStringLiteral("harbour.jpeg"));
    EXPECT_EQ(remote->GetError(), nullptr);

    // Catalogue only: the name changes and no file is looked at.
    StTempPrefBoolean catalogueOnly(QStringLiteral("ApplyChangesToMediaFile"), false);
    EXPECT_EQ(item.SetFieldValue(kFieldName, QStringLiteral("c.jpg")), noErr);
    EXPECT_EQ(item.GetName(), QStringLiteral("c.jpg"));
}

TEST_F(FieldValues, CaptionChangesGoIntoTheJPEG)
{
    if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString dir = TestTempDir() + QStringLiteral("/caption-field");
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/IPTC.jpg");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exiftool-images/IPTC.jpg")), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    CIndexItem item {FileRef(path)};
    StTempPrefBoolean toFile(QStringLiteral("ApplyChangesToMediaFile"), true);
    ASSERT_EQ(item.SetFieldValue(kFieldHeadline, QStringLiteral("New headline")), noErr);
    EXPECT_EQ(item.GetError(), nullptr);
    QProcess exiv;
    exiv.start(QStringLiteral("exiv2"), {QStringLiteral("-K"), QStringLiteral("Iptc.Application2.Headline"),
                                            QStringLiteral("-Pv"), path});
    exiv.waitForFinished(30000);
    EXPECT_EQ(QString::fromUtf8(exiv.readAllStandardOutput()).trimmed(), QStringLiteral("New headline"));
}
