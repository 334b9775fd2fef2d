#pragma once

#include "CVisualTask.h"
#include "TaskOwnerView.h"

#include <QFileDialog>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QWidget;

// What the XML export writes of the index besides its items.
struct IndexXMLData {
    QString name;    // the window's title
    QString url;     // the index's address text; empty for none
    QString caption; // the index's comment; empty for none
    bool selectedOnly = false; // the items are the selection, not the whole list
};

// Writes the index's data and its pending items, in their order, to one XML
// property list that the user names in a save dialog: "Copyright Notice",
// "Company URL", "IndexData" and "IndexMediaList" (one field dictionary per
// item). The file is replaced only once the whole document is made.
class CExportXMLTask : public CVisualTask {
public:
    CExportXMLTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, IndexXMLData index);
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
    static QVariantMap IndexDictionary(const IndexXMLData& index);

    void Finish(bool stopped) override;

protected:
    void RunTask() override;

private:
    void OnDialogFinished(int result);

    IndexXMLData mIndex;
    QString mFile;
    bool mCancelled = false;
    QPointer<QWidget> mWindow;
    QPointer<QFileDialog> mDialog;
    ModelBusyMark mBusy;
};

// CExportXMLTask (title 601:48) for the items: asks for a file on `window`, then
// writes the index's data and the items, in this order.
void StartExportXMLTask(CIndexModel& model, const std::vector<CIndexItem*>& items, const IndexXMLData& index,
    QWidget* window);
