#pragma once

#include <QByteArray>
#include <QString>

// tests/data: the camera and program files the tests read in place (read-only).
QString TestDataPath(const QString& relative = QString());

// A fresh folder for the running test; removed when the test ends.
QString TestTempDir();

QByteArray ReadWholeFile(const QString& path);

// Runs the event loop for a while (timers, posted events, deferred deletes).
void ProcessEventsFor(int milliseconds);
// Deletes the objects waiting for deleteLater now.
void FlushDeletes();
