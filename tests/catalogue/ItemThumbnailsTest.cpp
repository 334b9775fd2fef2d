#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "ExceptionCode.h"
#include "FinderPreview.h"
#include "IndexDbRecord.h"
#include "ItemThumbnails.h"
#include "Picture.h"
#include "Preferences.h"

#include "TestIndexView.h"
#include "TestMovies.h"
#include "TestSupport.h"
#include "ThumbnailFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace {

QString Folder(const QString& name)
{
    const QString dir = TestTempDir() + "/thumbs-" + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

QString WriteImage(const QString& dir, const QString& name, int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QPainter(&image).fillRect(0, 0, width / 2, height, QColor(220, 60, 40));
    const QString path = dir + "/" + name;
    EXPECT_TRUE(image.save(path, format));
    return path;
}

// A JPEG that ends right after its first marker.
QString WriteCutJPEG(const QString& dir, const QString& name)
{
    const QString path = dir + "/" + name;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xFF\xD8\xFF\xE0 cut", 10));
    return path;
}

// Takes `bytes` off the end of a file, as an interrupted write leaves it.
void CutFileEnd(const QString& path, int bytes)
{
    const QByteArray whole = ReadWholeFile(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(whole.left(whole.size() - bytes));
}

// The program's thumbnail code for the length of a test.
class ItemThumbnails : public ::testing::Test {
protected:
    void SetUp() override { CItemThumbnails::Install(); }
    void TearDown() override
    {
        SetThumbnailServices(nullptr);
        SetPrefDefault("RecreateThumbnailWhenDifferent");
    }
};

} // namespace

TEST_F(ItemThumbnails, MadeAtTheSizeOfTheSquareAndNeverEnlarged)
{
    const QString dir = Folder("sizes");
    CIndexItem photo(QUrl::fromLocalFile(WriteImage(dir, "photo.jpg", 1600, 1200, "JPEG")));
    CIndexItem small(QUrl::fromLocalFile(WriteImage(dir, "small.png", 100, 50, "PNG")));
    photo.CreateThumbnail(false);
    small.CreateThumbnail(false);
    ASSERT_NE(photo.GetThumbnail(), nullptr);
    ASSERT_NE(small.GetThumbnail(), nullptr);
    EXPECT_EQ(photo.GetThumbnail()->Frame(), MakeRect(0, 0, 120, 160));
    EXPECT_FALSE(photo.IsSmallMedium());
    EXPECT_EQ(small.GetThumbnail()->Frame(), MakeRect(0, 0, 50, 100));
    EXPECT_TRUE(small.IsSmallMedium());
    EXPECT_FALSE(photo.HasThumbnailFailed());
    EXPECT_TRUE(photo.IsUserDataLookedFor());
}

TEST_F(ItemThumbnails, NumbersStartAtOneTurnNegativeWhenChangedAndAreNeverReused)
{
    const QString dir = Folder("numbers");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Numbers.idxp"), nullptr);
    CIndexItem first(QUrl::fromLocalFile(WriteImage(dir, "a.jpg", 800, 600, "JPEG")));
    CIndexItem second(QUrl::fromLocalFile(WriteImage(dir, "b.png", 300, 600, "PNG")));
    first.CreateThumbnail(false);
    second.CreateThumbnail(false);

    first.WriteThumbnailFile(package);
    second.WriteThumbnailFile(package);
    EXPECT_EQ(first.GetThumbnailNumber(), 1);
    EXPECT_EQ(second.GetThumbnailNumber(), 2);
    const QByteArray file = ReadWholeFile(dir + "/Numbers.idxp/thumbs/1.pct");
    ASSERT_GT(file.size(), 512);
    EXPECT_EQ(file.left(512), QByteArray(512, '\0'));

    // A new picture: the number turns negative until the file is written again.
    first.CreateThumbnail(false);
    EXPECT_EQ(first.GetThumbnailNumber(), -1);
    first.WriteThumbnailFile(package);
    EXPECT_EQ(first.GetThumbnailNumber(), 1);
    EXPECT_EQ(package.GetLastThumbID(), 3);
    EXPECT_EQ(QDir(dir + "/Numbers.idxp/thumbs").entryList(QDir::Files), (QStringList { "1.pct", "2.pct" }));
}

TEST_F(ItemThumbnails, FailuresMarkTheItemAndSoundsGetNone)
{
    const QString dir = Folder("failures");
    const QString path = WriteImage(dir, "gone.jpg", 64, 48, "JPEG");
    CIndexItem gone(QUrl::fromLocalFile(path));
    QFile::remove(path);
    EXPECT_EQ(CatchCode([&] { gone.CreateThumbnail(false); }), err_NilPointer);
    EXPECT_TRUE(gone.HasThumbnailFailed());

    CIndexItem cut(QUrl::fromLocalFile(WriteCutJPEG(dir, "broken.jpg")));
    EXPECT_NE(CatchCode([&] { cut.CreateThumbnail(false); }), noErr);
    EXPECT_TRUE(cut.HasThumbnailFailed());

    const QString wav = dir + "/tone.wav";
    ASSERT_TRUE(QFile::copy(TestDataPath("exiftool-images/RIFF.wav"), wav));
    CIndexItem sound(QUrl::fromLocalFile(wav));
    const bool dirty = sound.IsDirty();
    EXPECT_EQ(CatchCode([&] { sound.CreateThumbnail(true); }), noErr);
    EXPECT_FALSE(sound.HasThumbnailFailed());
    EXPECT_EQ(sound.IsDirty(), dirty);
    Picture preview;
    EXPECT_EQ(ReadFilePreview(FileRef(wav), preview), resNotFound);
}

TEST_F(ItemThumbnails, AFailureIsRememberedUntilTheFileChanges)
{
    const QString dir = Folder("remembered");
    CIndexItem item(QUrl::fromLocalFile(WriteCutJPEG(dir, "damaged.jpg")));
    CItemThumbnails services;
    ASSERT_TRUE(services.ShouldRecreateThumbnail(item));
    EXPECT_NE(CreateThumbnails({ &item }, false).front(), noErr);
    ASSERT_TRUE(item.HasThumbnailFailed());

    // Every redraw of its cell asks again; the answer stays no while the file is as it was.
    QImage cell(200, 200, QImage::Format_ARGB32_Premultiplied);
    TestIndexView view;
    for (int redraw = 0; redraw < 3; ++redraw) {
        QPainter painter(&cell);
        (void)CatchCode([&] { item.DrawCell(painter, QRect(0, 0, 200, 200), view); });
        EXPECT_FALSE(services.ShouldRecreateThumbnail(item)) << redraw;
    }
    EXPECT_TRUE(item.HasThumbnailFailed());

    // A picture saved over it is tried, and made.
    WriteImage(dir, "damaged.jpg", 64, 48, "JPEG");
    EXPECT_TRUE(services.ShouldRecreateThumbnail(item));
    EXPECT_FALSE(item.HasThumbnailFailed());
    EXPECT_EQ(CreateThumbnails({ &item }, false).front(), noErr);
    EXPECT_NE(item.GetThumbnail(), nullptr);
}

TEST_F(ItemThumbnails, AppliedToAFreeItemsFileTheThumbnailBecomesItsPreview)
{
    const QString dir = Folder("preview");
    const QString path = WriteImage(dir, "free.jpg", 640, 480, "JPEG");
    CIndexItem item(QUrl::fromLocalFile(path));
    const bool wasDirty = item.IsDirty();
    item.CreateThumbnail(true);

    Picture stored;
    ASSERT_EQ(ReadFilePreview(FileRef(path), stored), noErr);
    EXPECT_EQ(stored.Frame(), MakeRect(0, 0, 120, 160));
    if (!wasDirty) {
        // Only the file needed it: the item reads it back from the file's preview.
        Picture* back = item.GetThumbnail();
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(*back, stored);
    }
}

TEST_F(ItemThumbnails, RecreateTestAsksForBiggerPicturesWhenTheSettingSaysSo)
{
    const QString dir = Folder("recreate");
    CIndexItem small(QUrl::fromLocalFile(WriteImage(dir, "small.png", 100, 50, "PNG")));
    small.CreateThumbnail(false);
    EXPECT_FALSE(small.GetRecreateAnswer());
    SetPrefBoolean("RecreateThumbnailWhenDifferent", true);
    CIndexItem again(QUrl::fromLocalFile(dir + "/small.png"));
    again.CreateThumbnail(false);
    // A picture smaller than the size gives the same thumbnail again: not asked for.
    EXPECT_FALSE(again.GetRecreateAnswer());
    // A larger one whose thumbnail was made at a smaller size is.
    CIndexItem large(QUrl::fromLocalFile(WriteImage(dir, "large.png", 640, 480, "PNG")));
    large.CreateThumbnail(false);
    EXPECT_FALSE(large.GetRecreateAnswer());
    SetPrefNumber("DefaultThumbnailSize", 320);
    EXPECT_TRUE(CItemThumbnails().ShouldRecreateThumbnail(large));
    SetPrefDefault("DefaultThumbnailSize");
    // A thumbnail that was looked for (here the file's own small preview) is not made again.
    const QString previewed = WriteImage(dir, "previewed.png", 100, 50, "PNG");
    ASSERT_EQ(AddFilePreview(FileRef(previewed), *again.GetThumbnail()), noErr);
    CIndexItem fresh(QUrl::fromLocalFile(previewed));
    ASSERT_NE(fresh.GetThumbnail(), nullptr);
    EXPECT_TRUE(fresh.IsThumbnailLookedFor());
    CItemThumbnails services;
    EXPECT_FALSE(services.ShouldRecreateThumbnail(fresh));

    // A size asked beyond the largest thumbnail: one made as large as that is not
    // asked for again.
    SetPrefNumber("DefaultThumbnailSize", 5000);
    CIndexItem wide(QUrl::fromLocalFile(WriteImage(dir, "wide.png", kLargestThumbnailSide + 500, 40, "PNG")));
    wide.CreateThumbnail(false);
    EXPECT_EQ(wide.GetThumbnail()->Frame().Width(), kLargestThumbnailSide);
    EXPECT_FALSE(wide.GetRecreateAnswer());
    SetPrefDefault("DefaultThumbnailSize");
}

TEST_F(ItemThumbnails, ManyItemsAtOnceKeepTheirOrder)
{
    const QString dir = Folder("batch");
    std::vector<std::unique_ptr<CIndexItem>> items;
    items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(WriteImage(dir, "0.jpg", 1200, 800, "JPEG"))));
    const QString gonePath = WriteImage(dir, "1.jpg", 60, 60, "JPEG");
    items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(gonePath)));
    QFile::remove(gonePath);
    items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(WriteImage(dir, "2.png", 200, 400, "PNG"))));
    items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(MakeMediaWithFFmpeg("3.mp4",
        { "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=10:duration=1", "-pix_fmt", "yuv420p" }))));
    std::vector<CIndexItem*> pointers;
    for (auto& item : items)
        pointers.push_back(item.get());

    const std::vector<OSStatus> codes = CreateThumbnails(pointers, false);
    ASSERT_EQ(codes.size(), 4u);
    EXPECT_EQ(codes[0], noErr);
    EXPECT_EQ(codes[1], err_NilPointer);
    EXPECT_EQ(codes[2], noErr);
    EXPECT_EQ(codes[3], noErr);
    EXPECT_EQ(items[0]->GetThumbnail()->Frame(), MakeRect(0, 0, 106, 160));
    EXPECT_TRUE(items[1]->HasThumbnailFailed());
    EXPECT_EQ(items[2]->GetThumbnail()->Frame(), MakeRect(0, 0, 160, 80));
    EXPECT_EQ(items[3]->GetThumbnail()->Frame(), MakeRect(0, 0, 120, 160));
}

