#include "TestMovies.h"

#include "TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

QString MakeMediaWithFFmpeg(const QString& name, const QStringList& arguments)
{
    const QString path = TestTempDir() + "/" + name;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList { "-nostdin", "-loglevel", "error", "-y" } + arguments + QStringList { path });
    EXPECT_TRUE(ffmpeg.waitForFinished(60000));
    EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().constData();
    return path;
}

QStringList RedThenBlueVideo()
{
    return { "-filter_complex",
        "color=red:s=160x120:r=10:d=1[a];color=blue:s=160x120:r=10:d=1[b];[a][b]concat=n=2:v=1[v]", "-map", "[v]" };
}

QStringList ToneAudio()
{
    return { "-f", "lavfi", "-i", "sine=frequency=440:duration=1" };
}
