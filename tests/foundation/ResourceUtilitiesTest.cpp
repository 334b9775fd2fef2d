// Icons, images and named resources of the program.

#include "ResourceUtilities.h"

#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileSystemRoutines.h"
#include "LStdControls.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>

namespace {

// Pixels of the image that are not the background.
int DrawnPixels(const QImage& image, QRgb background)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                ++count;
    return count;
}

QImage Drawn(const std::function<OSStatus(QPainter&)>& plot, OSStatus expected)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    EXPECT_EQ(plot(painter), expected);
    painter.end();
    return image;
}

} // namespace

TEST(Icons, SystemAndBundleIconsDrawEvenWithoutAnIconTheme)
{
    for (OSType code : {OSType('lock'), OSType('caut'), OSType('faro'), OSType('docu'), OSType('fold')})
        EXPECT_FALSE(GetSystemIcon(code).isNull()) << code;
    EXPECT_TRUE(GetSystemIcon('zzzz').isNull());

    const QImage lock = Drawn([](QPainter& p) { return PlotSystemIcon(p, 'lock', QRect(0, 0, 16, 16), QIcon::Normal, Qt::AlignLeft | Qt::AlignTop); }, noErr);
    EXPECT_GT(DrawnPixels(lock.copy(0, 0, 16, 16), qRgb(255, 255, 255)), 20);
    EXPECT_EQ(DrawnPixels(lock.copy(16, 16, 16, 16), qRgb(255, 255, 255)), 0); // only in its rectangle
    Drawn([](QPainter& p) { return PlotSystemIcon(p, 'zzzz', QRect(0, 0, 16, 16), QIcon::Normal, Qt::AlignCenter); }, noSuchIconErr);

    // ".icns" names stand for the PNG of the same name.
    const QImage badge = Drawn([](QPainter& p) { return PlotBundleIcon(p, QStringLiteral("dragbadge2.icns"), QRect(0, 0, 32, 32), QIcon::Normal, Qt::AlignCenter); }, noErr);
    EXPECT_GT(DrawnPixels(badge, qRgb(255, 255, 255)), 50);
    Drawn([](QPainter& p) { return PlotBundleIcon(p, QStringLiteral("missing.icns"), QRect(0, 0, 16, 16), QIcon::Normal, Qt::AlignCenter); }, fnfErr);
    EXPECT_FALSE(RegisterBundleIcon('JWZ7', 'test', QStringLiteral("badge-stored.png")).isNull());
    EXPECT_TRUE(RegisterBundleIcon('JWZ7', 'test', QStringLiteral("missing.png")).isNull());
    // Dense screens get the icon's own large picture.
    const QPixmap large = RegisterBundleIcon('JWZ7', 'test', QStringLiteral("badge-stored.png")).pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(large.size(), QSize(32, 32));
    // The alerts' icons too, at the size an alert shows them (the style's own are 32 pixels only).
    for (OSType code : {OSType('stop'), OSType('caut'), OSType('note')})
        EXPECT_EQ(GetSystemIcon(code).pixmap(QSize(48, 48), 2.0).size(), QSize(96, 96)) << code;
}

TEST(Icons, DragImageHasTheIconsMask)
{
    QImage image;
    QBitmap mask;
    EXPECT_EQ(MakeIconDragImage(QRect(10, 10, 32, 32), QIcon(), image, mask), paramErr);
    EXPECT_TRUE(image.isNull());
    QPixmap dot(32, 32);
    dot.fill(Qt::transparent);
    {
        QPainter painter(&dot);
        painter.fillRect(8, 8, 16, 16, Qt::red);
    }
    ASSERT_EQ(MakeIconDragImage(QRect(10, 10, 32, 32), QIcon(dot), image, mask), noErr);
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(16, 16), QColor(Qt::red));
    const QImage bits = mask.toImage();
    EXPECT_NE(bits.pixel(16, 16), bits.pixel(2, 2));
}

TEST(Icons, FileIconsCustomKindOrNone)
{
    const QString dir = TestTempDir() + QStringLiteral("/icons");
    QDir().mkpath(dir);
    const QString photo = dir + QStringLiteral("/photo.jpg");
    QFile(photo).open(QIODevice::WriteOnly);
    const QString bare = dir + QStringLiteral("/README");
    QFile(bare).open(QIODevice::WriteOnly);
    const QString odd = dir + QStringLiteral("/notes.zzqq");
    QFile(odd).open(QIODevice::WriteOnly);

    EXPECT_TRUE(GetFileIcon(FileRef(bare), false).isNull());
    EXPECT_FALSE(GetFileIcon(FileRef(photo), false).isNull());
    EXPECT_FALSE(GetFileIcon(FileRef(odd), false).isNull()); // the plain document

    // The custom icon the file carries comes first when asked for.
    QImage green(64, 64, QImage::Format_ARGB32);
    green.fill(QColor(0, 180, 0));
    ASSERT_EQ(SetFileCustomIcon(FileRef(photo), &green), noErr);
    const QImage shown = GetFileIcon(FileRef(photo), true).pixmap(32, 32).toImage();
    EXPECT_EQ(shown.pixelColor(16, 16), QColor(0, 180, 0));
    EXPECT_NE(GetFileIcon(FileRef(photo), false).pixmap(32, 32).toImage().pixelColor(16, 16), QColor(0, 180, 0));

    // An icon family holds every size, and twice each for dense screens.
    const QIcon family = MakeIconFamily(green);
    for (int side : {16, 32, 48, 128})
        EXPECT_EQ(family.pixmap(QSize(side, side), 2.0).size(), QSize(side * 2, side * 2)) << side;
    EXPECT_TRUE(MakeIconFamily(QImage()).isNull());
}

