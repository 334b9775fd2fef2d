#include "COpenDialog.h"

#include "BundleStrings.h"
#include "COrvexApp.h"
#include "FileRoutines.h"

#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QSortFilterProxyModel>

#include <algorithm>

namespace {
// Shows only what the program can open.
class OpenableFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        auto* model = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!model)
            return true;
        return COrvexApp::OpenDialogShows(FileRef(model->filePath(model->index(row, 0, parent))));
    }
};
} // namespace

COpenDialog::COpenDialog()
    : QFileDialog(nullptr, BundleLocalizedString(QStringLiteral("600:38")))
{
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    // The dialog's message, under the files (this dialog's own layout is a grid).
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        auto* message = new QLabel(BundleLocalizedString(QStringLiteral("600:39")), this);
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    setProxyModel(new OpenableFilter(this));
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
        // A package is a document: entering it chooses it.
        if (IsIndexPackageURL(QUrl::fromLocalFile(folder))) {
            mChosen = { folder };
            done(QDialog::Accepted);
        }
    });
}

void COpenDialog::accept()
{
    mChosen = selectedFiles();
    // Folders (packages among them) are chosen, not entered.
    if (std::any_of(mChosen.begin(), mChosen.end(), [](const QString& path) { return QFileInfo(path).isDir(); })) {
        QDialog::accept();
        return;
    }
    QFileDialog::accept();
}
