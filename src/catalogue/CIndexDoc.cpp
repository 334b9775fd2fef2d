#include "CIndexDoc.h"

#include "PrefKeys.h"

#include "CFloater.h"
#include "CIndexPackage.h"
#include "CIndexToolbar.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "UReportErrors.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "IndexViewServices.h"
#include "LBroadcaster.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TaskServices.h"
#include "TicketFolder.h"
#include "WindowUtilities.h"

#include <QLineEdit>
#include <QApplication>
#include <QDialog>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <algorithm>
#include <utility>

bool gIndexWindowLocked = false;

namespace {

Q_LOGGING_CATEGORY(lcDocument, "orvex.errors")

IndexDocAppServices* gAppServices = nullptr;

IndexDocViewAdapterMaker& IndexDocViewAdapterMakerStorage()
{
    static IndexDocViewAdapterMaker maker;
    return maker;
}

constexpr OSType kIndexCreator = 'JWZ7';
constexpr OSType kIndexFileType = 'OIDX';
constexpr SInt16 kSidePaneMinWidth = 174;
// Where a hidden untitled window waits off screen.
constexpr SInt32 kOffscreenPosition = -10000;

// The index documents in the order they were made.
std::vector<CIndexDoc*>& IndexDocumentList()
{
    static std::vector<CIndexDoc*> documents;
    return documents;
}

std::vector<CIndexDoc*> IndexDocuments()
{
    return IndexDocumentList();
}

LPane* RequirePane(LWindow* window, PaneIDT paneID)
{
    LPane* pane = window->FindPaneByID(paneID);
    if (!pane)
        ThrowOSErr_(err_NilPointer, "index window pane " + std::to_string(paneID) + " is missing");
    return pane;
}

} // namespace

// Keeps a window on its screen, shrinking its content to fit first.
void CIndexDoc::ConstrainToScreen(LWindow* window)
{
    // A size kept from a larger screen or a lower scale factor shrinks to this one.
    window->KeepOnScreen();
}

void SetIndexDocViewAdapterMaker(IndexDocViewAdapterMaker maker)
{
    IndexDocViewAdapterMakerStorage() = std::move(maker);
}

const IndexDocViewAdapterMaker& GetIndexDocViewAdapterMaker()
{
    return IndexDocViewAdapterMakerStorage();
}

void SetIndexDocAppServices(IndexDocAppServices* services)
{
    gAppServices = services;
}

IndexDocAppServices* GetIndexDocAppServices()
{
    return gAppServices;
}

