#include "CPreferencesWindow.h"

#include "ABalloon.h"
#include "AliasRecord.h"
#include "AppLog.h"
#include "CContextualMenu.h"
#include "CIndexDoc.h"
#include "CMediaWindow.h"
#include "ExceptionCode.h"
#include "FileSystemRoutines.h"
#include "LDocument.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "ResourceUtilities.h"
#include "UEvents.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>

namespace {

constexpr PaneIDT kTabsPane = 'SMPT';
constexpr PaneIDT kPanelHostPane = 'PHST';
constexpr ResType kPatternType = 'ppat';
constexpr SInt32 kPlainBackgroundID = 1; // the media window's plain colour
constexpr SInt32 kHighViewQuality = 0x400;
constexpr PaneIDT kDownloadFolderPane = 5001;
constexpr PaneIDT kViewerNamePane = 6003;
constexpr PaneIDT kThumbnailSizePane = 1011;
constexpr PaneIDT kThumbnailSizeText = 1009;
constexpr PaneIDT kCompressionPane = 1012;
constexpr PaneIDT kCompressionText = 1010;
constexpr PaneIDT kRawSourcePane = 4021;
constexpr float kMinRawBrightness = 0.1f;
constexpr float kMaxRawBrightness = 10.0f;
constexpr char kHelpKey = 5;

// The raw source popup: 1 the embedded image enlarged, 2 the embedded image, 3 the raw data.
enum : SInt32 { kRawEmbeddedEnlarged = 1, kRawEmbedded = 2, kRawDecoded = 3 };

QString DesktopEntryName(const QString& path)
{
    QFile file(path);
    if (path.endsWith(QLatin1String(".desktop")) && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        bool inEntry = false;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('[')))
                inEntry = line == QLatin1String("[Desktop Entry]");
            else if (inEntry && line.startsWith(QLatin1String("Name=")))
                return line.mid(5);
        }
    }
    QString name = QFileInfo(path).fileName();
    for (const char* suffix : { ".desktop", ".app" }) {
        if (name.endsWith(QLatin1String(suffix)))
            name.chop(int(qstrlen(suffix)));
    }
    return name;
}

// The path of the file an alias preference names; empty when none resolves.
QString ResolvedAliasPath(const QString& key)
{
    QByteArray alias;
    FileRef target;
    if (!GetPrefHandle(key, alias) || ResolveAliasHandle(&alias, &target, true) != noErr)
        return QString();
    return target.Path();
}

QString AskForApplication()
{
    const QStringList places = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), CopyLocalizedString(QStringLiteral("PREFS_CHOOSE_VIEWER")),
        places.isEmpty() ? QString() : places.last(), QStringLiteral("Desktop entries (*.desktop);;All files (*)"));
}

QString AskForFolder()
{
    return QFileDialog::getExistingDirectory(QApplication::activeWindow(),
        CopyLocalizedString(QStringLiteral("PREFS_CHOOSE_DOWNLOAD_FOLDER")));
}

CPreferencesWindow::AskPath& ApplicationChooser()
{
    static CPreferencesWindow::AskPath ask = AskForApplication;
    return ask;
}

CPreferencesWindow::AskPath& FolderChooser()
{
    static CPreferencesWindow::AskPath ask = AskForFolder;
    return ask;
}

bool FocusIsInText()
{
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QPlainTextEdit*>(focus);
}

} // namespace

