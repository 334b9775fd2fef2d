#pragma once

#include <QString>
#include <QStringList>

// Makes a test file named `name` in the test's folder with the ffmpeg tool.
QString MakeMediaWithFFmpeg(const QString& name, const QStringList& arguments);

// One second of red, then one of blue, 160 x 120 at 10 frames a second.
QStringList RedThenBlueVideo();
// One second of a 440 Hz tone.
QStringList ToneAudio();
