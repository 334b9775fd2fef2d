#pragma once

#include "CSourceImportTask.h"
#include "FileRef.h"

#include <QString>
#include <QStringList>

// The picture library: the photo manager's catalogue of the user's photographs
// and videos ("shotwell/data/photo.db" under the user's data folder), read, never
// written. LocatePictureLibrary answers fnfErr when there is none.
OSStatus LocatePictureLibrary(FileRef& outLibrary);
// Looks for the library once (at start-up) and remembers the answer.
OSStatus CheckPictureLibrary();
bool IsPictureLibraryPresent();

// The files the library catalogues, in the library's order, without those it
// hides or has put in its trash and those inside hidden folders. Blocking;
// throws the database's failure as a code.
QStringList ReadPictureLibraryFiles(const FileRef& library);

// Fills the owner with one item per supported media file of the picture
// library, at the end, not selected.
class CImportiPhotoTask : public CSourceImportTask {
public:
    CImportiPhotoTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model);

    SInt32 CountImported() const { return mImported; }

protected:
    void RunTask() override;

private:
    SInt32 mImported = 0;
};
