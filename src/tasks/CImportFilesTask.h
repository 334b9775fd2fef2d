#pragma once

#include "CVisualTask.h"
#include "TaskOwnerView.h"

#include <QList>
#include <QUrl>

class QWidget;

// Adds the files and folders the user chooses to the index, each through
// ImportURL (a folder starts a folder import). The chooser
// shows folders and the files the program can catalogue, lets both be chosen,
// and never enters an index package (it is chosen as a whole, and then left
// out by the import). The task starts whether or not anything was chosen.
class CImportFilesTask : public CVisualTask {
public:
    // Throws 100056 while the index's item list is locked.
    CImportFilesTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model);
    ~CImportFilesTask() override;

    // Shows the chooser on the window of `parent` (title "600:64" and the index's
    // name, message "600:65"), then starts the task.
    void ChooseAndStart(QWidget* parent);
    // The files to import, without asking (drops, the chooser's answer).
    void SetChosenURLs(QList<QUrl> urls) { mChosen = std::move(urls); }
    const QList<QUrl>& GetChosenURLs() const { return mChosen; }

    void Finish(bool stopped) override;

    // The chooser itself: files and folders; an empty list when cancelled.
    static QList<QUrl> ChooseFilesAndFolders(QWidget* parent, const QString& title, const QString& message);
    // Whether the chooser shows a file: a folder, a file of a supported media
    // type (by its stored type or its name), or an index.
    static bool IsShownInChooser(const QString& path);

protected:
    void RunTask() override;

private:
    QList<QUrl> mChosen;
    ModelBusyMark mBusy;
};
