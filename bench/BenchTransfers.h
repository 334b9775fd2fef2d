#pragma once

// What the transfer benchmarks set up as the program does at start: its classes,
// passive FTP, no completion sound, and `folder` as the download folder. Each
// benchmark then sets its own preferences and starts the tasks.

#include "AliasRecord.h"
#include "FileRef.h"
#include "Preferences.h"
#include "URegistrar.h"

#include <QByteArray>
#include <QString>

inline void PrepareTransfersInto(const QString& folder)
{
    URegistrar::RegisterFrameworkClasses();
    SetPrefBoolean(QStringLiteral("FTPPassiveMode"), true);
    SetPrefBoolean(QStringLiteral("PlayCompletionSound"), false);
    QByteArray alias;
    NewAliasBytes(nullptr, FileRef(folder), alias);
    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
}