const std::vector<PrefPaneBinding>& PreferenceBindings()
{
    using K = EPrefBinding;
    static const std::vector<PrefPaneBinding> bindings {
        // General.
        { kGeneralPrefsPanel, 1007, "BackSpaceDeletes", K::Boolean },
        { kGeneralPrefsPanel, 1016, "ConfirmDelete", K::Boolean },
        { kGeneralPrefsPanel, 1017, "kPRShowPoofEffect", K::Boolean },
        { kGeneralPrefsPanel, 1024, "ConfirmChangesToMedia", K::Boolean },
        { kGeneralPrefsPanel, 1009, "ApplyChangesToMediaFile", K::Boolean },
        { kGeneralPrefsPanel, 1020, "ActionKeyAction", K::Number, 1, 2 },
        { kGeneralPrefsPanel, 1021, "DoubleClickAction", K::Number, 1, 2 },
        { kGeneralPrefsPanel, 3009, "SaveViewSettingsCloseWindow", K::Boolean },
        { kGeneralPrefsPanel, 3001, "StartupAction", K::Number, 1, 4 },
        { kGeneralPrefsPanel, 3011, "ShowToolTips", K::Boolean },
        { kGeneralPrefsPanel, 3012, "PlayCompletionSound", K::Boolean },
        { kGeneralPrefsPanel, 3013, "ShowNotificationDialog", K::Boolean },
        { kGeneralPrefsPanel, 1010, "ShowDateWithTime", K::Boolean },
        // Index and thumbnails.
        { kIndexPrefsPanel, 1008, "AutoCreateThumbnail", K::Boolean },
        { kIndexPrefsPanel, 1019, "RecreateThumbnailWhenDifferent", K::Boolean },
        { kIndexPrefsPanel, 1023, "SharpenThumbnail", K::Boolean },
        { kIndexPrefsPanel, 1031, "ThumbnailCreateQuality", K::Number, 0, 1024 },
        { kIndexPrefsPanel, kThumbnailSizePane, "DefaultThumbnailSize", K::Number, 32, 1024 },
        { kIndexPrefsPanel, kCompressionPane, "DefaultThumbnailCompression", K::Number, 1, 6 },
        { kIndexPrefsPanel, 1002, "UseCustomIcon", K::Boolean },
        { kIndexPrefsPanel, 1024, "IgnoreBuiltInThumbnail", K::Boolean },
        { kIndexPrefsPanel, 1025, "DimSelection", K::Boolean },
        { kIndexPrefsPanel, 1027, "ImmediateDraw", K::Boolean },
        { kIndexPrefsPanel, 1028, "AdjustThumbnailViewHorizontal", K::Boolean },
        { kIndexPrefsPanel, 1029, "AdjustThumbnailViewVertical", K::Boolean },
        { kIndexPrefsPanel, 1030, "SnapZoomToFixedValues", K::Boolean },
        { kIndexPrefsPanel, 1032, "ShowMediaStorageBadge", K::Boolean },
        { kIndexPrefsPanel, 1033, "ShowSlideEffect", K::Boolean },
        { kIndexPrefsPanel, 1007, "AppendUnknownMetaDataToCaptionText", K::Boolean },
        { kIndexPrefsPanel, 1014, "IndexAutoSave", K::Boolean },
        // Viewer.
        { kViewerPrefsPanel, 2004, "MediaPatternID", K::Pattern },
        { kViewerPrefsPanel, 4001, "SlideShowDelay", K::Number, 1, 3600 },
        { kViewerPrefsPanel, 4004, "SlideShowOrder", K::Number, 1, 4 },
        { kViewerPrefsPanel, 4002, "MediaAutoPlay", K::Boolean },
        { kViewerPrefsPanel, 4003, "MediaUseFadeEffect", K::Boolean },
        { kViewerPrefsPanel, 4005, "LoopSlideShow", K::Boolean },
        { kViewerPrefsPanel, 6007, "MediaImageMaxZoom", K::Number, 100, 6400 },
        { kViewerPrefsPanel, 6008, "MediaMovieMaxZoom", K::Number, 100, 6400 },
        { kViewerPrefsPanel, 4008, "MediaUseICCProfile", K::Boolean },
        { kViewerPrefsPanel, 4009, "TransformUsingEXIF", K::Boolean },
        { kViewerPrefsPanel, 4011, "ValidateMedia", K::Boolean },
        { kViewerPrefsPanel, 4006, "MediaCenterLargeImages", K::Boolean },
        { kViewerPrefsPanel, 4007, "MediaViewQuality", K::ViewQuality },
        { kViewerPrefsPanel, 4010, "FullScreenViewOptions", K::Number, 1, 2 },
        // Camera.
        { kCameraPrefsPanel, 7001, "ICAConnectCameraAction", K::Number, 1, 4 },
        { kCameraPrefsPanel, 7002, "ICALaunchIfNotRunning", K::Boolean },
        { kCameraPrefsPanel, 7004, "ICADisconnectCamera", K::Boolean },
        { kCameraPrefsPanel, 7005, "ICADeleteAfterDownload", K::Boolean },
        { kCameraPrefsPanel, 7006, "ICACreateCustomIcon", K::Boolean },
        { kCameraPrefsPanel, 7007, "ICAAdjustCreationDate", K::Boolean },
        { kCameraPrefsPanel, 7008, "ICAEmbedColorSyncProfile", K::Boolean },
        { kCameraPrefsPanel, 7009, "ICAAddMetaDataToFinderComment", K::Boolean },
        // Printing, import and network.
        { kNetworkPrefsPanel, 6002, "HighQualityPrinting", K::Boolean },
        { kNetworkPrefsPanel, 6005, "PrintHeader", K::Boolean },
        { kNetworkPrefsPanel, 6004, "PrintFrame", K::Boolean },
        { kNetworkPrefsPanel, 6006, "PrintFooter", K::Boolean },
        { kNetworkPrefsPanel, 6001, "ImportResolveAliases", K::Boolean },
        { kNetworkPrefsPanel, 6007, "ImportSkipDuplicates", K::Boolean },
        { kNetworkPrefsPanel, 6009, "ImportSkipSpecialFolders", K::Boolean },
        { kNetworkPrefsPanel, 6008, "ImportSkipPackages", K::Boolean },
        { kNetworkPrefsPanel, 5002, "DownloadFiles", K::Boolean },
        { kNetworkPrefsPanel, 5005, "AskBeforeConnecting", K::Boolean },
        { kNetworkPrefsPanel, 5008, "FTPPassiveMode", K::Boolean },
        { kNetworkPrefsPanel, 5009, "NumberParallelDownloads", K::Number, 1, 10 },
        // Camera raw.
        { kRawPrefsPanel, 4009, "RawLinearOutput", K::Boolean },
        { kRawPrefsPanel, 4010, "RawQuickInterpolation", K::Boolean },
        { kRawPrefsPanel, 4012, "RawRenderHalfSize", K::Boolean },
        { kRawPrefsPanel, 4013, "RawFourColorRGB", K::Boolean },
        { kRawPrefsPanel, 4014, "RawUseAutoWhiteBalance", K::Boolean },
        { kRawPrefsPanel, 4015, "RawUseCameraWhiteBalance", K::Boolean },
        { kRawPrefsPanel, 4016, "RawDocumentMode", K::Boolean },
        { kRawPrefsPanel, kRawSourcePane, "RawUseEmbeddedImage", K::RawSource },
        { kRawPrefsPanel, 4018, "RawBrightness", K::RawBrightness },
    };
    return bindings;
}

