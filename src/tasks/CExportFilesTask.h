#pragma once

#include "CVisualTask.h"
#include "CIndexItem.h"
#include "ExportSettings.h"
#include "Liveness.h"
#include "TaskOwnerView.h"

#include <QFileDialog>
#include <QPointer>
#include <QString>

#include <memory>

class CIndexItem;
class GraphicsExporter;
class LDialogBox;
class QComboBox;
class QPushButton;
class QWidget;

// A file name that already exists there, or an output that is the item's own file.
inline constexpr OSStatus kExportNameTakenErr = dupFNErr;

// Layout of the export options dialog and its panes.
inline constexpr ResIDT kExportOptionsDialog = 1039;
enum : PaneIDT {
    kPaneExportNaturalSize = 900,
    kPaneExportWidth = 901,
    kPaneExportHeight = 902,
    kPaneExportCustomSize = 903,
    kPaneExportDefaultResolution = 904,
    kPaneExportCustomResolution = 905,
    kPaneExportResolution = 906,
    kPaneExportMetaData = 907,
    kPaneExportColorProfile = 908,
    kPaneExportThumbnail = 909,
    kPaneExportSettingsText = 910,
    kPaneExportAddToIndex = 911,
};
// Messages of the options dialog.
enum : MessageT {
    msg_ExportFormatSettings = 6001,
    msg_ExportCustomSize = 6002,
    msg_ExportCustomResolution = 6003,
};

// Writes the media of items as new image files through a graphics exporter. The
// user names the file (one item) or the folder (several) in a file dialog with a
// format chooser and an options button; the task starts when the dialog closes.
// Each file is written beside its final name and renamed into place without
// replacing anything, except the one file the user chose to replace.
class CExportFilesTask : public CVisualTask {
public:
    // `window` carries the dialog (none in full screen).
    CExportFilesTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model, QWidget* window);
    ~CExportFilesTask() override;

    // Opens the file dialog (window-modal on the window, else application-modal)
    // and returns; its closing starts the task.
    void AskDestination();
    // Without asking: the items go into `folder`, or the one item to `file`.
    void SetDestination(const QString& folder) { mDestination = folder; }
    void SetOutputFile(const QString& file) { mSingleOutput = file; }

    // Opens the exporter of that format: the chooser shows it, a typed file name
    // takes its extension, and it is remembered as "DefaultExportType".
    void SelectExporter(OSType type);
    OSType GetExportType() const { return mType; }
    // The options dialog (1039), modal; its OK saves the export preferences.
    void EditExportOptions();

    QFileDialog* GetDialog() const { return mDialog; }
    QComboBox* GetFormatPopup() const { return mFormatPopup; }
    QPushButton* GetOptionsButton() const { return mOptionsButton; }

    void Finish(bool stopped) override;
    // Keeps the first item queued: the save dialog of a single item is named after it.
    void InsertItem(CIndexItem* item, SInt32 position) override;

    // `name` with the extension in place of its own, or appended when it has none.
    static QString NameWithExtension(const QString& name, const QString& extension);
    // The options dialog filled from `settings`, and read back.
    static void FillOptionsDialog(LDialogBox& dialog, const ExportSettings& settings, const GraphicsExporter* exporter);
    static ExportSettings ReadOptionsDialog(LDialogBox& dialog, ExportSettings settings);

protected:
    void RunTask() override;

    // The path in the destination folder for an item of that name ('asrt' for none).
    QString CreateOutputFile(const QString& name) const;
    void ExportItem(CIndexItem& item, const QString& path, bool replace, const ExportSettings& settings);

private:
    void OnDialogFinished(int result);
    void SetSheetShown(bool shown);
    void OpenExporter(OSType type);

    std::unique_ptr<GraphicsExporter> mExporter;
    OSType mType = 0;
    bool mCancelled = false;
    QString mDestination;
    QString mSingleOutput;
    QPointer<QWidget> mWindow;
    QPointer<QFileDialog> mDialog;
    QComboBox* mFormatPopup = nullptr;
    QPushButton* mOptionsButton = nullptr;
    ModelBusyMark mBusy;
    TLivePtr<CIndexItem> mFirstItem;
};

// CExportFilesTask (title 601:37) for the items: asks where to write them as image
// files, window-modal on `window` when one is given, then writes them.
void StartExportFilesTask(CIndexModel& model, const std::vector<CIndexItem*>& items, QWidget* window);