CIndexModel* FindOwnedIndexModel(LCommander* commander)
{
    for (; commander; commander = commander->GetSuperCommander()) {
        if (auto* owner = dynamic_cast<IndexModelOwner*>(commander))
            return &owner->GetModel();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Construction

CIndexDoc::ListEntry::ListEntry(CIndexDoc* document)
    : mDocument(document)
{
    IndexDocumentList().push_back(document);
}

CIndexDoc::ListEntry::~ListEntry()
{
    std::erase(IndexDocumentList(), mDocument);
}

CIndexDoc::CIndexDoc(LCommander* super, const QUrl& url, bool open, bool hidden)
    : LSingleDoc(super)
{
    if (!url.isEmpty() && !open)
        ThrowOSErr_(kMsgIndexDocOperation, "an index document is only made to open its URL");
    if (hidden)
        SetFlags(kDocKeepHidden);
    Pref::IndexPrintSettings.Get(mPrintSettings);

    BuildWindow();
    SetSourceViewWidth(GetPrefNumber(QStringLiteral("DefaultSourceViewWidth")));
    SetOrganizerViewWidth(GetPrefNumber(QStringLiteral("DefaultOrganizerViewWidth")));
    InitToolbar();
    InitStatusBar();

    try {
        HandleURL(url, open);
    } catch (const ExceptionCode& e) {
        if (e.Code() != fnfErr)
            throw;
        // A package or folder that is gone: the empty window with the preference frame.
        RestoreWindowFrame();
    }
    if (auto* organizer = dynamic_cast<IndexDocumentPane*>(mOrganizerList))
        organizer->ValueIndexRebuilt();
}

void CIndexDoc::BuildWindow()
{
    LWindow* window = LWindow::CreateWindow(kIndexWindowLayout, this);
    ThrowIfNil_(window);
    window->SetTabOrderByLook(true); // its toolbar and panes are made in another order
    SetWindow(window);
    FindPanes();
}

void CIndexDoc::FindPanes()
{
    LWindow* window = GetWindow();
    mIndexViewPane = RequirePane(window, kPaneIndexView);
    mIndexView = dynamic_cast<IndexDocViewServices*>(mIndexViewPane);
    if (!mIndexView && GetIndexDocViewAdapterMaker()) {
        mViewAdapter = GetIndexDocViewAdapterMaker()(mIndexViewPane);
        mIndexView = mViewAdapter.get();
    }
    mViewServices = dynamic_cast<IndexViewServices*>(mIndexViewPane);
    if (!mIndexView || !mViewServices)
        ThrowOSErr_(err_NilPointer, "pane 920 is no index view");
    mIndexView->SetWindow(window);
    // The grid is the window's target until the user chooses another: the window
    // hands it the keyboard whenever it is activated.
    if (auto* grid = dynamic_cast<LCommander*>(mIndexViewPane))
        window->SetLatentSub(grid);
    mIndexViewAlive = mIndexViewPane;
    // The window's mark follows the model; an index never saved that lost its
    // last item has nothing to lose any more.
    QObject::connect(mModel.get(), &CIndexModel::modifiedChanged, [this] { FollowModelModified(); });
    QObject::connect(mModel.get(), &CIndexModel::itemsRemoved, [this] { FollowModelModified(); });
    QObject::connect(mModel.get(), &CIndexModel::listChanged, [this] { FollowModelModified(); });
    QObject::connect(mModel.get(), &CIndexModel::stateChanged, [this] {
        if (mFillingFromFolder && mModel->CountRunningTasks() == 0)
            mFillingFromFolder = false;
    });

    mListViewPane = RequirePane(window, kPaneListView);
    // Until the list view's own class is registered the pane has no rows to show.
    mListView = dynamic_cast<IndexListServices*>(mListViewPane);
    if (mListView)
        mListView->SetIndexView(mIndexViewPane);
    mIndexView->SetListView(mListViewPane);

    mIndexContainer = RequirePane(window, kPaneIndexContainer);
    mContentPane = RequirePane(window, kPaneContent);
    mStatusPlacard = RequirePane(window, kPaneStatusPlacard);
    mStatusPlacardSize = mStatusPlacard->GetFrameSize();
    mIndexView->SetStatusPlacard(mStatusPlacard);

    mOrganizerList = RequirePane(window, kPaneOrganizerList);
    mSourceList = RequirePane(window, kPaneSourceList);
    mInfoPlacard = RequirePane(window, kPaneInfoPlacard);
    mHiddenSourceWidth = 0;
    mHiddenOrganizerWidth = 0;
    // The source list, the organizer list and the placard each take the document
    // and listen to the index view themselves.
    for (LPane* pane : { mOrganizerList, mSourceList, mInfoPlacard }) {
        if (auto* documentPane = dynamic_cast<IndexDocumentPane*>(pane))
            documentPane->SetIndexDocument(this);
    }
}

void CIndexDoc::HandleURL(const QUrl& url, bool open)
{
    if (url.isEmpty()) {
        InitUntitled();
        return;
    }
    if (!open)
        ThrowOSErr_(kMsgIndexDocOperation);
    if (IsIndexPackageURL(url)) {
        OpenPackage(url);
    } else {
        RestoreWindowFrame();
        ImportFolder(url);
    }
}

void CIndexDoc::InitUntitled()
{
    MakeUntitledTitle();
    RestoreWindowFrame();
    SetGenericProxy();
    if (TestFlags(kDocKeepHidden))
        GetWindow()->MoveWindowTo(kOffscreenPosition, kOffscreenPosition);
}

void CIndexDoc::MakeUntitledTitle()
{
    const QString base = CopyLocalizedString(QStringLiteral("300:1"));
    auto taken = [this](const QString& title) {
        for (CIndexDoc* document : IndexDocuments()) {
            if (document != this && document->GetDescriptor() == title)
                return true;
        }
        return false;
    };
    QString title = base;
    for (int counter = 1; taken(title); ++counter)
        title = base + QLatin1Char(' ') + QString::number(counter);
    SetWindowTitleCF(title);
}

void CIndexDoc::SetGenericProxy()
{
    SetWindowProxyType(GetWindow(), kIndexCreator, kIndexFileType, false);
}

CIndexDoc::~CIndexDoc()
{
    StopTasks();
    WriteSettingsOnClose();
    // The window closes first (it is deleted later), so that nothing it does on
    // the way reaches a view without a model; then its views let go of the model.
    if (LWindow* window = GetWindow()) {
        SetWindow(nullptr);
        window->DoClose();
    }
    if (mIndexViewAlive && mIndexView) {
        if (mListView)
            mListView->SetIndexView(nullptr);
        mIndexView->ReleaseModel();
    }
    mModel->disconnect();
    mModel.reset();
    mPackage.reset();
}

void CIndexDoc::WriteSettingsOnClose()
{
    // Once, while the window is still there to be measured.
    if (!mIndexView || !GetWindow() || mClosingSettingsWritten || mOpenFailed)
        return;
    mClosingSettingsWritten = true;
    OSStatus err = CatchCode([this] {
        if (!Pref::SaveViewSettingsCloseWindow.Get())
            return;
        if (mPackage)
            WriteSettings(TestFlags(kDocWindowReused)); // the window's frame is the index's
        else
            SaveSettingsAsDefaults();
    });
    if (err != noErr)
        QApplication::beep();
}

// ---------------------------------------------------------------------------
// Documents

std::vector<CIndexDoc*> CIndexDoc::GetIndexDocuments()
{
    return IndexDocuments();
}

CIndexDoc* CIndexDoc::FindDocForWindow(LWindow* window)
{
    ThrowIfNil_(window);
    for (CIndexDoc* document : IndexDocuments()) {
        if (document->GetWindow() == window)
            return document;
    }
    return nullptr;
}

bool CIndexDoc::IsDocumentWindow(LWindow* window)
{
    // By the window itself, not its title: two windows may share a title.
    if (!window)
        return false;
    for (CIndexDoc* document : IndexDocuments()) {
        if (document->GetWindow() == window)
            return true;
    }
    return false;
}

LWindow* CIndexDoc::FindFrontWindow()
{
    for (LWindow* window : LWindow::FetchWindows()) {
        if (window->IsVisible() && IsDocumentWindow(window))
            return window;
    }
    return nullptr;
}

CIndexDoc* CIndexDoc::GetFrontDocument()
{
    LWindow* window = FindFrontWindow();
    return window ? FindDocForWindow(window) : nullptr;
}

CIndexDoc* CIndexDoc::GetFrontOrOpeningDocument()
{
    if (CIndexDoc* front = GetFrontDocument())
        return front;
    const std::vector<CIndexDoc*> documents = IndexDocuments();
    for (auto document = documents.rbegin(); document != documents.rend(); ++document) {
        if ((*document)->mReadingPackage && !(*document)->mOpenFailed && !(*document)->TestFlags(kDocKeepHidden))
            return *document;
    }
    return nullptr;
}

CIndexDoc* CIndexDoc::FindDocForPackage(const QUrl& packageURL)
{
    const FileRef wanted = FileRef::FromUrl(packageURL);
    if (!wanted.IsValid())
        return nullptr;
    for (CIndexDoc* document : IndexDocuments()) {
        if (document->UsesFile(wanted))
            return document;
    }
    return nullptr;
}

bool CIndexDoc::UsesFile(const FileRef& file) const
{
    if (mDeleteWhenDone)
        return false; // closing: the package is free to open again
    if (!mPackage)
        return LSingleDoc::UsesFile(file);
    const FileRef package = FileRef::FromUrl(mPackage->GetPackageURL());
    if (!package.IsValid())
        ThrowOSErr_(err_AssertFailed, "the package URL has no file reference");
    // Same folder, however the path was spelled (links, trailing slash).
    return package == file || (file.Exists() && package.IsInside(file) && file.IsInside(package));
}

// ---------------------------------------------------------------------------
// Opening

void CIndexDoc::OpenPackage(const QUrl& url)
{
    auto package = std::make_unique<CIndexPackage>(url, mModel.get());
    // Open in another program: never read here, and never written by this document.
    if (const OSStatus err = package->Lock()) {
        mOpenFailed = true;
        ThrowOSErr_(err, "the index package is open elsewhere: " + url.toString().toStdString());
    }
    // What a save cut short left behind is ours to clear, now that no one else writes here.
    if (const int removed = package->RemoveLeftoverTemporaries())
        qCWarning(lcDocument) << "temporary files of an unfinished save removed:" << removed;
    mPackage = std::move(package);
    SetWindowProxyURL(GetWindow(), url, false);
    QString title;
    if (url.isLocalFile()) {
        title = FileRef::FromUrl(url).Name();
        if (title.endsWith(QLatin1String(".idxp"), Qt::CaseInsensitive))
            title.chop(5);
    } else {
        title = QUrl::fromPercentEncoding(url.adjusted(QUrl::StripTrailingSlash).fileName().toUtf8());
        const qsizetype dot = title.lastIndexOf(QLatin1Char('.'));
        if (dot > 0)
            title.truncate(dot);
    }
    if (title.isEmpty())
        ThrowOSErr_(err_NilPointer, "the package has no name");
    SetWindowTitleCF(title);
    SetGenericProxy();
    SetFile(FileRef::FromUrl(mPackage->GetPackageURL()));
    SetSpecified(true);
    mReadingPackage = true;
    GetTaskServices().StartReadIndexPackageTask(this);
}

void CIndexDoc::WhenOpened(std::function<void()> action)
{
    if (mReadingPackage)
        mWhenOpened.push_back(std::move(action));
    else
        action();
}

void CIndexDoc::ReadingEnded()
{
    mReadingPackage = false;
    if (mWhenOpened.empty())
        return;
    // From the event loop: the read task is still going away.
    mOpenedTimer.Install(0, 0, [this] {
        for (const std::function<void()>& action : std::exchange(mWhenOpened, {}))
            RunReportingErrors(action);
    });
}

void CIndexDoc::ImportFolder(const QUrl& url)
{
    const FileRef folder = FileRef::FromUrl(url);
    if (!folder.IsValid())
        ThrowOSErr_(err_AssertFailed, "an imported folder needs a file reference");
    if (!folder.Exists())
        ThrowOSErr_(fnfErr);
    SetWindowTitleCF(folder.Name());
    SetWindowProxyURL(GetWindow(), url, false);
    mImportedFolderProxy = true;
    ShowWindow();
    // The folder's own items are a change to save, but the window still shows that
    // folder until the user changes something after them.
    mFillingFromFolder = true;
    GetTaskServices().StartImportFolderTask(*mModel, folder, kInsertAtEnd, 0);
    if (mModel->CountRunningTasks() == 0)
        mFillingFromFolder = false;
}

void CIndexDoc::RestoreWindowFrame()
{
    LWindow* window = GetWindow();
    const Point position = GetPrefPoint(QStringLiteral("DefaultIndexWindowPosition"));
    if (position.h != 0 || position.v != 0)
        window->MoveWindowTo(position.h, position.v);
    window->ResizeFrameTo(GetPrefNumber(QStringLiteral("DefaultIndexWindowWidth")),
        GetPrefNumber(QStringLiteral("DefaultIndexWindowHeigth")), true);
    ConstrainToScreen(window);
    SetViewMode(Pref::DefaultIndexView.Get());
    if (GetPrefBoolean(QStringLiteral("IndexFullScreen")))
        mIndexView->EnterFullScreen();
}

void CIndexDoc::ImportURL(const QUrl& url)
{
    mIndexView->ImportURL(url, kInsertAtEnd, true);
}

void CIndexDoc::ShowWindow()
{
    GetWindow()->Show();
    StartWatchingTicketFolder();
}

void CIndexDoc::StopTasks()
{
    if (mModel)
        CatchCode([this] { GetTaskServices().StopTasksOfOwner(*mModel); });
}

bool CIndexDoc::RefuseWhileBusy()
{
    if (mModel->IsBusy() || mModel->CountRunningTasks() != 0) {
        ReportError(kMsgIndexDocBusy);
        return true;
    }
    return false;
}

void CIndexDoc::OpenInWindow(const QUrl& url)
{
    StopTasks();
    if (gIndexWindowLocked) {
        if (mIndexView->UnlockWithPassword())
            OpenInWindow(url);
        return;
    }
    if (RefuseWhileBusy())
        return;
    mURLToOpen = url;
    if (IsModified()) {
        mPendingAction = kPendingReuse;
        AskSaveChanges(false);
    } else {
        ResetForReuse();
    }
}

void CIndexDoc::ResetForReuse()
{
    if (Pref::SaveViewSettingsCloseWindow.Get()) {
        if (mPackage)
            WriteSettings(true);
        else
            SaveSettingsAsDefaults();
    }
    SetSpecified(false);
    SetFile(FileRef());
    if (mPackage)
        mRetiredPackages.push_back(std::move(mPackage)); // items may still point into it
    mIndexView->RemoveAllItems();
    mModel->ResetSettings();
    mIndexView->ShowSettings();
    SetViewMode(Pref::DefaultIndexView.Get());
    SetWindowTitleCF(QString());
    RemoveWindowProxyIcon(GetWindow());
    mImportedFolderProxy = false;
    SetFlags(kDocWindowReused);
    SetModified(false);
    mPendingAction = kPendingNone;
    if (!mURLToOpen.isEmpty()) {
        const QUrl url = mURLToOpen;
        mURLToOpen.clear();
        if (IsIndexPackageURL(url))
            OpenPackage(url);
        else
            ImportFolder(url);
        if (mIndexView->IsFullScreen())
            mIndexView->SetTheme(3, false);
    }
}

// ---------------------------------------------------------------------------
// State

bool CIndexDoc::IsModified() const
{
    // An index that was never saved and holds nothing has nothing to lose.
    return mModel->IsModified() && (IsSpecified() || mModel->CountAllItems() != 0);
}

void CIndexDoc::FollowModelModified()
{
    const bool modified = IsModified();
    if (LSingleDoc::IsModified() != modified || mModel->IsModified() != modified)
        SetModified(modified);
}

void CIndexDoc::SetModified(bool modified)
{
    mModel->SetModified(modified);
    LSingleDoc::SetModified(modified);
    if (modified && mImportedFolderProxy && !mFillingFromFolder) {
        RemoveWindowProxyIcon(GetWindow());
        SetGenericProxy();
        mImportedFolderProxy = false;
    }
}

bool CIndexDoc::IsBusy() const
{
    return mModel->IsBusy();
}

SInt32 CIndexDoc::CountItems() const
{
    return mModel->CountItems();
}

SInt32 CIndexDoc::CountAllItems() const
{
    return mModel->CountAllItems();
}

void CIndexDoc::SetWindowTitle(ConstStr255Param title)
{
    SetWindowTitleCF(PStringToQString(title));
}

void CIndexDoc::SetWindowTitleCF(const QString& title)
{
    SetDescriptor(title);
}

void CIndexDoc::PutOnDuty(LCommander* newTarget)
{
    LSingleDoc::PutOnDuty(newTarget);
    LCommander::SetUpdateCommandStatus(true);
}

// ---------------------------------------------------------------------------
// Window layout

void CIndexDoc::SetViewMode(SInt32 command)
{
    LPane* taskArea = GetWindow()->FindPaneByID(kPaneTaskArea);
    if (command == kCmdListView) {
        if (mListView)
            mListView->ReloadRows();
        mIndexContainer->Hide();
        if (mModel->CountSelectedItems() > 0)
            mIndexView->RevealSelection();
        if (taskArea)
            taskArea->Hide();
        mListViewPane->Activate();
        mListViewPane->Show();
        if (auto* commander = dynamic_cast<LCommander*>(mListViewPane))
            LCommander::SwitchTarget(commander);
    } else if (command == kCmdThumbnailView || command == kCmdExtendedView) {
        if (mListView)
            mListView->ReleaseRows();
        mListViewPane->Deactivate();
        mListViewPane->Hide();
        if (taskArea && mModel->CountRunningTasks() == 0)
            taskArea->Show();
        mIndexContainer->Show();
        const SInt32 position = mIndexView->GetModeScrollPosition();
        mIndexView->SetViewMode(command);
        mIndexView->SetModeScrollPosition(position, false);
        if (auto* commander = dynamic_cast<LCommander*>(mIndexViewPane))
            LCommander::SwitchTarget(commander);
        if (mModel->CountSelectedItems() > 0)
            mIndexView->RevealSelection();
    }
    mIndexView->GetViewBroadcaster().BroadcastMessage(msg_IndexViewModeChanged, this);
}

void CIndexDoc::InitToolbar()
{
    // The window owns the toolbar (it is one of its commanders).
    mToolbar = new CIndexToolbar;
    mToolbar->Create(QStringLiteral("org.orvex.indextoolbar7"), GetWindow(), 3);
    mToolbar->SetSearchClient(this);
    // A search that gives way to all items, however it ended, leaves no text behind.
    QObject::connect(mModel.get(), &CIndexModel::filterShown, GetWindow(), [this](bool shown) {
        if (QLineEdit* field = shown ? nullptr : mToolbar->GetSearchField())
            field->clear();
    });
    IsToolbarShown(); // the bit starts as the new bar is
    if (GetPrefBoolean(QStringLiteral("IndexShowToolbar")))
        ShowToolbar();
    else
        HideToolbar();
}

void CIndexDoc::ShowToolbar()
{
    if (!TestFlags(kDocToolbarShown)) {
        mToolbar->Show();
        SetFlags(kDocToolbarShown);
    }
}

void CIndexDoc::HideToolbar()
{
    if (TestFlags(kDocToolbarShown)) {
        mToolbar->Hide();
        ClearFlags(kDocToolbarShown);
    }
}

bool CIndexDoc::IsToolbarShown()
{
    // The user may have hidden the bar from the window itself.
    if (mToolbar->IsVisible())
        SetFlags(kDocToolbarShown);
    else
        ClearFlags(kDocToolbarShown);
    return TestFlags(kDocToolbarShown);
}

void CIndexDoc::InitStatusBar()
{
    SetFlags(kDocStatusBarShown); // the layout shows the bar
    if (GetPrefBoolean(QStringLiteral("IndexShowStatusBar")))
        ShowStatusBar();
    else
        HideStatusBar();
}

// The bar lies below the content, which gives up or takes back its height.
void CIndexDoc::ShowStatusBar()
{
    if (TestFlags(kDocStatusBarShown))
        return;
    mContentPane->ResizeFrameBy(0, -mStatusPlacardSize.height, false);
    mStatusPlacard->Show();
    GetWindow()->UpdatePort();
    SetFlags(kDocStatusBarShown);
}

void CIndexDoc::HideStatusBar()
{
    if (!TestFlags(kDocStatusBarShown))
        return;
    mStatusPlacard->Hide();
    mContentPane->ResizeFrameBy(0, mStatusPlacardSize.height, false);
    GetWindow()->UpdatePort();
    GetWindow()->Refresh();
    ClearFlags(kDocStatusBarShown);
}

void CIndexDoc::LayoutSidePanes()
{
    // The side panes keep their widths; the middle (index and list views) takes the rest.
    LPane* source = RequirePane(GetWindow(), kPaneSourceSide);
    LPane* organizer = RequirePane(GetWindow(), kPaneOrganizerSide);
    LPane* middle = GetWindow()->FindPaneByID(kPaneMiddle);
    LPane* content = source->GetSuperView();
    if (!middle || !content)
        return;
    const SInt32 width = content->GetFrameSize().width;
    const SInt32 height = content->GetFrameSize().height;
    const SInt32 left = IsSourceViewShown() ? source->GetFrameSize().width : 0;
    const SInt32 right = IsOrganizerViewShown() ? organizer->GetFrameSize().width : 0;
    source->PlaceInSuperFrameAt(0, 0, false);
    source->ResizeFrameTo(source->GetFrameSize().width, height, false);
    organizer->PlaceInSuperFrameAt(width - right, 0, false);
    organizer->ResizeFrameTo(organizer->GetFrameSize().width, height, false);
    middle->PlaceInSuperFrameAt(left, 0, false);
    middle->ResizeFrameTo(std::max<SInt32>(0, width - left - right), height, true);
}

void CIndexDoc::SetSideViewWidth(PaneIDT paneID, SInt16& hiddenWidth, SInt32 width)
{
    LPane* pane = RequirePane(GetWindow(), paneID);
    const SInt32 wanted = std::min<SInt32>(std::abs(width), 0x7FFF);
    if (hiddenWidth != 0)
        hiddenWidth = SInt16(std::max<SInt32>(1, wanted)); // collapsed: the width it comes back with
    else
        pane->ResizeFrameTo(wanted, pane->GetFrameSize().height, false);
    if (width < 0)
        HideSideView(paneID, hiddenWidth);
    LayoutSidePanes();
}

SInt32 CIndexDoc::GetSideViewWidth(PaneIDT paneID, SInt16 hiddenWidth) const
{
    if (hiddenWidth != 0)
        return -hiddenWidth;
    return RequirePane(GetWindow(), paneID)->GetFrameSize().width;
}

void CIndexDoc::HideSideView(PaneIDT paneID, SInt16& hiddenWidth)
{
    LPane* pane = RequirePane(GetWindow(), paneID);
    if (hiddenWidth != 0)
        return;
    // Never 0: a hidden width of 0 is how "shown" is kept.
    hiddenWidth = SInt16(std::max(1, pane->GetFrameSize().width));
    pane->setMinimumWidth(0);
    pane->Hide();
    LayoutSidePanes();
}

void CIndexDoc::ShowSideView(PaneIDT paneID, SInt16& hiddenWidth)
{
    LPane* pane = RequirePane(GetWindow(), paneID);
    if (hiddenWidth == 0)
        return;
    pane->ResizeFrameTo(hiddenWidth, pane->GetFrameSize().height, false);
    pane->setMinimumWidth(std::min<int>(kSidePaneMinWidth, hiddenWidth));
    hiddenWidth = 0;
    pane->Show();
    LayoutSidePanes();
    pane->Refresh();
}

void CIndexDoc::SetSourceViewWidth(SInt32 width)
{
    SetSideViewWidth(kPaneSourceSide, mHiddenSourceWidth, width);
}

void CIndexDoc::SetOrganizerViewWidth(SInt32 width)
{
    SetSideViewWidth(kPaneOrganizerSide, mHiddenOrganizerWidth, width);
}

SInt32 CIndexDoc::GetSourceViewWidth() const
{
    return GetSideViewWidth(kPaneSourceSide, mHiddenSourceWidth);
}

SInt32 CIndexDoc::GetOrganizerViewWidth() const
{
    return GetSideViewWidth(kPaneOrganizerSide, mHiddenOrganizerWidth);
}

void CIndexDoc::ShowSourceView()
{
    ShowSideView(kPaneSourceSide, mHiddenSourceWidth);
}

void CIndexDoc::HideSourceView()
{
    HideSideView(kPaneSourceSide, mHiddenSourceWidth);
}

void CIndexDoc::ShowOrganizerView()
{
    ShowSideView(kPaneOrganizerSide, mHiddenOrganizerWidth);
}

void CIndexDoc::HideOrganizerView()
{
    HideSideView(kPaneOrganizerSide, mHiddenOrganizerWidth);
}

void CIndexDoc::RebuildValueIndex()
{
    mModel->RebuildValueIndex();
    if (auto* organizer = dynamic_cast<IndexDocumentPane*>(mOrganizerList))
        organizer->ValueIndexRebuilt();
}

void CIndexDoc::RebuildThumbnails()
{
    mIndexView->RebuildThumbnails();
}

void CIndexDoc::RefreshViews()
{
    mIndexViewPane->Refresh();
    mInfoPlacard->Refresh();
}

// ---------------------------------------------------------------------------
// Commands

bool CIndexDoc::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_Close:
        AttemptClose(true);
        return true;
    case cmd_Save:
        if (IsSpecified())
            DoSave();
        else
            AskSaveAs();
        return true;
    case cmd_SaveAs:
        AskSaveAs();
        return true;
    case cmd_Revert:
        AskConfirmRevert();
        return true;
    case cmd_PageSetup:
        if (CatchCode([this] { HandlePageSetup(); }) != noErr)
            ReportError(kMsgIndexDocCommand);
        return true;
    case cmd_Print:
    case cmd_PrintOne:
        HandlePrint();
        return true;
    case cmd_HideOrganizer:
        IsOrganizerViewShown() ? HideOrganizerView() : ShowOrganizerView();
        return true;
    case cmd_HideSource:
        IsSourceViewShown() ? HideSourceView() : ShowSourceView();
        return true;
    case cmd_BothSidePanes:
        ShowSourceView();
        ShowOrganizerView();
        LCommander::SetUpdateCommandStatus(true);
        return true;
    case cmd_NoSidePanes:
        HideSourceView();
        HideOrganizerView();
        LCommander::SetUpdateCommandStatus(true);
        return true;
    case cmd_OpenSelected:
        GetWindow()->Select();
        mIndexView->OpenSelectedItem();
        return true;
    case kCmdExtendedView:
    case kCmdListView:
    case kCmdThumbnailView:
        SetViewMode(command);
        return true;
    case cmd_ImportFiles:
        GetTaskServices().StartImportFilesTask(*mModel);
        return true;
    case cmd_ToggleToolbar:
        IsToolbarShown() ? HideToolbar() : ShowToolbar();
        LCommander::SetUpdateCommandStatus(true);
        return true;
    case cmd_ToggleStatusBar:
        IsStatusBarShown() ? HideStatusBar() : ShowStatusBar();
        LCommander::SetUpdateCommandStatus(true);
        return true;
    case cmd_SaveSettingsAsDefaults:
        SaveSettingsAsDefaults();
        return true;
    case cmd_SearchWindow:
    case cmd_FindDuplicates:
    case cmd_BatchWindow:
        GetTaskServices().ShowSearchWindow(*mModel, command);
        return true;
    case cmd_FocusSearchField:
        mToolbar->FocusSearchField();
        return true;
    case cmd_RebuildThumbnails:
        RebuildThumbnails();
        return true;
    default:
        return LSingleDoc::ObeyCommand(command, ioParam);
    }
}