// --- The window ----------------------------------------------------------------------

CPreferencesWindow::CPreferencesWindow(const LLayoutData& data)
    : LDialogBox(data)
{
    sWindow = this;
}

CPreferencesWindow::~CPreferencesWindow()
{
    if (sWindow == this)
        sWindow = nullptr;
}

CPreferencesWindow* CPreferencesWindow::ShowPreferencesWindow(LCommander* superCommander)
{
    if (!sWindow) {
        LWindow* window = LWindow::CreateWindow(kPreferencesLayout, superCommander);
        if (!dynamic_cast<CPreferencesWindow*>(window)) {
            delete window;
            ThrowOSErr_(err_NilPointer, "layout 930 makes no preferences window");
        }
    }
    sWindow->Show();
    sWindow->Select();
    return sWindow;
}

void CPreferencesWindow::FinishCreateSelf()
{
    LDialogBox::FinishCreateSelf();
    ClearAttribute(windAttr_Zoomable);
    mTabs = dynamic_cast<LTabsControl*>(FindPaneByID(kTabsPane));
    auto* host = dynamic_cast<LView*>(FindPaneByID(kPanelHostPane));
    if (!mTabs || !host)
        ThrowOSErr_(err_NilPointer, "preferences window: a pane is missing");
    // Where the screen is too small for the whole window, the panels scroll and
    // the buttons below them stay in sight.
    InitTabbedPanels(host, this, this, true);
    SetShrinksToScreen(true);
    // The panel shown last time comes back (the first one when that is no panel).
    ResIDT panel = ResIDT(GetPrefNumber(QStringLiteral("PreferencesLastTab")));
    SInt32 tab = 1;
    for (SInt32 t = 1; t <= mTabs->GetMaxValue(); ++t) {
        if (PanelForTab(t) == panel)
            tab = t;
    }
    if (mTabs->GetValue() != tab)
        mTabs->SetValue(tab); // its broadcast builds the panel
    if (!GetPanel())
        SwitchPreferencesPanel(PanelForTab(tab));
}