TEST_F(ItemThumbnails, RefreshingTheFinderPreviewMakesItFromTheFile)
{
    const QString dir = Folder("refresh");
    const QString path = WriteImage(dir, "refresh.jpg", 900, 600, "JPEG");
    CIndexItem item(QUrl::fromLocalFile(path));
    item.RefreshFinderPreview(true);
    Picture stored;
    ASSERT_EQ(ReadFilePreview(FileRef(path), stored), noErr);
    EXPECT_EQ(stored.Frame(), MakeRect(0, 0, 106, 160));
}

TEST_F(ItemThumbnails, ADamagedThumbnailFileGivesACodeAndLeavesTheItemWithout)
{
    const QString dir = Folder("damaged");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Damaged.idxp"), nullptr);
    CIndexItem item(QUrl::fromLocalFile(WriteImage(dir, "d.jpg", 400, 300, "JPEG")));
    item.CreateThumbnail(false);
    item.WriteThumbnailFile(package);
    ASSERT_EQ(item.GetThumbnailNumber(), 1);
    const QString file = dir + "/Damaged.idxp/thumbs/1.pct";
    const QByteArray whole = ReadWholeFile(file);
    CutFileEnd(file, 40);
    // The item as the package's reader makes it: its package and number, no picture yet.
    IndexDbRecord record;
    record.name = QByteArray("d.jpg");
    record.fields = CatalogueFields { 'JPEG', 1, 2, 3, 4, 1, 0 };
    CIndexItem stored(record, &package);
    EXPECT_EQ(CatchCode([&] { stored.GetThumbnail(); }), codecBadDataErr);
    EXPECT_EQ(stored.GetThumbnailNumber(), 1);
    EXPECT_FALSE(stored.IsThumbnailLookedFor());
    EXPECT_EQ(ReadWholeFile(file), whole.left(whole.size() - 40)) << "reading never repairs or removes the file";
}