void CIndexDoc::FindCommandStatus(
    CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (gIndexWindowLocked)
        return;
    auto mark = [&](bool marked) {
        outUsesMark = true;
        outMark = marked ? checkMark : noMark;
    };
    auto name = [&](const char* key) { QStringToPString(CopyLocalizedString(QLatin1String(key)), outName); };
    switch (command) {
    case cmd_Close:
    case cmd_Quit:
        if (mIndexView->IsWindowBusy())
            outEnabled = false;
        else
            LSingleDoc::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
        break;
    case cmd_Save:
        outEnabled = IsModified() || !IsSpecified();
        break;
    case cmd_SaveAs:
    case cmd_PageSetup:
    case cmd_Print:
    case cmd_PrintOne:
        outEnabled = true;
        break;
    case cmd_Revert:
        outEnabled = IsSpecified() && IsModified();
        break;
    case cmd_HideOrganizer:
        outEnabled = true;
        mark(IsOrganizerViewShown());
        break;
    case cmd_HideSource:
        outEnabled = true;
        mark(IsSourceViewShown());
        break;
    case cmd_BothSidePanes:
        outEnabled = true;
        mark(IsSourceViewShown() && IsOrganizerViewShown());
        break;
    case cmd_NoSidePanes:
        outEnabled = true;
        mark(!IsSourceViewShown() && !IsOrganizerViewShown());
        break;
    case 1010:
    case 1016:
        outEnabled = mModel->CountSelectedItems() > 0;
        break;
    case cmd_OpenSelected:
        outEnabled = mModel->CountItems() > 0;
        break;
    case kCmdExtendedView:
        outEnabled = true;
        mark(mIndexView->GetViewMode() == kCmdExtendedView && mIndexContainer->isVisibleTo(GetWindow()));
        break;
    case 1021:
        outEnabled = IsSpecified();
        break;
    case cmd_ImportFiles:
        outEnabled = !mModel->IsItemListLocked();
        break;
    case cmd_ToggleToolbar:
        outEnabled = !mIndexView->IsFullScreen();
        name(IsToolbarShown() ? "600:12" : "600:11");
        break;
    case cmd_ToggleStatusBar:
        outEnabled = true;
        name(IsStatusBarShown() ? "600:126" : "600:127");
        break;
    case cmd_SaveSettingsAsDefaults:
    case cmd_FocusSearchField:
    case cmd_RebuildThumbnails:
    case cmd_SearchWindow:
    case cmd_FindDuplicates:
    case cmd_BatchWindow:
        outEnabled = true;
        break;
    case kCmdListView:
        outEnabled = mListView != nullptr;
        mark(mListViewPane->isVisibleTo(GetWindow()));
        break;
    case kCmdThumbnailView:
        outEnabled = true;
        mark(mIndexView->GetViewMode() != kCmdExtendedView && mIndexContainer->isVisibleTo(GetWindow()));
        break;
    default:
        LSingleDoc::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
        break;
    }
    // The toolbar shows one item for both side panes.
    if (command == cmd_HideOrganizer || command == cmd_HideSource) {
        const bool source = IsSourceViewShown();
        const bool organizer = IsOrganizerViewShown();
        const CommandT combined = source && organizer ? cmd_NoSidePanes
            : source                                  ? cmd_HideSource
            : organizer                               ? cmd_HideOrganizer
                                                      : cmd_BothSidePanes;
        mToolbar->UpdateCommandStatus(combined, true, true);
    } else {
        mToolbar->UpdateCommandStatus(command, outEnabled, outUsesMark && outMark != noMark);
    }
}