ResIDT CPreferencesWindow::PanelForTab(SInt32 tab)
{
    switch (tab) {
    case 1: return kGeneralPrefsPanel;
    case 2: return kIndexPrefsPanel;
    case 3: return kViewerPrefsPanel;
    case 4: return kNetworkPrefsPanel;
    case 5: return kCameraPrefsPanel;
    case 6: return kRawPrefsPanel;
    default: return 0;
    }
}

void CPreferencesWindow::SwitchPreferencesPanel(ResIDT panelID)
{
    if (panelID == 0 || panelID == GetPanelID())
        return;
    SwitchPanel(panelID);
    Refresh();
    SetPrefNumber(QStringLiteral("PreferencesLastTab"), panelID);
}

// --- Values ----------------------------------------------------------------------------

void CPreferencesWindow::LoadPanelValues()
{
    const ResIDT panel = GetPanelID();
    for (const PrefPaneBinding& binding : PreferenceBindings()) {
        if (binding.panel != panel)
            continue;
        LPane* pane = FindPanelPane(binding.pane);
        if (!pane)
            continue;
        const QString key = QString::fromLatin1(binding.key);
        switch (binding.kind) {
        case EPrefBinding::Boolean:
            pane->SetValue(GetPrefBoolean(key) ? 1 : 0);
            break;
        case EPrefBinding::Number:
            if (auto* field = dynamic_cast<LEditText*>(pane))
                field->SetCFDescriptor(QString::number(GetPrefNumber(key)));
            else
                pane->SetValue(GetPrefNumber(key));
            break;
        case EPrefBinding::Pattern: {
            auto* popup = dynamic_cast<LStdPopupMenu*>(pane);
            if (!popup)
                break;
            if (popup->GetItems().size() <= 1) {
                QStringList items { CopyLocalizedString(QStringLiteral("PREFS_PLAIN_BACKGROUND")) };
                for (ResIDT id : GetNamedResourceIDs(kPatternType)) {
                    Str255 name;
                    GetResourceNameByID(id, kPatternType, name);
                    items << PStringToQString(name);
                }
                popup->SetItems(items);
            }
            const SInt32 id = GetPrefNumber(key);
            if (id == kPlainBackgroundID)
                popup->SetValue(1);
            else
                SelectPopupByResourceID(ResIDT(id), kPatternType, popup);
            break;
        }
        case EPrefBinding::ViewQuality:
            pane->SetValue(GetPrefNumber(key) == kHighViewQuality ? 0 : 1);
            break;
        case EPrefBinding::RawSource:
            pane->SetValue(!GetPrefBoolean(QStringLiteral("RawUseEmbeddedImage")) ? kRawDecoded
                    : GetPrefBoolean(QStringLiteral("RawEnlargeEmbeddedImage"))   ? kRawEmbeddedEnlarged
                                                                                  : kRawEmbedded);
            break;
        case EPrefBinding::RawBrightness:
            pane->SetCFDescriptor(QString::asprintf("%3.1f", double(GetPrefFloat(key))));
            break;
        }
    }
    if (panel == kIndexPrefsPanel) {
        ShowThumbnailSize();
        ShowCompression();
    }
    if (panel == kNetworkPrefsPanel)
        ShowChosenPaths();
}