TEST_F(ItemThumbnails, StoredThumbnailFilesAreReadOffTheGUIThreadAndNeverWhileDrawing)
{
    const QString dir = Folder("stored");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Stored.idxp"), nullptr);
    for (int i = 0; i < 3; ++i) {
        CIndexItem made(QUrl::fromLocalFile(WriteImage(dir, QStringLiteral("%1.jpg").arg(i), 400 - i * 100, 300, "JPEG")));
        made.CreateThumbnail(false);
        made.WriteThumbnailFile(package);
        ASSERT_EQ(made.GetThumbnailNumber(), i + 1);
    }
    // The third file is cut: it stays for GetThumbnail to report.
    CutFileEnd(dir + "/Stored.idxp/thumbs/3.pct", 40);

    std::vector<std::unique_ptr<CIndexItem>> items;
    for (int i = 0; i < 3; ++i) {
        IndexDbRecord record;
        record.name = QStringLiteral("%1.jpg").arg(i).toUtf8();
        record.fileURL = QUrl::fromLocalFile(dir + QStringLiteral("/%1.jpg").arg(i)).toEncoded();
        record.fields = CatalogueFields { 'JPEG', 1, 2, 3, 4, i + 1, 0 };
        items.push_back(std::make_unique<CIndexItem>(record, &package));
        EXPECT_TRUE(items.back()->IsThumbnailOnlyOnDisk());
    }

    // Drawing the cell reads nothing: the icon stands in and the view is told to come back.
    TestIndexView view;
    QImage canvas(200, 200, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        items[0]->DrawCell(painter, QRect(10, 10, 120, 140), view);
    }
    EXPECT_TRUE(items[0]->IsThumbnailOnlyOnDisk());
    EXPECT_TRUE(items[0]->HasDisplayPictureChanged());

    ReadThumbnailFiles({ items[0].get(), items[1].get(), items[2].get(), nullptr });
    EXPECT_FALSE(items[0]->IsThumbnailOnlyOnDisk());
    EXPECT_FALSE(items[1]->IsThumbnailOnlyOnDisk());
    EXPECT_EQ(items[0]->GetThumbnail()->Frame(), MakeRect(0, 0, 120, 160));
    EXPECT_EQ(items[1]->GetThumbnail()->Frame(), MakeRect(0, 0, 160, 160));
    EXPECT_FALSE(items[0]->IsDirty()) << "a picture read back is no change";
    EXPECT_TRUE(items[2]->IsThumbnailOnlyOnDisk());
    EXPECT_EQ(CatchCode([&] { items[2]->GetThumbnail(); }), codecBadDataErr);

    // Now in memory, the picture is drawn.
    {
        QPainter painter(&canvas);
        items[0]->DrawCell(painter, QRect(10, 10, 120, 140), view);
    }
    EXPECT_NE(items[0]->GetDisplayPicture(), nullptr);
}
