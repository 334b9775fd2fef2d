// GIO and the camera libraries are loaded at first use, after the program's start.
#include "Cameras.h"
#include "DeferredIcon.h"
#include "DesktopServices.h"
#include "FileErrors.h"
#include "FirstWindowShown.h"
#include "MountedVolumes.h"

#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
// A window that draws an icon over its whole face and tells each picture it paints.
class IconWindow : public QWidget {
public:
    explicit IconWindow(QIcon icon) : mIcon(std::move(icon)) { resize(16, 16); }
    int paints = 0;
    std::function<void(const QImage&)> painted;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage picture(size(), QImage::Format_ARGB32);
        picture.fill(Qt::white);
        {
            QPainter onPicture(&picture);
            mIcon.paint(&onPicture, picture.rect());
        }
        QPainter(this).drawImage(0, 0, picture);
        ++paints;
        if (painted)
            painted(picture);
    }

private:
    QIcon mIcon;
};
} // namespace

// Work waiting for the first window runs only once one is on the screen, each
// piece once; work for an object gone meanwhile is dropped. The desktop theme's
// icons wait as well: that window is painted first without them, then with them.
TEST(FirstWindowShown, WorkWaitsForAWindowOnTheScreen)
{
    int ran = 0;
    bool dropped = false;
    QObject context;
    auto* gone = new QObject;
    RunOnceAWindowIsShown(&context, [&] { ++ran; });
    RunOnceAWindowIsShown(gone, [&] { dropped = true; });
    delete gone;
    HoldThemeIconsUntilAWindowIsShown();
    // No test in this program shows a window before this one.
    QApplication::processEvents();
    EXPECT_EQ(ran, 0);

    bool madeAtFirstPaint = true;
    IconWindow window(DeferredThemeIcon([] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        return QIcon(pixmap);
    }));
    window.painted = [&](const QImage& picture) {
        if (window.paints == 1)
            madeAtFirstPaint = picture.pixelColor(8, 8) == QColor(Qt::red);
    };
    window.show();
    EXPECT_TRUE(RunEventsUntil([&] { return ran == 1; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(dropped);
    EXPECT_FALSE(madeAtFirstPaint);
    EXPECT_TRUE(RunEventsUntil([&] { return window.grab().toImage().pixelColor(8, 8) == QColor(Qt::red); }, 5000));

    // Once a window was shown, later work runs from the event loop.
    RunOnceAWindowIsShown(&context, [&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(RunEventsUntil([&] { return ran == 2; }, 5000));
}

// The calls through the loaded libraries answer as they did when linked: a folder
// read as a camera is no mount to eject, an unknown application is not found, and
// the volume monitor's volumes are local folders.
TEST(DesktopLibraries, CallsThroughTheLoadedLibrariesAnswer)
{
    const QString folder = TestTempDir() + QStringLiteral("/card");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/IMG_0001.JPG");
    QFile(file).open(QIODevice::WriteOnly);

    EXPECT_EQ(UnmountCameraVolume({QStringLiteral("Directory Browse"), QStringLiteral("disk:") + folder}), noErr);
    EXPECT_EQ(OpenFilesWithApplication(QStringLiteral("org.orvex.NoSuchApplication.desktop"), {FileRef(file)}), fnfErr);
    EXPECT_TRUE(DefaultApplicationForMimeType(QStringLiteral("application/x-orvex-no-such-type")).isEmpty());

    std::unique_ptr<VolumeSource> volumes = MakeSystemVolumeSource();
    for (const MountedVolume& volume : volumes->CurrentVolumes())
        EXPECT_TRUE(QFileInfo(volume.mountPoint).isAbsolute()) << volume.mountPoint.toStdString();

    // A folder read as a camera through libgphoto2's folder driver lists its files.
    CameraConnection camera({QStringLiteral("Directory Browse"), QStringLiteral("disk:") + folder});
    const std::vector<CameraFileEntry> files = camera.ListFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, QStringLiteral("IMG_0001.JPG"));
}

// Cards are the mounts with a DCIM folder: the user's removable media count as
// cameras, another mount holding one (someone else's, or a system folder) does not.
TEST(DesktopLibraries, OnlyTheUsersRemovableMediaAreDetectedAsCards)
{
    const QString elsewhere = TestTempDir() + QStringLiteral("/mounted-elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    // In a mount namespace of its own: a tmpfs with a DCIM folder at each place.
    const std::optional<qint32> found = RunOnReadOnlyFolder(elsewhere, [&]() -> qint32 {
        auto mountCard = [](const QString& at) {
            const QByteArray path = QFile::encodeName(at);
            if (!QDir().mkpath(at) || ::mount("orvex-card", path.constData(), "tmpfs", 0, "size=1m") != 0)
                return false;
            QDir().mkpath(at + QStringLiteral("/DCIM/100TEST"));
            QFile picture(at + QStringLiteral("/DCIM/100TEST/IMG_0001.JPG"));
            return picture.open(QIODevice::WriteOnly) && picture.write("\xFF\xD8\xFF\xD9") == 4;
        };
        // /run is covered for the child alone, so nothing is made on the machine's own.
        if (::mount("orvex-run", "/run", "tmpfs", 0, "size=1m") != 0)
            return 100;
        const QString card = QStringLiteral("/run/media/") + QFile::decodeName(::getpwuid(::getuid())->pw_name)
            + QStringLiteral("/CARD");
        const QString otherUsers = QStringLiteral("/run/media/orvex-someone-else/CARD");
        if (!mountCard(card) || !mountCard(otherUsers) || !mountCard(elsewhere))
            return 101;
        qint32 seen = 0;
        for (const CameraDevice& device : DetectCameras()) {
            if (device.port == QStringLiteral("disk:") + card)
                seen |= 1;
            if (device.port == QStringLiteral("disk:") + otherUsers)
                seen |= 2;
            if (device.port == QStringLiteral("disk:") + elsewhere)
                seen |= 4;
        }
        return seen;
    });
    if (!found)
        GTEST_SKIP() << "no mount namespace may be made here";
    ASSERT_NE(*found, 100) << "no tmpfs could be mounted";
    ASSERT_NE(*found, 101) << "the cards could not be mounted";
    EXPECT_TRUE(*found & 1) << "the user's own card was not detected";
    EXPECT_FALSE(*found & 2) << "another user's card was taken as a camera";
    EXPECT_FALSE(*found & 4) << "a mount outside the removable media was taken as a camera";
}
