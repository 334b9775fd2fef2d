#pragma once

#include "CVisualTask.h"
#include "TaskOwnerView.h"
#include "TaskServices.h"

#include <QFileDialog>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QWidget;

// Writes the index's data and its pending items, in their order, to one XML
// property list that the user names in a save dialog: "Copyright Notice",
// "Company URL", "IndexData" and "IndexMediaList" (one field dictionary per
// item). The file is replaced only once the whole document is made.
class CExportXMLTask : public CVisualTask {
public:
    CExportXMLTask(SInt16 titleList, SInt16 titleIndex, TaskOwnerView* owner, TaskServices::IndexXMLData index);
    ~CExportXMLTask() override;

    // Opens the save dialog (window-modal on `window` when given) and returns; the
    // task starts when it closes, and does nothing when it was cancelled.
    void AskForFile(QWidget* window);
    // Without asking.
    void SetFile(const QString& path) { mFile = path; }
    QFileDialog* GetDialog() const { return mDialog; }

    // The suggested file name: the title without ".idxp" at either end, plus ".xml".
    static QString DefaultFileName(const QString& title);
    // The "IndexData" dictionary: each text only when present.
    static QVariantMap IndexDictionary(const TaskServices::IndexXMLData& index);

    void Finish(bool stopped) override;

protected:
    void RunTask() override;

private:
    void OnDialogFinished(int result);

    TaskServices::IndexXMLData mIndex;
    QString mFile;
    bool mCancelled = false;
    QPointer<QWidget> mWindow;
    QPointer<QFileDialog> mDialog;
    ViewBusyMark mBusy;
};
