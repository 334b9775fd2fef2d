#include "CImportFilesTask.h"

#include "CImportFolderTask.h"
#include "CatalogueRoutines.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileRoutines.h"
#include "LocalizedStrings.h"
#include "MediaFactory.h"
#include "TaskOwnerView.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTreeView>
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

// Qt's own dialog (not the desktop's), so that files and folders can be chosen
// together and packages are not entered. What is imported is what the user
// named last: the names typed into the field (absolute, "~/", or relative to the
// folder shown), or else the rows highlighted in the file list; never the places
// of the side bar.
class ImportChooser : public QFileDialog {
public:
    ImportChooser(QWidget* parent, const QString& title)
        : QFileDialog(parent, title)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFiles);
        setProxyModel(new ChooserFilter);
        mField = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        mList = findChild<QListView*>(QStringLiteral("listView"));
        // The list and the detail view share one selection. The dialog itself
        // highlights the rows a typed name matches; only a click or a key in a view
        // makes the highlighted rows the choice.
        for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(mList),
                 static_cast<QAbstractItemView*>(findChild<QTreeView*>(QStringLiteral("treeView")))}) {
            if (!view)
                continue;
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
            view->installEventFilter(this);
            view->viewport()->installEventFilter(this);
        }
        if (mField)
            connect(mField, &QLineEdit::textEdited, this, [this] { mTypedLast = true; });
        // An index package is chosen as a whole, never entered.
        connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
            if (IsIndexPackageURL(QUrl::fromLocalFile(folder))) {
                setDirectory(QFileInfo(folder).path());
                selectFile(QFileInfo(folder).fileName());
            }
        });
    }

    const QList<QUrl>& Chosen() const { return mChosen; }

    // The Import button and Return in the field both come here.
    void accept() override
    {
        QStringList paths = mTypedLast ? TypedPaths() : HighlightedPaths();
        if (paths.isEmpty())
            paths = mTypedLast ? HighlightedPaths() : TypedPaths();
        if (paths.isEmpty())
            return;
        for (const QString& path : paths) {
            if (!QFileInfo::exists(path)) {
                QMessageBox::warning(this, windowTitle(),
                    QCoreApplication::translate("QFileDialog", "%1\nFile not found.\nPlease verify the correct file name was given.")
                        .arg(QDir::toNativeSeparators(path)));
                return;
            }
        }
        mChosen.clear();
        for (const QString& path : paths) {
            const QUrl url = QUrl::fromLocalFile(path);
            if (!mChosen.contains(url))
                mChosen << url;
        }
        QDialog::accept();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)
            mTypedLast = false;
        return QFileDialog::eventFilter(watched, event);
    }

private:
    // The names in the field: one name, or several each in double quotes.
    QStringList TypedPaths() const
    {
        const QString text = mField ? mField->text() : QString();
        QStringList names;
        if (text.contains(QLatin1Char('"'))) {
            const QStringList parts = text.split(QLatin1Char('"'));
            for (qsizetype i = 1; i < parts.size(); i += 2)
                names << parts[i];
        } else {
            names << text;
        }
        QStringList paths;
        const QDir shown = directory();
        for (const QString& name : std::as_const(names)) {
            if (name.trimmed().isEmpty())
                continue;
            QString path = name;
            if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
                path = QDir::homePath() + path.mid(1);
            paths << QDir::cleanPath(shown.absoluteFilePath(path));
        }
        return paths;
    }

    QStringList HighlightedPaths() const
    {
        QStringList paths;
        if (!mList || !mList->selectionModel())
            return paths;
        for (const QModelIndex& index : mList->selectionModel()->selectedRows())
            paths << index.data(QFileSystemModel::FilePathRole).toString();
        return paths;
    }

    QLineEdit* mField = nullptr;
    QListView* mList = nullptr;
    bool mTypedLast = true;
    QList<QUrl> mChosen;
};

} // namespace

CImportFilesTask::CImportFilesTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model)
    : CVisualTask(titleList, titleIndex, &model)
{
    if (model.IsItemListLocked())
        ThrowOSErr_(kMsgImportFiles, "the item list is locked");
    model.AddRunningTask(false);
}

CImportFilesTask::~CImportFilesTask()
{
    mBusy.Lower(GetModel());
    if (CIndexModel* model = GetModel())
        model->RemoveRunningTask(false);
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
    ImportChooser dialog(parent, title);
    dialog.setLabelText(QFileDialog::Accept, CopyLocalizedString(QStringLiteral("IMPORT_BUTTON")));
    dialog.setLabelText(QFileDialog::FileName, message);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.Chosen();
}

void CImportFilesTask::ChooseAndStart(QWidget* parent)
{
    TaskOwnerView* view = GetOwnerView();
    QString name = view ? view->GetWindowTitle() : QString();
    SetChosenURLs(ChooseFilesAndFolders(parent, CopyLocalizedCFString(600, 64) + name, CopyLocalizedCFString(600, 65)));
    Start();
}

void CImportFilesTask::RunTask()
{
    CIndexModel* model = GetModel();
    if (mChosen.isEmpty() || !model)
        return;
    mBusy.Raise(*model);
    ShowProgress(0.1);
    SetProgressMax(SInt32(mChosen.size()));
    SInt32 index = 0;
    while (!mChosen.isEmpty()) {
        const QUrl url = mChosen.takeFirst();
        ++index;
        CheckPause();
        ImportURL(*model, url, kInsertAtEnd); // a new item is a change of the model
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
    CIndexModel* model = GetModel();
    if (!model)
        return;
    // Lowered only when raised: a cancelled choice never made the index busy.
    mBusy.Lower(model);
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
}
