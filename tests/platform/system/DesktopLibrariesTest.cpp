// GIO and the camera libraries are loaded at first use, after the program's start.
#include "Cameras.h"
#include "DesktopServices.h"
#include "FileErrors.h"
#include "FirstWindowShown.h"
#include "MountedVolumes.h"

#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <gtest/gtest.h>

// Work waiting for the first window runs only once one is on the screen, each
// piece once; work for an object gone meanwhile is dropped.
TEST(FirstWindowShown, WorkWaitsForAWindowOnTheScreen)
{
    int ran = 0;
    bool dropped = false;
    QObject context;
    auto* gone = new QObject;
    RunOnceAWindowIsShown(&context, [&] { ++ran; });
    RunOnceAWindowIsShown(gone, [&] { dropped = true; });
    delete gone;
    // No test in this program shows a window before this one.
    QApplication::processEvents();
    EXPECT_EQ(ran, 0);

    QWidget window;
    window.show();
    EXPECT_TRUE(RunEventsUntil([&] { return ran == 1; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(dropped);

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
