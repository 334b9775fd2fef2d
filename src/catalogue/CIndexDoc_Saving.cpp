// Saving an index: the save sheet with its media choice, the save-changes and
// discard questions, their answers, revert and the after-save actions.

#include "CIndexDoc.h"

#include "PrefKeys.h"

#include "CIndexPackage.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "LApplication.h"
#include "LBroadcaster.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TaskServices.h"
#include "WindowUtilities.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString kPackageExtension = QStringLiteral(".idxp");
constexpr int kMaxTitleLength = 255;

// The three media choices of the save sheet, first to third button.
constexpr const char* kMediaOptionKeys[] = { "SAVE_MEDIA_KEEP", "SAVE_MEDIA_STORE", "SAVE_MEDIA_STORE_REMOVE" };

QString LocalizedText(const char* key)
{
    return CopyLocalizedString(QLatin1String(key));
}

} // namespace

void CIndexDoc::RunSheet(QDialog* sheet)
{
    if (mSheet)
        mSheet->deleteLater();
    mSheet = sheet;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

void CIndexDoc::SheetFinished()
{
    mSheet = nullptr;
}

// ---------------------------------------------------------------------------
// The sheets

bool CIndexDoc::AskSaveAs(const FileRef&, bool)
{
    QString name = GetDescriptor().left(kMaxTitleLength);
    if (name.isEmpty())
        ThrowOSErr_(err_NilPointer, "the index window has no title to offer as a name");
    mSaveDialogKind = 2;
    if (!name.endsWith(kPackageExtension))
        name += kPackageExtension;

    auto* dialog = new QFileDialog(GetWindow()->GetShell(), LocalizedText("SAVE_AS_TITLE"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Our own dialog, so the media choice can sit inside it.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setNameFilter(LocalizedText("SAVE_AS_FILTER") + QStringLiteral(" (*.idxp)"));
    if (mPackage)
        dialog->setDirectory(FileRef::FromUrl(mPackage->GetPackageURL()).Parent().Path());
    dialog->selectFile(name);

    // The custom area: three buttons on the view's store and remove options.
    auto* box = new QGroupBox(dialog);
    box->setObjectName(QStringLiteral("mediaOptions"));
    auto* boxLayout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    for (int i = 0; i < 3; ++i) {
        auto* button = new QRadioButton(LocalizedText(kMediaOptionKeys[i]), box);
        button->setObjectName(QStringLiteral("mediaOption%1").arg(i + 1));
        group->addButton(button, i + 1);
        boxLayout->addWidget(button);
    }
    if (auto* button = group->button(GetMediaOptionButton()))
        button->setChecked(true);
    QObject::connect(group, &QButtonGroup::idClicked, [this](int id) { ChooseMediaOption(id); });
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    mSaveDialogKind = 0;

    // A package is a document, not a folder to walk into: choosing one is the answer.
    auto chosenPackage = std::make_shared<QString>();
    QObject::connect(dialog, &QFileDialog::directoryEntered, [dialog, chosenPackage](const QString& path) {
        if (!IsIndexPackageURL(QUrl::fromLocalFile(path)) || !chosenPackage->isEmpty())
            return;
        *chosenPackage = path;
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
    QObject::connect(dialog, &QDialog::finished, [this, dialog, chosenPackage](int result) {
        SheetFinished();
        if (result != QDialog::Accepted || (chosenPackage->isEmpty() && dialog->selectedFiles().isEmpty())) {
            HandleSheetAnswer(sheet_Cancel);
            return;
        }
        QString path = chosenPackage->isEmpty() ? dialog->selectedFiles().constFirst() : *chosenPackage;
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        if (!path.endsWith(kPackageExtension))
            path += kPackageExtension;
        HandleSheetAnswer(sheet_SaveAs, QUrl::fromLocalFile(path + QLatin1Char('/')));
    });
    RunSheet(dialog);
    return false;
}

SInt32 CIndexDoc::GetMediaOptionButton() const
{
    if (mModel->TestFlags(kViewOptionRemoveMedia))
        return 3;
    return mModel->TestFlags(kViewOptionStoreMedia) ? 2 : 1;
}

void CIndexDoc::ChooseMediaOption(SInt32 button)
{
    switch (button) {
    case 1:
        mModel->ClearFlags(kViewOptionStoreMedia | kViewOptionRemoveMedia);
        break;
    case 2:
        mModel->SetFlags(kViewOptionStoreMedia);
        mModel->ClearFlags(kViewOptionRemoveMedia);
        break;
    case 3:
        mModel->SetFlags(kViewOptionStoreMedia | kViewOptionRemoveMedia);
        break;
    default:
        return;
    }
    // The package made from the dialog's answer takes its options from these.
    Pref::IndexStoreMediaFile.Set(mModel->TestFlags(kViewOptionStoreMedia));
    Pref::IndexRemoveMediaFile.Set(mModel->TestFlags(kViewOptionRemoveMedia));
    mIndexView->GetViewBroadcaster().BroadcastMessage(msg_IndexViewStateChanged, nullptr);
}

ESaveAnswer CIndexDoc::AskSaveChanges(bool quitting)
{
    if (mPendingAction != kPendingReuse)
        mPendingAction = quitting ? kPendingQuit : kPendingClose;
    if (GetPrefBoolean(QStringLiteral("IndexAutoSave")) && IsSpecified()) {
        DoSave();
        return answer_Save;
    }
    const QString title = GetDescriptor();
    if (title.isEmpty())
        ThrowOSErr_(err_NilPointer, "the index window has no title to ask about");
    GetWindow()->Select();
    QMessageBox* box = NewChangesAlert(title, LocalizedText("SAVE_CHANGES_QUESTION").arg(title),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, GetWindow()->GetShell());
    box->setInformativeText(LocalizedText(quitting ? "SAVE_CHANGES_QUITTING" : "SAVE_CHANGES_CLOSING"));
    box->setDefaultButton(QMessageBox::Save);
    QObject::connect(box, &QMessageBox::finished, [this, box](int) {
        SheetFinished();
        const QMessageBox::StandardButton clicked = box->standardButton(box->clickedButton());
        HandleSheetAnswer(clicked == QMessageBox::Save ? sheet_SaveChanges
                : clicked == QMessageBox::Discard      ? sheet_DontSave
                                                       : sheet_Cancel);
    });
    RunSheet(box);
    return answer_Cancel;
}

void CIndexDoc::AskConfirmRevert()
{
    const QString title = GetDescriptor();
    QMessageBox* box = NewChangesAlert(title, LocalizedText("DISCARD_CHANGES_QUESTION").arg(title),
        QMessageBox::Discard | QMessageBox::Cancel, GetWindow()->GetShell());
    box->setDefaultButton(QMessageBox::Cancel);
    QObject::connect(box, &QMessageBox::finished, [this, box](int) {
        SheetFinished();
        const bool discard = box->standardButton(box->clickedButton()) == QMessageBox::Discard;
        HandleSheetAnswer(discard ? sheet_DiscardChanges : sheet_Cancel);
    });
    RunSheet(box);
}

// ---------------------------------------------------------------------------
// The answers

void CIndexDoc::HandleSheetAnswer(ESheetAnswer answer, const QUrl& saveURL)
{
    // Closing from inside an answer only marks the document; it goes at the end,
    // when nothing here uses it any more.
    ++mAnswerDepth;
    try {
        switch (answer) {
        case sheet_Cancel:
            mPendingAction = kPendingNone;
            break;
        case sheet_SaveAs:
            SaveAsTo(saveURL);
            break;
        case sheet_SaveChanges:
            if (!IsSpecified())
                ObeyCommand(cmd_SaveAs, nullptr);
            else
                DoSave();
            break;
        case sheet_DontSave:
            mSaveDialogKind = 4;
            if (mPendingAction == kPendingReuse) {
                ResetForReuse();
            } else {
                mQuitAfterClose = mPendingAction == kPendingQuit;
                Close();
            }
            break;
        case sheet_DiscardChanges:
            DoRevert();
            break;
        }
    } catch (const ExceptionCode& e) {
        ReportError(e);
    }
    if (--mAnswerDepth > 0 || !mDeleteWhenDone)
        return;
    const bool quit = mQuitAfterClose;
    const QUrl reopen = mReopenAfterClose;
    FinalClose(); // deletes this
    if (!reopen.isEmpty()) {
        if (IndexDocAppServices* services = GetIndexDocAppServices())
            services->SendOpenDocumentEvent(reopen);
    }
    if (quit)
        ContinueQuitting();
}

void CIndexDoc::ContinueQuitting()
{
    if (IndexDocAppServices* services = GetIndexDocAppServices())
        services->ContinueQuitting();
    else if (LApplication* application = LApplication::GetApplication())
        application->DoQuit('ask ');
}

void CIndexDoc::SaveAsTo(const QUrl& packageURL)
{
    // Made first: a folder that cannot be made leaves the document as it was.
    auto package = std::make_unique<CIndexPackage>(packageURL, mModel.get());
    ThrowIfOSErr_(package->Lock());
    // Items still read their thumbnails and media through the old package while
    // the write copies them into the new one: it stays alive with the document.
    if (mPackage)
        mRetiredPackages.push_back(std::move(mPackage));
    mPackage = std::move(package);

    QString title = FileRef::FromUrl(packageURL).Name();
    if (title.endsWith(kPackageExtension, Qt::CaseInsensitive))
        title.chop(kPackageExtension.size());
    SetWindowTitleCF(title);
    if (OSStatus err = SetWindowProxyURL(GetWindow(), packageURL, false))
        ThrowOSErr_(err);
    SetFile(FileRef::FromUrl(mPackage->GetPackageURL()));
    SetSpecified(true);
    mImportedFolderProxy = false;
    if (IndexDocAppServices* services = GetIndexDocAppServices())
        services->AddRecentURL(packageURL);
    ClearFlags(kDocWindowReused);
    DoSave();
}

void CIndexDoc::DoSave()
{
    GetTaskServices().StartWriteIndexTask(this);
}

void CIndexDoc::DoRevert()
{
    if (!mPackage)
        ThrowOSErr_(err_NilPointer, "an untitled index cannot be reverted");
    FileRef package;
    ThrowIfOSErr_(GetFSSpecFromURL(mPackage->GetPackageURL(), package));
    IndexDocAppServices* services = GetIndexDocAppServices();
    ThrowIfNil_(services);
    const QUrl url = mPackage->GetPackageURL();
    if (mAnswerDepth > 0) {
        // The package opens again once this document is gone (end of the answer).
        mReopenAfterClose = url;
        Close();
        return;
    }
    Close(); // deletes this: only locals from here on
    services->SendOpenDocumentEvent(url);
}

void CIndexDoc::SaveEnded(bool succeeded)
{
    // A failed save keeps the document modified and cancels what was to follow.
    const SInt32 action = std::exchange(mPendingAction, kPendingNone);
    if (succeeded) {
        IndexSaved();
        RunPendingSaveAction(action);
    }
}

void CIndexDoc::RunPendingSaveAction(SInt32 action)
{
    if (action == kPendingNone)
        return;
    // The timer is the document's: a document closed meanwhile takes it along.
    mAfterSaveTimer.Install(0, 0, [this, action] {
        switch (action) {
        case kPendingClose:
            AttemptClose(false); // may delete this
            break;
        case kPendingQuit:
            mQuitTimer.Install(1.0, 0, [] { ContinueQuitting(); });
            break;
        case kPendingReuse:
            ResetForReuse();
            break;
        default:
            break;
        }
    });
}

void CIndexDoc::DiscardDocument()
{
    mOpenFailed = true;
    mAfterSaveTimer.Install(0, 0, [this] { Close(); });
}
