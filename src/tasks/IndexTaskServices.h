#pragma once

#include "IndexPackageDocument.h"
#include "TaskServices.h"

#include <memory>

class CIndexDoc;

// The index document as the package read and write tasks see it. It answers for
// the document only while the document lives: a document deleted under a running
// task leaves it answering "nothing" rather than reading freed memory.
class CIndexDocPackageDocument : public IndexPackageDocument {
public:
    explicit CIndexDocPackageDocument(CIndexDoc& document);

    CIndexPackage* GetPackage() const override;
    CIndexModel* GetModel() const override;
    bool TestFlags(UInt32 mask) const override;
    SInt32 ReadSettings(bool closing) override;
    void WriteSettings(bool closing) override;
    void ShowWindow() override;
    bool VerifyPassword() override;
    SInt32 GetPendingSaveAction() const override;
    void SetPendingSaveAction(SInt32 action) override;
    void RunPendingSaveAction(SInt32 action) override;
    void DiscardDocument() override;
    void IndexSaved() override;
    void ReadingEnded() override;

private:
    CIndexDoc* Document() const;

    CIndexDoc* mDocument;
    std::weak_ptr<const void> mAlive;
};

// The tasks the catalogue starts. Installed once at start-up.
class CIndexTaskServices : public TaskServices {
public:
    void ShowSearchWindow(CIndexModel& model, SInt32 command) override;
    void StartImportFilesTask(CIndexModel& model) override;
    void StartImportFolderTask(CIndexModel& model, const FileRef& folder, SInt32 position, SInt32 option) override;
    void StartReadIndexPackageTask(CIndexDoc* document) override;
    void StartWriteIndexTask(CIndexDoc* document) override;
    void StopTasksOfOwner(CIndexModel& model) override;
};

void InstallIndexTaskServices();
// 'SrhW' the search window and its rows 'sviw' and 'bviw'.
void RegisterSearchWindowClasses();
