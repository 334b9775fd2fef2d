// The export task's file dialog with its format chooser, and the options dialog.
#include "CExportFilesTask.h"

#include "CIndexItem.h"
#include "CParentWindow.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "GraphicsExporter.h"
#include "LDialogBox.h"
#include "LocalizedStrings.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

LPane& RequirePane(LView& view, PaneIDT paneID)
{
    LPane* pane = view.FindPaneByID(paneID);
    if (!pane)
        ThrowOSErr_(err_NilPointer, "export options pane " + std::to_string(paneID) + " is missing");
    return *pane;
}

SInt32 NumberIn(LView& dialog, PaneIDT paneID)
{
    bool ok = false;
    const SInt32 value = RequirePane(dialog, paneID).GetCFDescriptor().trimmed().toInt(&ok);
    return ok ? value : 0;
}

// The typed file name of a save dialog (Qt's own dialog names its field so).
QLineEdit* FileNameField(QFileDialog& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

} // namespace

void CExportFilesTask::SetSheetShown(bool shown)
{
    if (auto* window = dynamic_cast<CParentWindow*>(mWindow.data())) {
        window->SetSheetRef(shown ? mDialog.data() : nullptr);
        window->SetSheetShown(shown);
    }
}

void CExportFilesTask::AskDestination()
{
    const SInt32 pending = CountItems();
    auto* dialog = new QFileDialog(mWindow ? mWindow->window() : nullptr,
        CopyLocalizedString(QStringLiteral("EXPORT_MEDIA_WINDOW_TITLE")));
    mDialog = dialog;
    // Qt's own dialog: it takes the format chooser and the options button.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setLabelText(QFileDialog::Accept, CopyLocalizedString(QStringLiteral("EXPORT_BUTTON_LABEL")));
    QString message;
    if (pending == 1 && mFirstItem) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->selectFile(SanitizeFileName(mFirstItem.Get()->GetName()));
        message = CopyLocalizedString(QStringLiteral("EXPORT_ONE_MEDIA_PROMT"));
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        message = CopyLocalizedString(QStringLiteral("EXPORT_MANY_MEDIA_PROMT")).arg(pending);
    }

    auto* custom = new QWidget(dialog);
    auto* row = new QGridLayout(custom);
    row->setContentsMargins(0, 6, 0, 0);
    auto* prompt = new QLabel(message, custom);
    prompt->setWordWrap(true);
    row->addWidget(prompt, 0, 0, 1, 3);
    row->addWidget(new QLabel(CopyLocalizedString(QStringLiteral("EXPORT_FORMAT_LABEL")), custom), 1, 0);
    mFormatPopup = new QComboBox(custom);
    for (OSType type : GraphicsExporter::AvailableTypes()) {
        std::unique_ptr<GraphicsExporter> exporter;
        if (GraphicsExporter::Open(type, exporter) == noErr)
            mFormatPopup->addItem(exporter->Name(), QVariant::fromValue(UInt32(type)));
    }
    row->addWidget(mFormatPopup, 1, 1);
    mOptionsButton = new QPushButton(CopyLocalizedString(QStringLiteral("EXPORT_OPTIONS_BUTTON")), custom);
    row->addWidget(mOptionsButton, 1, 2);
    row->setColumnStretch(1, 1);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(custom, grid->rowCount(), 0, 1, grid->columnCount());

    QObject::connect(mFormatPopup, &QComboBox::activated, dialog, [this](int index) {
        const OSType type = OSType(mFormatPopup->itemData(index).toUInt());
        const ExceptionCode error = CatchException([&] { SelectExporter(type); });
        if (error.Code() != noErr)
            ReportError(error, kNoteAlert);
    });
    QObject::connect(mOptionsButton, &QPushButton::clicked, dialog, [this] {
        const ExceptionCode error = CatchException([&] { EditExportOptions(); });
        if (error.Code() != noErr)
            ReportError(error, kNoteAlert);
    });
    QObject::connect(dialog, &QDialog::finished, dialog, [this](int result) { OnDialogFinished(result); });

    OSType type = OSType(ExportSettings::Read().type);
    if (!GraphicsExporter::CanExport(type) && mFormatPopup->count() > 0)
        type = OSType(mFormatPopup->itemData(0).toUInt());
    SelectExporter(type);

    if (mWindow)
        dialog->setWindowModality(Qt::WindowModal);
    SetSheetShown(true);
    dialog->open();
}

void CExportFilesTask::SelectExporter(OSType type)
{
    OpenExporter(type);
    if (mDialog && mDialog->acceptMode() == QFileDialog::AcceptSave) {
        QLineEdit* field = FileNameField(*mDialog);
        QString name = field ? field->text() : QString();
        if (name.isEmpty())
            name = CopyLocalizedString(QStringLiteral("Untitled"));
        if (name.isEmpty())
            ThrowOSErr_(err_AssertFailed, "no file name");
        // The folder's files of the format only, so that a name taken shows.
        mDialog->setNameFilter(QStringLiteral("%1 (*.%2)").arg(mExporter->Name(), mExporter->DefaultExtensionText()));
        mDialog->selectFile(NameWithExtension(name, mExporter->DefaultExtensionText()));
    }
    if (mFormatPopup) {
        const int index = mFormatPopup->findData(QVariant::fromValue(UInt32(type)));
        if (index >= 0)
            mFormatPopup->setCurrentIndex(index);
    }
    ExportSettings::SaveType(type);
}

