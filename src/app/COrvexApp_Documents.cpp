// Opening, making and printing documents; what the open dialog shows; page setup.
#include "COrvexApp.h"

#include "PrefKeys.h"

#include "AppLog.h"
#include "CImportFolderTask.h"
#include "CImportFontsTask.h"
#include "CImportiPhotoTask.h"
#include "CIndexDoc.h"
#include "LocalizedStrings.h"
#include "COpenDialog.h"
#include "CatalogueRoutines.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "IndexDropData.h"
#include "LDocument.h"
#include "LWindow.h"
#include "MediaFactory.h"
#include "Preferences.h"
#include "Printing.h"
#include "UserFolders.h"
#include "UPageFormat.h"
#include "UReportErrors.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QImageReader>
#include <QPagedPaintDevice>
#include <QTimer>

#include <algorithm>

namespace {
constexpr OSType kIndexFileType = 'OIDX';
// How often a document opened for printing is asked whether it has been read.
constexpr int kPrintPollMilliseconds = 100;
// A program ending without asking lets a save being written finish for this long,
// looking this often.
constexpr int kEndingPatienceMilliseconds = 3000;
constexpr int kEndingPollMilliseconds = 50;

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
    QByteArray stored;
    Pref::IndexPrintSettings.Get(stored);
    const std::unique_ptr<QPagedPaintDevice> printer = Printing::MakePrinter(stored);
    if (Printing::MakeDialog(Printing::Dialog::PageSetup, *printer, nullptr)->exec() == QDialog::Accepted)
        Pref::IndexPrintSettings.Set(FlattenPageFormat(printer->pageLayout()));
}

namespace {
// The file behind alias files (links), followed to the end of a chain. A file
// manager cannot hand over an index package (to it a folder is only a folder): the
// "index.db" inside one, which it can, stands for the package.
FileRef ResolveAliasFile(const FileRef& file)
{
    const FileRef target = file.Canonical().IsValid() ? file.Canonical() : file;
    if (target.Name() == QLatin1String(kIndexDataFileName) && IsIndexPackageURL(target.Parent().ToUrl()))
        return target.Parent();
    return target;
}

// The open document of the file, found by the file itself (never by a title).
LSingleDoc* OpenDocumentOfFile(const FileRef& file)
{
    if (auto* document = dynamic_cast<LSingleDoc*>(LDocument::FindDocumentForFile(file)))
        return document;
    return CIndexDoc::FindDocForPackage(file.ToUrl());
}

void SelectDocumentWindow(LSingleDoc* document)
{
    if (LWindow* window = document->GetWindow())
        window->Select();
}
} // namespace

CIndexDoc* COrvexApp::MakeUntitledIndex()
{
    auto* document = new CIndexDoc(this, QUrl(), false, false);
    ThrowIfNil_(document);
    return document;
}

CIndexDoc* COrvexApp::IndexReceivingItems()
{
    // The index in front (or the one opening), or a new one.
    if (CIndexDoc* document = CIndexDoc::GetFrontOrOpeningDocument())
        return document;
    CIndexDoc* document = MakeUntitledIndex();
    document->ShowWindow();
    return document;
}

void COrvexApp::MakeNewDocument()
{
    MakeUntitledIndex()->ShowWindow();
}

void COrvexApp::OpenDocument(const FileRef& requested)
{
    if (!requested.Exists())
        ThrowOSErr_(fnfErr, requested.Path().toStdString());
    const FileRef file = ResolveAliasFile(requested);
    for (const FileRef& candidate : { requested, file }) {
        if (LSingleDoc* open = OpenDocumentOfFile(candidate)) {
            SelectDocumentWindow(open);
            return;
        }
    }
    const QUrl url = file.ToUrl();
    const bool folder = file.IsFolder();
    OSType type = 0, creator = 0;
    GetFileTypeAndCreator(url, &type, &creator);

    if (type == kIndexFileType || (folder && IsIndexPackageURL(url))) {
        // A package opens; a plain index file is refused by the document.
        mSingleDocument = false;
        new CIndexDoc(this, url, folder, false);
    } else if (!folder) {
        CIndexDoc* document = IndexReceivingItems();
        document->WhenOpened([document, url] { document->AddItem(url); });
    } else {
        mSingleDocument = false;
        CIndexDoc* document = CIndexDoc::GetFrontOrOpeningDocument();
        if (!document) {
            // No index to import into: the folder gets an index of its own.
            new CIndexDoc(this, url, true, false);
        } else {
            // The index in front takes the folder, whatever it holds already.
            document->WhenOpened([this, document, file] { ImportFolderInto(*document, file, 0); });
        }
    }
    AddRecentItem(file);
}

void COrvexApp::ReceiveAddress(const QString& address)
{
    // As a dropped address: the index in front downloads it (a new index when none is open).
    const QUrl url(address);
    if (!IndexDropData::IsDownloadableURL(url))
        ThrowOSErr_(paramErr, "not an ftp, http or https address: " + address.toStdString());
    CIndexDoc* document = IndexReceivingItems();
    document->WhenOpened([document, url] { document->ReceiveAddress(url); });
}