TEST(Images, BundlePicturesAndResourceFiles)
{
    EXPECT_FALSE(CreateBundlePNGImage(QStringLiteral("poof.png")).isNull());
    EXPECT_TRUE(CreateBundlePNGImage(QStringLiteral("missing.png")).isNull());
    EXPECT_TRUE(CreateBundlePNGImage(QString()).isNull());
    EXPECT_TRUE(CreateImageWithPNGData(QByteArray("\x89PNG but cut", 12)).isNull());

    FileRef file;
    EXPECT_EQ(GetBundleResourceFSRef(QString(), file), fnfErr);
    EXPECT_EQ(GetBundleResourceFSRef(QStringLiteral("images/missing.png"), file), fnfErr);
    ASSERT_EQ(GetBundleResourceFSRef(QStringLiteral("images/poof.png"), file), noErr);
    QFile copied(file.Path());
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    QFile original(QStringLiteral(":/images/poof.png"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), original.readAll());
}

TEST(NamedResources, IDsNamesAndPopups)
{
    ResIDT id = 0;
    GetNamedResourceID(Str255("Slate"), 'TEST', &id);
    EXPECT_EQ(id, 130);
    EXPECT_THROW(GetNamedResourceID(Str255("slate"), 'TEST', &id), ExceptionCode);
    EXPECT_THROW(GetNamedResourceID(Str255("Slate"), 'NONE', &id), ExceptionCode);
    Str255 name;
    GetResourceNameByID(128, 'TEST', name);
    EXPECT_EQ(PStringToQString(name), QStringLiteral("Linen"));
    try {
        GetResourceNameByID(999, 'TEST', name);
        ADD_FAILURE() << "999 has no name";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), resNotFound);
    }

    LStdPopupMenu popup(SPaneInfo {}, 0, {QStringLiteral("linen"), QStringLiteral("Creme"), QStringLiteral("Slate")}, 3);
    GetPopupResourceID(&popup, 'TEST', &id);
    EXPECT_EQ(id, 130);
    EXPECT_THROW(GetPopupResourceID(nullptr, 'TEST', &id), ExceptionCode);
    // Accents do not count, the case of a letter does.
    SelectPopupByResourceID(129, 'TEST', &popup);
    EXPECT_EQ(popup.GetValue(), 2);
    SelectPopupByResourceID(128, 'TEST', &popup);
    EXPECT_EQ(popup.GetValue(), 2);
    SelectPopupByResourceID(999, 'TEST', &popup);
    EXPECT_EQ(popup.GetValue(), 2);
    SelectPopupByResourceID(128, 'TEST', nullptr);
}

TEST(SmallValues, RandomRangesAndHandles)
{
    EXPECT_EQ(RandomInRange(5, 5), 5);
    EXPECT_EQ(RandomInRange(7, 3), 7);
    SetRandomSeed(20261207);
    std::set<SInt32> seen;
    for (int i = 0; i < 200; ++i) {
        const SInt32 value = RandomInRange(1, 3);
        ASSERT_GE(value, 1);
        ASSERT_LE(value, 3);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 3u);
    // The same seed gives the same numbers.
    SetRandomSeed(99);
    const SInt16 first = Random();
    SetRandomSeed(99);
    EXPECT_EQ(Random(), first);

    EXPECT_FALSE(CopyHandle(nullptr, true).has_value());
    const QByteArray bytes("alias bytes");
    const std::optional<QByteArray> copy = CopyHandle(&bytes, false);
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(*copy, bytes);
    EXPECT_NE(copy->constData(), bytes.constData());

    QVariantList keys;
    AppendNumberToArray(4001, keys);
    AppendNumberToArray(-1, keys);
    ASSERT_EQ(keys.size(), 2);
    EXPECT_EQ(keys[0].typeId(), QMetaType::Int);
    EXPECT_EQ(keys[1].toInt(), -1);
    EXPECT_EQ(MakeCGRect(1, 2, 3, 4), QRectF(1, 2, 3, 4));
    EXPECT_FALSE(HasSystemFolder('zzzz'));
    EXPECT_EQ(HasSystemFolder('temp'), QDir(QDir::tempPath()).exists());
}
