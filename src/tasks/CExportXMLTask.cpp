#include "CExportXMLTask.h"

#include "CIndexItem.h"
#include "CParentWindow.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FieldDictionaryKeys.h"
#include "FileRef.h"
#include "LocalizedStrings.h"
#include "PropertyList.h"
#include "SafeSave.h"

#include <QFileDialog>
#include <QLoggingCategory>
#include <QVariantList>

namespace {

Q_LOGGING_CATEGORY(lcExportXML, "orvex.errors.exportxml")

const QString kPackageExtension = QStringLiteral(".idxp");
const QString kCopyrightNotice =
    QStringLiteral("Exported by Orvex, the media cataloguer. Copyright the Orvex developers.");
const QString kCompanyURL = QStringLiteral("https://orvex.org/");

void SetSheetShown(QWidget* window, QWidget* sheet, bool shown)
{
    if (auto* parent = dynamic_cast<CParentWindow*>(window)) {
        parent->SetSheetRef(shown ? sheet : nullptr);
        parent->SetSheetShown(shown);
    }
}

} // namespace

CExportXMLTask::CExportXMLTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model,
    IndexXMLData index)
    : CVisualTask(titleList, titleIndex, &model)
    , mIndex(std::move(index))
{
    model.AddRunningTask(false);
}

CExportXMLTask::~CExportXMLTask()
{
    if (mDialog) {
        SetSheetShown(mWindow, mDialog, false);
        mDialog->disconnect();
        delete mDialog.data();
    }
    mBusy.Lower(GetModel());
    if (CIndexModel* model = GetModel())
        model->RemoveRunningTask(false);
}

void CExportXMLTask::Finish(bool)
{
    // A task stopped in the middle lowers its busy mark too.
    mBusy.Lower(GetModel());
}

QString CExportXMLTask::DefaultFileName(const QString& title)
{
    QString name = title;
    if (name.endsWith(kPackageExtension, Qt::CaseInsensitive))
        name.chop(kPackageExtension.size());
    if (name.startsWith(kPackageExtension, Qt::CaseInsensitive))
        name.remove(0, kPackageExtension.size());
    return name + QStringLiteral(".xml");
}

QVariantMap CExportXMLTask::IndexDictionary(const IndexXMLData& index)
{
    QVariantMap data;
    if (!index.name.isEmpty())
        data.insert(QStringLiteral("IndexName"), index.name);
    if (!index.url.isEmpty())
        data.insert(QStringLiteral("IndexURL"), index.url);
    if (!index.caption.isEmpty())
        data.insert(QStringLiteral("IndexCaption"), index.caption);
    return data;
}

void CExportXMLTask::AskForFile(QWidget* window)
{
    mWindow = window;
    if (mIndex.name.isEmpty())
        ThrowOSErr_(err_NilPointer, "the index window has no title");
    auto* dialog = new QFileDialog(window ? window->window() : nullptr, CopyLocalizedString(QStringLiteral("Export XML")));
    mDialog = dialog;
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->selectFile(DefaultFileName(mIndex.name));
    const QString message = mIndex.selectedOnly
        ? CopyLocalizedString(QStringLiteral("Export %d selected items as xml:")).arg(CountItems())
        : CopyLocalizedString(QStringLiteral("Export index \"%@\" as xml (%d items):")).arg(mIndex.name).arg(CountItems());
    dialog->setLabelText(QFileDialog::FileName, message);
    QObject::connect(dialog, &QDialog::finished, dialog, [this](int result) { OnDialogFinished(result); });
    if (window)
        dialog->setWindowModality(Qt::WindowModal);
    SetSheetShown(mWindow, dialog, true);
    dialog->open();
}

void CExportXMLTask::OnDialogFinished(int result)
{
    QFileDialog* dialog = mDialog;
    mDialog = nullptr;
    SetSheetShown(mWindow, nullptr, false);
    // Nothing is written here: the file is replaced only once its data exist.
    const QString chosen = dialog->selectedFiles().value(0);
    if (result != QDialog::Accepted) {
        mCancelled = true;
    } else if (chosen.isEmpty()) {
        mCancelled = true;
        ReportError(ExceptionCode(err_AssertFailed, "no file name"), kNoteAlert);
    } else {
        mFile = chosen;
    }
    dialog->deleteLater();
    Start();
}

void CExportXMLTask::RunTask()
{
    CIndexModel* model = GetModel();
    if (mCancelled || mFile.isEmpty() || !model)
        return;
    const ExceptionCode error = CatchException([&] {
        mBusy.Raise(*model);
        const SInt32 count = CountItems();
        SetProgressMin(0);
        SetProgressMax(count);
        SetStatusCaption(601, 38);
        ShowProgress(0.1);

        QVariantMap top;
        top.insert(QStringLiteral("Copyright Notice"), kCopyrightNotice);
        top.insert(QStringLiteral("Company URL"), kCompanyURL);
        top.insert(QStringLiteral("IndexData"), IndexDictionary(mIndex));
        // The field menu once for the whole list, and each item's position from
        // the loop rather than a search of the list.
        const FieldDictionaryKeys fields = FieldDictionaryKeys::Load();
        QVariantList list;
        list.reserve(count);
        while (CountItems() > 0) {
            CheckPause();
            CIndexItem* item = NextItemIfAny();
            if (!item)
                break;
            const SInt32 done = count - CountItems();
            SetProgress(done);
            SetItemCaption(item->GetName());
            list.append(item->CopyFieldDictionary(fields, done));
            YieldIfTimeUp(kUseTaskSlice);
        }
        top.insert(QStringLiteral("IndexMediaList"), list);
        ThrowIfOSErr_(ReplaceFileSafely(mFile, PropertyList::ToXML(top, PropertyList::EForbiddenCharacters::LeftOut)));

        FinderInfo info;
        info.SetType('TEXT');
        info.SetCreator('ttxt');
        if (const OSStatus typed = WriteFinderInfo(FileRef(mFile), info); typed != noErr)
            qCWarning(lcExportXML) << "type and creator not kept for" << mFile << typed;
    });
    if (error.Code() != noErr && error.Code() != userCanceledErr)
        ReportError(error, kNoteAlert);
    mBusy.Lower(model);
}