void COrvexApp::PrintDocument(const FileRef& requested)
{
    if (!requested.Exists())
        ThrowOSErr_(fnfErr, requested.Path().toStdString());
    const FileRef file = ResolveAliasFile(requested);
    if (LSingleDoc* open = OpenDocumentOfFile(file)) {
        open->DoPrint();
        return;
    }
    // A closed index is opened out of sight, printed once it has been read, and closed.
    if (!file.IsFolder() || !IsIndexPackageURL(file.ToUrl()))
        ThrowOSErr_(kMsgIndexDocOperation, "only an index package prints");
    CIndexDoc* document = new CIndexDoc(this, file.ToUrl(), true, true);
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, document] {
        const auto& open = LDocument::GetDocumentList();
        if (std::find(open.begin(), open.end(), document) == open.end()) {
            poll->deleteLater(); // closed meanwhile
            return;
        }
        const CIndexModel& model = document->GetModel();
        if (model.IsBusy() || model.CountRunningTasks() != 0)
            return; // still being read
        poll->deleteLater();
        RunReportingErrors([&] { document->DoPrint(); });
        document->AttemptClose(false);
    });
    poll->start(kPrintPollMilliseconds);
}

void COrvexApp::OpenSampleIndex()
{
    const FileRef sample = SampleIndexPackage();
    if (!sample.IsValid())
        ThrowOSErr_(err_NilPointer, "no sample index is installed");
    mSingleDocument = false;
    if (LSingleDoc* open = OpenDocumentOfFile(sample)) {
        SelectDocumentWindow(open);
        return;
    }
    new CIndexDoc(this, sample.ToUrl(), true, false);
}

void COrvexApp::NewPictureLibraryIndex()
{
    NewIndexFilledBy(QStringLiteral("PICTURE_LIBRARY_INDEX_TITLE"),
        [](CIndexModel& model) -> CVisualTask* { return new CImportiPhotoTask(601, 46, model); });
}

void COrvexApp::NewActiveFontsIndex()
{
    NewIndexFilledBy(QStringLiteral("ACTIVE_FONTS_INDEX_TITLE"),
        [](CIndexModel& model) -> CVisualTask* { return new CImportFontsTask(601, 50, model); });
}

void COrvexApp::NewIndexFilledBy(const QString& titleKey, const std::function<CVisualTask*(CIndexModel&)>& makeTask)
{
    auto* document = new CIndexDoc(this, QUrl(), false, false);
    if (document->CountAllItems() == 0)
        document->SetDescriptor(CopyLocalizedString(titleKey));
    makeTask(document->GetModel())->Start();
    document->ShowWindow();
}

void COrvexApp::NewSpecialFolderIndex(CommandT command)
{
    const FileRef found = UserFolderForCommand(command);
    if (!found.IsValid())
        ThrowOSErr_(fnfErr, "no folder for command " + std::to_string(command));
    const FileRef folder = ResolveAliasFile(found);
    const QUrl url = folder.ToUrl();
    // Only the Desktop's import takes the option of its own.
    const SInt32 option = command == cmd_NewDesktopIndex ? 1 : 0;
    if (CIndexDoc* document = CIndexDoc::GetFrontDocument()) {
        ImportFolderInto(*document, folder, option);
        return;
    }
    new CIndexDoc(this, url, true, false);
    AddRecentItem(folder);
}

void COrvexApp::ImportFolderInto(CIndexDoc& document, const FileRef& folder, SInt32 option)
{
    // An empty, idle index is the folder's own import; otherwise its items are added at the end.
    if (document.CountAllItems() == 0 && !document.IsBusy() && !document.IsModified())
        document.ImportFolder(folder.ToUrl());
    else
        StartImportFolderTask(document.GetModel(), folder, kInsertAtEnd, option);
}

void COrvexApp::SendOpenDocumentEvent(const QUrl& package)
{
    // As an event to itself: the document that asked has gone by the time it opens.
    QTimer::singleShot(0, qApp, [this, package] { OpenOrPrintDocList({ package.toLocalFile() }, false); });
}

void COrvexApp::ContinueQuitting()
{
    DoQuit();
}

void COrvexApp::EndWithoutAsking()
{
    if (!mEndingWithoutAsking)
        qCInfo(lcApp) << "ending without asking: changes not saved are dropped";
    mEndingWithoutAsking = true;
    // Every event loop ends, those of open dialogs and alerts first; Run then
    // closes the documents.
    QCoreApplication::exit(0);
}

bool COrvexApp::MayEndSession()
{
    const auto& documents = LDocument::GetDocumentList();
    if (std::none_of(documents.begin(), documents.end(), [](LDocument* document) { return document->IsModified(); }))
        return true;
    qCInfo(lcApp) << "the session's end is called off: an index has changes not saved";
    QTimer::singleShot(0, qApp, [] {
        if (COrvexApp* app = GetApp())
            RunReportingErrors([&] { app->ProcessCommand(cmd_Quit); });
    });
    return false;
}

void COrvexApp::CloseDocumentsWithoutAsking()
{
    // No loop may wait for an answer from here on: exit makes every loop opened
    // later (an alert, a question) return at once.
    QCoreApplication::exit(0);
    QDeadlineTimer patience(kEndingPatienceMilliseconds);
    QTimer tick; // wakes the wait below while the tasks run on the yield timer
    tick.start(kEndingPollMilliseconds);
    for (;;) {
        bool waiting = false;
        for (CIndexDoc* document : CIndexDoc::GetIndexDocuments()) {
            if (!document->CloseWithoutAsking())
                waiting = true;
        }
        if (!waiting)
            return;
        if (patience.hasExpired()) {
            qCWarning(lcApp) << "ending with tasks still running";
            return;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
