// Opening, making and printing documents; the open dialog; page setup.
#include "COrvexApp.h"

#include "AppLog.h"
#include "BundleStrings.h"
#include "CatalogueRoutines.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "LDocument.h"
#include "LWindow.h"
#include "MediaFactory.h"
#include "Preferences.h"
#include "SpecialFolders.h"
#include "UPageFormat.h"

#include <QFileDialog>
#include <QImageReader>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSortFilterProxyModel>
#include <QFileSystemModel>

namespace {
constexpr OSType kIndexFileType = 'OIDX';

// The open dialog: packages are documents, chosen as a whole rather than entered;
// a plain folder can be chosen too (it is imported). Only what can be opened shows.
class COpenDialog : public QFileDialog {
public:
    COpenDialog()
        : QFileDialog(nullptr, BundleLocalizedString(QStringLiteral("600:38")))
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFiles);
        setLabelText(QFileDialog::FileName, BundleLocalizedString(QStringLiteral("600:39")));
        setProxyModel(new Filter(this));
        connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
            // A package is a document: entering it chooses it.
            if (IsIndexPackageURL(QUrl::fromLocalFile(folder))) {
                mChosen = { folder };
                done(QDialog::Accepted);
            }
        });
    }

    QStringList Chosen() const { return mChosen; }

    void accept() override
    {
        const QStringList selected = selectedFiles();
        bool folders = std::any_of(selected.begin(), selected.end(), [](const QString& p) { return QFileInfo(p).isDir(); });
        if (folders && !selected.isEmpty()) {
            mChosen = selected;
            QDialog::accept();
            return;
        }
        mChosen = selected;
        QFileDialog::accept();
    }

private:
    class Filter : public QSortFilterProxyModel {
    public:
        using QSortFilterProxyModel::QSortFilterProxyModel;

    protected:
        bool filterAcceptsRow(int row, const QModelIndex& parent) const override
        {
            auto* model = qobject_cast<QFileSystemModel*>(sourceModel());
            if (!model)
                return true;
            QModelIndex index = model->index(row, 0, parent);
            return COrvexApp::OpenDialogShows(FileRef(model->filePath(index)));
        }
    };

    QStringList mChosen;
};
} // namespace

bool COrvexApp::OpenDialogShows(const FileRef& item)
{
    if (item.IsFolder())
        return true;
    OSType type = 0, creator = 0;
    if (GetFileTypeAndCreator(item.ToUrl(), &type, &creator) == noErr && (type == kIndexFileType || IsSupportedMediaType(type)))
        return true;
    if (IsSupportedMediaType(GetFileTypeForExtension(item.Name())) || IsRawExtension(item.Name()))
        return true;
    // Anything else an image reader recognises by its first bytes.
    return QImageReader(item.Path()).canRead();
}

void COrvexApp::ChooseDocument()
{
    COpenDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.Chosen();
    if (!chosen.isEmpty())
        OpenOrPrintDocList(chosen, false);
}

void COrvexApp::SetupPage()
{
    QPrinter printer;
    QPageLayout layout;
    QByteArray stored;
    if (GetPrefHandle(QStringLiteral("IndexPrintSettings"), stored) && UnflattenPageFormat(stored, layout))
        printer.setPageLayout(layout);
    QPageSetupDialog dialog(&printer);
    if (dialog.exec() == QDialog::Accepted)
        SetPrefHandle(QStringLiteral("IndexPrintSettings"), FlattenPageFormat(printer.pageLayout()));
}

// Until the index document exists, the commands that make or open one say so.
void COrvexApp::OpenDocument(const FileRef& file)
{
    if (!file.Exists())
        ThrowOSErr_(fnfErr, file.Path().toStdString());
    ThrowOSErr_(unimpErr, "opening documents");
}

void COrvexApp::PrintDocument(const FileRef& file)
{
    OpenDocument(file);
}

void COrvexApp::MakeNewDocument()
{
    ThrowOSErr_(unimpErr, "new documents");
}

void COrvexApp::OpenSampleIndex()
{
    ThrowOSErr_(unimpErr, "the sample index");
}

void COrvexApp::NewPictureLibraryIndex()
{
    ThrowOSErr_(unimpErr, "picture library");
}

void COrvexApp::NewActiveFontsIndex()
{
    ThrowOSErr_(unimpErr, "active fonts");
}

void COrvexApp::NewSpecialFolderIndex(CommandT command)
{
    FileRef folder = SpecialFolderForCommand(command);
    if (!folder.IsValid())
        ThrowOSErr_(fnfErr, "no folder for command " + std::to_string(command));
    ThrowOSErr_(unimpErr, "special folder index");
}