// ---------------------------------------------------------------------------
// Closing

bool CIndexDoc::AttemptClose(bool recordIt)
{
    StopTasks();
    if (gIndexWindowLocked) {
        if (mIndexView->UnlockWithPassword())
            return LSingleDoc::AttemptClose(recordIt);
        return false;
    }
    if (RefuseWhileBusy())
        return false;
    if (IsModified()) {
        AskSaveChanges(false);
        return false;
    }
    Close();
    return true;
}

bool CIndexDoc::AttemptQuitSelf(SInt32 saveOption)
{
    if (mIndexView->IsWindowBusy() || mSheet)
        return false;
    StopTasks();
    if (gIndexWindowLocked && !mIndexView->UnlockWithPassword())
        return false;
    if (RefuseWhileBusy())
        return false;
    constexpr SInt32 kAENo = 'no  ';
    if (IsModified() && saveOption != kAENo) {
        AskSaveChanges(true);
        return false;
    }
    Close();
    return true;
}

bool CIndexDoc::CloseWithoutAsking()
{
    StopTasks();
    if (mModel->IsBusy() || mModel->CountRunningTasks() != 0)
        return false;
    if (QDialog* sheet = std::exchange(mSheet, nullptr)) {
        QObject::disconnect(sheet, &QDialog::finished, nullptr, nullptr);
        sheet->hide();
        sheet->deleteLater();
    }
    mPendingAction = kPendingNone;
    if (IsModified() && IsSpecified() && !mSavedWithoutAsking && GetPrefBoolean(QStringLiteral("IndexAutoSave"))) {
        mSavedWithoutAsking = true;
        DoSave();
        return false;
    }
    Close();
    return true;
}