void CExportFilesTask::OnDialogFinished(int result)
{
    SetSheetShown(false);
    QFileDialog* dialog = mDialog;
    mDialog = nullptr;
    mFormatPopup = nullptr;
    mOptionsButton = nullptr;
    const ExceptionCode error = CatchException([&] {
        if (result != QDialog::Accepted) {
            mCancelled = true;
            return;
        }
        const QString chosen = dialog->selectedFiles().value(0);
        if (chosen.isEmpty())
            ThrowOSErr_(err_AssertFailed, "nothing was chosen");
        if (dialog->acceptMode() == QFileDialog::AcceptSave) {
            // A name typed after the format was chosen still takes its extension.
            const QFileInfo file(chosen);
            SetOutputFile(file.dir().filePath(NameWithExtension(file.fileName(), mExporter->DefaultExtensionText())));
        } else {
            SetDestination(chosen);
            SetCaption6(QDir(chosen).dirName());
        }
    });
    if (error.Code() != noErr) {
        mCancelled = true;
        ReportError(error, kNoteAlert);
    }
    dialog->deleteLater();
    Start();
}

void CExportFilesTask::FillOptionsDialog(LDialogBox& dialog, const ExportSettings& settings,
    const GraphicsExporter* exporter)
{
    RequirePane(dialog, kPaneExportWidth).SetCFDescriptor(QString::number(settings.width));
    RequirePane(dialog, kPaneExportHeight).SetCFDescriptor(QString::number(settings.height));
    RequirePane(dialog, kPaneExportResolution).SetCFDescriptor(QString::number(settings.resolution));
    // The choices after the fields, whose typing selects the custom ones.
    RequirePane(dialog, kPaneExportNaturalSize).SetValue(settings.naturalBounds ? 1 : 0);
    RequirePane(dialog, kPaneExportCustomSize).SetValue(settings.naturalBounds ? 0 : 1);
    RequirePane(dialog, kPaneExportDefaultResolution).SetValue(settings.defaultResolution ? 1 : 0);
    RequirePane(dialog, kPaneExportCustomResolution).SetValue(settings.defaultResolution ? 0 : 1);
    RequirePane(dialog, kPaneExportMetaData).SetValue(settings.preserveMetaData ? 1 : 0);
    RequirePane(dialog, kPaneExportColorProfile).SetValue(settings.preserveColorProfile ? 1 : 0);
    RequirePane(dialog, kPaneExportThumbnail).SetValue(settings.embedThumbnail ? 1 : 0);
    RequirePane(dialog, kPaneExportAddToIndex).SetValue(settings.addToIndex ? 1 : 0);
    RequirePane(dialog, kPaneExportSettingsText).SetCFDescriptor(exporter ? exporter->SettingsAsText() : QString());
    if (LPane* settingsButton = dialog.FindPaneByID(msg_ExportFormatSettings)) {
        if (exporter && exporter->CanShowSettingsDialog())
            settingsButton->Enable();
        else
            settingsButton->Disable();
    }
}

ExportSettings CExportFilesTask::ReadOptionsDialog(LDialogBox& dialog, ExportSettings settings)
{
    settings.naturalBounds = RequirePane(dialog, kPaneExportCustomSize).GetValue() == 0;
    settings.width = NumberIn(dialog, kPaneExportWidth);
    settings.height = NumberIn(dialog, kPaneExportHeight);
    settings.defaultResolution = RequirePane(dialog, kPaneExportCustomResolution).GetValue() == 0;
    settings.resolution = NumberIn(dialog, kPaneExportResolution);
    settings.preserveMetaData = RequirePane(dialog, kPaneExportMetaData).GetValue() != 0;
    settings.preserveColorProfile = RequirePane(dialog, kPaneExportColorProfile).GetValue() != 0;
    settings.embedThumbnail = RequirePane(dialog, kPaneExportThumbnail).GetValue() != 0;
    settings.addToIndex = RequirePane(dialog, kPaneExportAddToIndex).GetValue() != 0;
    return settings;
}

void CExportFilesTask::EditExportOptions()
{
    StDialogHandler handler(kExportOptionsDialog, nullptr);
    LDialogBox& dialog = *handler.GetDialog();
    FillOptionsDialog(dialog, ExportSettings::Read(), mExporter.get());
    for (;;) {
        const MessageT message = handler.ModalLoop();
        switch (message) {
        case msg_ExportFormatSettings: {
            if (!mExporter || !mExporter->CanShowSettingsDialog())
                break;
            bool ok = false;
            const int percent = QInputDialog::getInt(dialog.GetShell(), mExporter->Name(),
                CopyLocalizedString(QStringLiteral("EXPORT_QUALITY_LABEL")),
                CodecQualityToPercent(mExporter->GetCompressionQuality()), 0, 100, 1, &ok);
            if (ok) {
                const CodecQ quality = CodecQ((percent * codecMaxQuality + 50) / 100);
                mExporter->SetCompressionQuality(quality);
                ExportSettings::SaveQuality(SInt32(quality));
                RequirePane(dialog, kPaneExportSettingsText).SetCFDescriptor(mExporter->SettingsAsText());
            }
            break;
        }
        case msg_ExportCustomSize:
            RequirePane(dialog, kPaneExportNaturalSize).SetValue(0);
            RequirePane(dialog, kPaneExportCustomSize).SetValue(1);
            break;
        case msg_ExportCustomResolution:
            RequirePane(dialog, kPaneExportDefaultResolution).SetValue(0);
            RequirePane(dialog, kPaneExportCustomResolution).SetValue(1);
            break;
        case msg_OK:
            ReadOptionsDialog(dialog, ExportSettings::Read()).SaveOptions();
            return;
        case msg_Cancel:
            return;
        default:
            break;
        }
    }
}
