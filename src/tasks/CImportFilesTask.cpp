#include "CImportFilesTask.h"

#include "CatalogueRoutines.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileRoutines.h"
#include "LocalizedStrings.h"
#include "MediaFactory.h"
#include "TaskOwnerView.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QPushButton>
#include <QSortFilterProxyModel>

namespace {

constexpr OSType kIndexFileType = 'OIDX';

// Hides what cannot be catalogued.
class ChooserFilter : public QSortFilterProxyModel {
protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!files)
            return true;
        return CImportFilesTask::IsShownInChooser(files->filePath(files->index(row, 0, parent)));
    }
};

} // namespace

CImportFilesTask::CImportFilesTask(SInt16 titleList, SInt16 titleIndex, TaskOwnerView* owner)
    : CVisualTask(titleList, titleIndex, owner)
{
    if (owner && owner->GetModel().IsItemListLocked())
        ThrowOSErr_(kMsgImportFiles, "the item list is locked");
    if (owner)
        owner->GetModel().AddRunningTask(false);
}

CImportFilesTask::~CImportFilesTask()
{
    mBusy.Lower(GetOwner());
    if (TaskOwnerView* owner = GetOwner())
        owner->GetModel().RemoveRunningTask(false);
}

bool CImportFilesTask::IsShownInChooser(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (IsSupportedMediaType(GetFileTypeForExtension(info.fileName())))
        return true;
    FinderInfo finder;
    if (GetFinderInfoOfFSRef(FileRef(path), &finder) != noErr)
        return false;
    return IsSupportedMediaType(finder.Type()) || finder.Type() == kIndexFileType;
}

QList<QUrl> CImportFilesTask::ChooseFilesAndFolders(QWidget* parent, const QString& title, const QString& message)
{
    // Qt's own dialog (not the desktop's), so that files and folders can be
    // chosen together and packages are not entered.
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setLabelText(QFileDialog::Accept, CopyLocalizedString(QStringLiteral("IMPORT_BUTTON")));
    dialog.setLabelText(QFileDialog::FileName, message);
    dialog.setProxyModel(new ChooserFilter);
    QList<QUrl> chosen;
    auto choose = [&] {
        chosen.clear();
        for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
            if (!view->isVisible() || !view->selectionModel())
                continue;
            // The list and the detail view share one selection: take each entry once.
            for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
                const QUrl url = QUrl::fromLocalFile(QDir(dialog.directory()).filePath(index.data().toString()));
                if (!chosen.contains(url))
                    chosen << url;
            }
        }
        static_cast<QDialog&>(dialog).done(QDialog::Accepted);
    };
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        if (QPushButton* accept = buttons->button(QDialogButtonBox::Open)) {
            accept->disconnect();
            QObject::connect(accept, &QPushButton::clicked, &dialog, choose);
        }
    }
    // An index package is chosen as a whole, never entered.
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, [&](const QString& folder) {
        if (IsIndexPackageURL(QUrl::fromLocalFile(folder))) {
            dialog.setDirectory(QFileInfo(folder).path());
            dialog.selectFile(QFileInfo(folder).fileName());
        }
    });
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (chosen.isEmpty())
        chosen = dialog.selectedUrls();
    return chosen;
}

void CImportFilesTask::ChooseAndStart(QWidget* parent)
{
    QString name = GetOwner() ? GetOwner()->GetWindowTitle() : QString();
    SetChosenURLs(ChooseFilesAndFolders(parent, CopyLocalizedCFString(600, 64) + name, CopyLocalizedCFString(600, 65)));
    Start();
}

void CImportFilesTask::RunTask()
{
    TaskOwnerView* owner = GetOwner();
    if (mChosen.isEmpty() || !owner)
        return;
    mBusy.Raise(*owner);
    ShowProgress(0.1);
    SetProgressMax(SInt32(mChosen.size()));
    SInt32 index = 0;
    while (!mChosen.isEmpty()) {
        const QUrl url = mChosen.takeFirst();
        ++index;
        CheckPause();
        owner->ImportURL(url, kInsertAtEnd, true);
        owner->GetModel().SetModified(true);
        if (YieldIfTimeUp(kUseTaskSlice)) {
            SetProgress(index);
            SetItemCaption(QFileInfo(url.path()).fileName());
            SInt32 zero = 0;
            Broadcast(msg_ViewStateChanged, &zero);
        }
    }
    Finish(false);
}

void CImportFilesTask::Finish(bool)
{
    TaskOwnerView* owner = GetOwner();
    if (!owner)
        return;
    // Lowered only when raised: a cancelled choice never made the view busy.
    mBusy.Lower(owner);
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
}