void CPreferencesWindow::SavePanelValues()
{
    const ResIDT panel = GetPanelID();
    for (const PrefPaneBinding& binding : PreferenceBindings()) {
        if (binding.panel != panel)
            continue;
        LPane* pane = FindPanelPane(binding.pane);
        if (!pane)
            continue;
        const QString key = QString::fromLatin1(binding.key);
        switch (binding.kind) {
        case EPrefBinding::Boolean:
            SetPrefBoolean(key, pane->GetValue() != 0);
            break;
        case EPrefBinding::Number: {
            SInt32 value = pane->GetValue();
            if (auto* field = dynamic_cast<LEditText*>(pane)) {
                // An empty field or one that holds no number keeps the old value.
                bool isNumber = false;
                value = field->GetCFDescriptor().trimmed().toInt(&isNumber);
                if (!isNumber)
                    break;
            }
            if (binding.min <= binding.max)
                value = std::clamp(value, binding.min, binding.max);
            SetPrefNumber(key, value);
            break;
        }
        case EPrefBinding::Pattern: {
            auto* popup = dynamic_cast<LStdPopupMenu*>(pane);
            if (!popup)
                break;
            ResIDT id = kPlainBackgroundID;
            if (popup->GetValue() == 1 || CatchCode([&] { GetPopupResourceID(popup, kPatternType, &id); }) == noErr)
                SetPrefNumber(key, id);
            break;
        }
        case EPrefBinding::ViewQuality:
            SetPrefNumber(key, pane->GetValue() == 0 ? kHighViewQuality : 0);
            break;
        case EPrefBinding::RawSource:
            SetPrefBoolean(QStringLiteral("RawUseEmbeddedImage"), pane->GetValue() != kRawDecoded);
            SetPrefBoolean(QStringLiteral("RawEnlargeEmbeddedImage"), pane->GetValue() == kRawEmbeddedEnlarged);
            break;
        case EPrefBinding::RawBrightness: {
            bool isNumber = false;
            const float brightness = pane->GetCFDescriptor().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toFloat(&isNumber);
            if (isNumber && std::isfinite(brightness))
                SetPrefFloat(key, std::clamp(brightness, kMinRawBrightness, kMaxRawBrightness));
            break;
        }
        }
    }
    if (panel == kGeneralPrefsPanel)
        GetPrefBoolean(QStringLiteral("ShowToolTips")) ? EnableHelpTags() : DisableHelpTags();
}

void CPreferencesWindow::ShowThumbnailSize()
{
    if (LPane* size = FindPanelPane(kThumbnailSizePane)) {
        const QString side = QString::number(size->GetValue());
        if (LPane* text = FindPanelPane(kThumbnailSizeText))
            text->SetCFDescriptor(side + QStringLiteral(" x ") + side);
    }
}

void CPreferencesWindow::ShowCompression()
{
    if (LPane* compression = FindPanelPane(kCompressionPane)) {
        if (LPane* text = FindPanelPane(kCompressionText))
            text->SetCFDescriptor(CopyLocalizedString(QStringLiteral("617:%1").arg(compression->GetValue())));
    }
}