void CIndexDoc::Close()
{
    // A sheet's answer may close the document: it goes once the answer is handled.
    if (mAnswerDepth > 0) {
        mDeleteWhenDone = true;
        if (LWindow* window = GetWindow())
            window->Hide();
        return;
    }
    FinalClose();
}

void CIndexDoc::FinalClose()
{
    WriteSettingsOnClose();
    LSingleDoc::Close(); // deletes this
}

// ---------------------------------------------------------------------------
// The ticket drop folder

void CIndexDoc::StartWatchingTicketFolder()
{
    if (mTicketWatcher)
        return;
    constexpr double kTicketCheckInterval = 10.0; // seconds, for changes a watcher misses
    mTicketWatcher = std::make_unique<QFileSystemWatcher>();
    // A file may still be being written when the folder changes: look a moment later.
    QObject::connect(mTicketWatcher.get(), &QFileSystemWatcher::directoryChanged, [this] { SetNextFireTime(0.5); });
    WatchTicketFolder(GetTicketFolder());
    InstallTimer(1.0, kTicketCheckInterval);
}

void CIndexDoc::WatchTicketFolder(const FileRef& folder)
{
    // A folder that is not there yet is watched once a check finds it.
    if (mTicketWatcher && mTicketWatcher->directories().isEmpty() && folder.IsFolder())
        mTicketWatcher->addPath(folder.Path());
}

void CIndexDoc::StartQuickSearch(SInt32 fieldKey, const QString& text)
{
    mIndexView->StartQuickSearch(fieldKey, text);
}

void CIndexDoc::ShowAllItems(bool refresh)
{
    mIndexView->ShowAllItems(refresh);
}
