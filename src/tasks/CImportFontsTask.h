#pragma once

#include "CSourceImportTask.h"
#include "ExceptionCode.h"

#include <QString>

#include <vector>

// One font family as the system's font configuration lists it: the file of its
// regular face.
struct ActiveFontFamily {
    QString family;
    QString file;
};

// The active font families of the font configuration in force now (the
// FONTCONFIG_FILE environment included), each with its regular face's file,
// in family order. Families whose name begins with "." are left out. Blocking.
std::vector<ActiveFontFamily> ListActiveFontFamilies();

// Fills the owner with one item per active font file, selected, in family
// order; a file shared by several families is imported once. Files of a kind
// the program does not open as fonts are passed over and counted.
class CImportFontsTask : public CSourceImportTask {
public:
    CImportFontsTask(SInt16 titleList, SInt16 titleIndex, TaskOwnerView* owner);

    SInt32 CountImported() const { return mImported; }
    SInt32 CountPassedOver() const { return mPassedOver; }
    SInt32 CountFailed() const { return mFailed; }

protected:
    void RunTask() override;

private:
    SInt32 mImported = 0;
    SInt32 mPassedOver = 0;
    SInt32 mFailed = 0;
    ExceptionCode mFirstFailure {noErr};
};