void CPreferencesWindow::ShowChosenPaths()
{
    const QString none = CopyLocalizedString(QStringLiteral("600:46"));
    if (LPane* folder = FindPanelPane(kDownloadFolderPane)) {
        const QString path = ResolvedAliasPath(QStringLiteral("DownloadFolderAlias"));
        folder->SetCFDescriptor(path.isEmpty() ? none : path);
    }
    if (LPane* viewer = FindPanelPane(kViewerNamePane)) {
        const QString path = ResolvedAliasPath(QStringLiteral("AlternativeViewerAlias"));
        viewer->SetCFDescriptor(path.isEmpty() ? none : DesktopEntryName(path));
    }
}

void CPreferencesWindow::SetChooserHooks(AskPath chooseApplication, AskPath chooseFolder)
{
    ApplicationChooser() = chooseApplication ? std::move(chooseApplication) : AskForApplication;
    FolderChooser() = chooseFolder ? std::move(chooseFolder) : AskForFolder;
}

void CPreferencesWindow::ChooseAlternativeViewer()
{
    const QString path = ApplicationChooser()();
    if (path.isEmpty())
        return;
    QByteArray alias;
    ThrowIfOSErr_(NewAliasBytes(nullptr, FileRef(path), alias));
    SetPrefHandle(QStringLiteral("AlternativeViewerAlias"), alias);
    LoadPanelValues();
}

void CPreferencesWindow::ChooseDownloadFolder()
{
    const QString path = FolderChooser()();
    if (path.isEmpty())
        return;
    QByteArray alias;
    ThrowIfOSErr_(NewAliasBytes(nullptr, FileRef(path), alias));
    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
    LoadPanelValues();
}

// --- Messages, keys, closing ---------------------------------------------------------------

void CPreferencesWindow::SaveAndClose(bool writeFile)
{
    if (mClosing)
        return;
    mClosing = true;
    ClosePanel();
    if (writeFile) {
        const OSStatus status = SynchronizePrefsStatus();
        if (status != noErr)
            qCWarning(lcApp) << "the preferences were not written:" << status;
    }
    DoClose();
    RefreshAllWindows();
}

void CPreferencesWindow::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case kTabsPane:
        if (ioParam)
            SwitchPreferencesPanel(PanelForTab(*static_cast<SInt32*>(ioParam)));
        return;
    case msg_OK:
        SaveAndClose(true);
        return;
    case msg_Cancel:
        SaveAndClose(false);
        return;
    case msg_PrefsApply:
        SavePanelValues();
        RefreshAllWindows();
        return;
    case msg_PrefsChooseViewer:
        ChooseAlternativeViewer();
        return;
    case msg_PrefsChooseDownloadFolder:
        ChooseDownloadFolder();
        return;
    case msg_PrefsThumbnailSize:
        ShowThumbnailSize();
        return;
    case msg_PrefsCompression:
        ShowCompression();
        return;
    default:
        LDialogBox::ListenToMessage(message, ioParam);
    }
}

bool CPreferencesWindow::HandleKeyPress(const EventRecord& event)
{
    const UInt8 character = EventCharCode(event);
    if (character == char_Escape && EventKeyCode(event) == vkey_Escape) {
        SaveAndClose(true);
        return true;
    }
    // Arrows move between tabs, except inside a text, where they move the caret.
    if ((character == char_LeftArrow || character == char_RightArrow) && !FocusIsInText() && mTabs) {
        StepTab(*mTabs, character == char_LeftArrow ? -1 : 1);
        return true;
    }
    if (character == kHelpKey)
        return true;
    return LDialogBox::HandleKeyPress(event);
}

void CPreferencesWindow::AttemptClose()
{
    SaveAndClose(true);
}

void CPreferencesWindow::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark,
    UInt16& outMark, Str255& outName)
{
    if (command == cmd_Preferences) {
        outEnabled = !IsActiveWindow();
        return;
    }
    LDialogBox::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}

// --- Every window --------------------------------------------------------------------------

void RefreshAllWindows()
{
    for (CIndexDoc* index : CIndexDoc::GetIndexDocuments())
        index->RefreshViews();
    CMediaWindow::RefreshAllMediaWindows();
    LoadContextualMenuCursor();
}
