#pragma once

#include "CSourceImportTask.h"
#include "ExceptionCode.h"

#include <QString>
#include <QStringList>

#include <vector>

// One font family as the system's font configuration lists it: the files of
// its faces, the one nearest the regular face first. A family installed in
// several formats (Type 1 beside OpenType) lists each file.
struct ActiveFontFamily {
    QString family;
    QStringList files;
};

// The active font families of the font configuration in force now (the
// FONTCONFIG_FILE environment included), in family order. Families whose name
// begins with "." are left out. Blocking.
std::vector<ActiveFontFamily> ListActiveFontFamilies();

// Fills the owner with one item per active font family, selected, in family
// order: the face nearest the regular one among the files of a kind the
// program opens; a file shared by several families is imported once. A family
// with no such file is passed over and counted.
class CImportFontsTask : public CSourceImportTask {
public:
    CImportFontsTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model);

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
