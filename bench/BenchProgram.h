#pragma once

#include "CIndexViewDocument.h"
#include "CVisualTask.h"
#include "DeferredStyleIcons.h"
#include "IndexTaskServices.h"
#include "InterfaceClasses.h"
#include "Preferences.h"
#include "Sounds.h"
#include "ThreadUtilities.h"
#include "URegistrar.h"

#include <QIcon>
#include <QImageReader>
#include <QStandardPaths>

// Sets up what the program sets up at start for its index windows: the window
// classes and services, its stored preferences as they are by default (the task
// slice among them, with saving on a timer off), the task scheduler and the yield
// timer, and the style's toolbar icons read when first drawn (reading them at once
// loads every image plugin while the first window is made).
inline void StartAsTheProgramDoes()
{
    QStandardPaths::setTestModeEnabled(true);
    DeferStyleIcons();
    MergeFreedBlocksAtOnce();
    URegistrar::RegisterFrameworkClasses();
    RegisterInterfaceClasses();
    RegisterIndexWindowClasses();
    InstallIndexViewDocumentServices();
    InstallIndexTaskServices();
    SetPrefBoolean(QStringLiteral("IndexAutoSave"), false);
    InitializeTasks();
    InstallThreadYieldTimer(0.04);
    // The program loads these a moment after its first window is shown, before an
    // index opens: the image readers' plugins, the desktop theme's icons (that
    // window is drawn again with them) and the sounds' libraries.
    QImageReader::supportedImageFormats();
    QIcon::themeName();
    PrepareCompletionSound();
}
