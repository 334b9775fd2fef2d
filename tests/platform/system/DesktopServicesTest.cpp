#include "DesktopServices.h"
#include "FileErrors.h"
#include "SoundPlayer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(DesktopPicture, CommandsFollowTheRunningDesktop)
{
    FileRef picture(QStringLiteral("/home/u/Pictures/Beach \"1\".jpg"));
    auto gnome = DesktopPictureCommands(QStringLiteral("ubuntu:GNOME"), picture);
    ASSERT_EQ(gnome.size(), 2);
    EXPECT_EQ(gnome[0].program, QStringLiteral("gsettings"));
    EXPECT_EQ(gnome[0].arguments,
        QStringList({"set", "org.gnome.desktop.background", "picture-uri",
            "file:///home/u/Pictures/Beach%20%221%22.jpg"}));
    EXPECT_EQ(gnome[1].arguments[2], QStringLiteral("picture-uri-dark"));

    auto cinnamon = DesktopPictureCommands(QStringLiteral("X-Cinnamon"), picture);
    ASSERT_EQ(cinnamon.size(), 1);
    EXPECT_EQ(cinnamon[0].arguments[1], QStringLiteral("org.cinnamon.desktop.background"));

    auto kde = DesktopPictureCommands(QStringLiteral("KDE"), picture);
    ASSERT_EQ(kde.size(), 1);
    EXPECT_EQ(kde[0].arguments[2], QStringLiteral("org.kde.PlasmaShell.evaluateScript"));
    EXPECT_TRUE(kde[0].arguments[3].contains(QStringLiteral("d.writeConfig(\"Image\", \"file:///home/u/Pictures/Beach%20%221%22.jpg\")")));

    auto xfce = DesktopPictureCommands(QStringLiteral("XFCE"), picture);
    ASSERT_EQ(xfce.size(), 1);
    // The path travels as an argument, never pasted into the shell text.
    EXPECT_EQ(xfce[0].arguments.last(), picture.Path());
    EXPECT_FALSE(xfce[0].arguments[1].contains(QStringLiteral("Beach")));

    EXPECT_TRUE(DesktopPictureCommands(QStringLiteral("Hyprland"), picture).isEmpty());
    EXPECT_TRUE(DesktopPictureCommands(QString(), picture).isEmpty());
}

TEST(DesktopPicture, UnknownDesktopGivesAClearCode)
{
    QString path = TestTempDir() + QLatin1String("/desk.jpg");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("x");
    file.close();
    qputenv("XDG_CURRENT_DESKTOP", "NoSuchDesktop");
    EXPECT_EQ(SetDesktopPicture(FileRef(path)), unimpErr);
    EXPECT_EQ(SetDesktopPicture(FileRef(path + QLatin1String(".none"))), fnfErr);
}

TEST(SoundPlayer, ANewSoundStopsTheOneBefore)
{
    QUrl completion = SoundPlayer::SoundResourceUrl(200);
    ASSERT_FALSE(completion.isEmpty());
    EXPECT_TRUE(SoundPlayer::SoundResourceUrl(1).isEmpty());
    SoundPlayer& player = SoundPlayer::Get();
    ASSERT_EQ(player.Play(completion), noErr);
    EXPECT_EQ(player.CurrentSound(), completion);
    QUrl feedback(QStringLiteral("qrc:/sounds/theme-fsel.wav"));
    ASSERT_EQ(player.Play(feedback), noErr);
    EXPECT_EQ(player.CurrentSound(), feedback);
    EXPECT_EQ(player.Play(QUrl(QStringLiteral("qrc:/sounds/none.wav"))), fnfErr);
    EXPECT_FALSE(player.IsPlaying());
}
