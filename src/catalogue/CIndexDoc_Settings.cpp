// settings.xml: the index's display settings (kept by its model, where the views
// put what the user changes) and the window layout keys below.

#include "CIndexDoc.h"

#include "PrefKeys.h"

#include "CIndexPackage.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "SettingsValues.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>

namespace {

const QString kDefaultIndexView = Pref::DefaultIndexView.Key();
const QString kLastThumbID = QStringLiteral("LastThumbID");
const QString kIndexItemCount = QStringLiteral("IndexItemCount");
const QString kIndexShowToolbar = QStringLiteral("IndexShowToolbar");
const QString kIndexShowStatusBar = QStringLiteral("IndexShowStatusBar");
const QString kSourceViewWidth = QStringLiteral("DefaultSourceViewWidth");
const QString kOrganizerViewWidth = QStringLiteral("DefaultOrganizerViewWidth");
const QString kWindowWidth = QStringLiteral("DefaultIndexWindowWidth");
const QString kWindowHeight = QStringLiteral("DefaultIndexWindowHeigth"); // spelled so in every file
const QString kWindowPosition = QStringLiteral("DefaultIndexWindowPosition");
const QString kPrintSettings = Pref::IndexPrintSettings.Key();

Q_LOGGING_CATEGORY(lcSettings, "orvex.errors")

// The item count a settings file may announce: it only sizes the progress bar
// and a reservation, so a hostile value must not ask for gigabytes.
constexpr SInt32 kMaxExpectedItems = 1'000'000;

bool IsShownInWindow(const LPane* pane, const LWindow* window)
{
    // The window itself may be hidden (still reading, or closing): ask the pane's own state.
    return pane->isVisibleTo(window);
}

} // namespace

QUrl CIndexDoc::SettingsFileURL() const
{
    if (!mPackage)
        ThrowOSErr_(err_NilPointer, "an untitled index has no settings.xml");
    return mPackage->GetSettingsURL();
}

QRect CIndexDoc::CurrentFrame() const
{
    // While in full screen, the frame the window had before.
    if (mIndexView->IsFullScreen()) {
        return mIndexView->GetSavedFrame();
    }
    QRect bounds;
    GetWindow()->GetBoundsToKeep(bounds);
    return bounds;
}

void CIndexDoc::WriteDocumentSettings(QVariantMap& settings, bool windowReused)
{
    const bool listShown = IsShownInWindow(mListViewPane, GetWindow());
    settings.insert(kDefaultIndexView, SettingsNumber(listShown ? kCmdListView : mIndexView->GetViewMode()));
    if (mPackage)
        settings.insert(kLastThumbID, SettingsNumber(mPackage->GetLastThumbID()));
    settings.insert(kIndexItemCount, SettingsNumber(mModel->CountAllItems()));
    if (!windowReused)
        settings.insert(kIndexShowToolbar, IsToolbarShown());
    settings.insert(kSourceViewWidth, SettingsNumber(GetSourceViewWidth()));
    settings.insert(kOrganizerViewWidth, SettingsNumber(GetOrganizerViewWidth()));
    if (!windowReused) {
        const QRect frame = CurrentFrame();
        settings.insert(kWindowWidth, SettingsNumber(frame.width()));
        settings.insert(kWindowHeight, SettingsNumber(frame.height()));
        settings.insert(kWindowPosition, QVariantList { SettingsNumber(frame.top()), SettingsNumber(frame.left()) });
    }
}

void CIndexDoc::WriteSettings(bool windowReused)
{
    const QString path = SettingsFileURL().toLocalFile();
    // Start from the file as it is, so keys that no writer here sets survive.
    QVariantMap settings;
    QVariant old;
    if (PropertyList::ReadFile(path, old) == noErr && old.typeId() == QMetaType::QVariantMap)
        settings = old.toMap();

    TakeViewSettings();
    mModel->WriteSettings(settings, windowReused);
    WriteDocumentSettings(settings, windowReused);

    if (!PropertyList::IsValid(settings))
        ThrowOSErr_(err_NilPointer, "settings.xml: a value has no property-list form");
    if (OSStatus err = PropertyList::WriteFile(path, settings))
        ThrowOSErr_(err, "settings.xml cannot be written");
}

void CIndexDoc::ApplyDocumentSettings(const QVariantMap& settings, bool windowReused)
{
    if (!windowReused) {
        if (std::optional<bool> toolbar = BooleanAt(settings, kIndexShowToolbar))
            *toolbar ? ShowToolbar() : HideToolbar();
        if (std::optional<SInt32> width = NumberAt<SInt32>(settings, kSourceViewWidth)) {
            ShowSourceView();
            SetSourceViewWidth(*width);
        }
        if (std::optional<SInt32> width = NumberAt<SInt32>(settings, kOrganizerViewWidth)) {
            ShowOrganizerView();
            SetOrganizerViewWidth(*width);
        }
    }
    if (std::optional<SInt32> mode = NumberAt<SInt32>(settings, kDefaultIndexView))
        SetViewMode(*mode);
    if (!windowReused) {
        LWindow* window = GetWindow();
        const QVariantList position = settings.value(kWindowPosition).toList();
        SInt16 top = 0, left = 0;
        if (position.size() >= 2 && PropertyList::ToInt16(position.at(0), top)
            && PropertyList::ToInt16(position.at(1), left))
            window->MoveWindowTo(left, top);
        std::optional<SInt16> width = NumberAt<SInt16>(settings, kWindowWidth);
        std::optional<SInt16> height = NumberAt<SInt16>(settings, kWindowHeight);
        if (width && height && *width > 0 && *height > 0) {
            window->ResizeFrameTo(*width, *height, true);
            ConstrainToScreen(window);
        }
    }
    if (std::optional<SInt32> next = NumberAt<SInt32>(settings, kLastThumbID); next && *next > 0 && mPackage)
        mPackage->SetLastThumbID(*next);
}

SInt32 CIndexDoc::ReadSettings(bool windowReused)
{
    const QString path = SettingsFileURL().toLocalFile();
    QVariant parsed;
    QString why;
    OSStatus err = PropertyList::ReadFile(path, parsed, &why);
    if (err == noErr && parsed.typeId() != QMetaType::QVariantMap) {
        err = PropertyList::kErrMalformed;
        why = QStringLiteral("the top level is no dictionary");
    }
    // index.db holds the items: without its settings the index opens as a new one
    // would look, and a damaged file is set aside, never written over.
    if (err != noErr && err != fnfErr)
        KeepDamagedSettings(path, err, why);
    const QVariantMap settings = err == noErr ? parsed.toMap() : QVariantMap();

    ApplyDocumentSettings(settings, windowReused);
    const SInt32 count = std::clamp<SInt32>(NumberAt<SInt32>(settings, kIndexItemCount).value_or(0), 0, kMaxExpectedItems);
    mModel->ReadSettings(settings, windowReused);
    mIndexView->ShowSettings();
    if (mListView && !mModel->GetSettings().listViewColumns.isEmpty())
        mListView->ShowColumnState(mModel->GetSettings().listViewColumns);
    return count;
}

void CIndexDoc::KeepDamagedSettings(const QString& path, OSStatus err, const QString& why)
{
    qCWarning(lcSettings) << "settings.xml is damaged, the index opens with standard settings:" << err << why;
    const QString kept = path + QLatin1String(kDamagedSettingsSuffix);
    QFile::remove(kept);
    if (!QFile::rename(path, kept))
        qCWarning(lcSettings) << "the damaged settings.xml could not be set aside:" << path;
    ReportError(kMsgSettingsDamaged, kCautionAlert);
}

void CIndexDoc::SaveSettingsAsDefaults()
{
    const bool listShown = IsShownInWindow(mListViewPane, GetWindow());
    SetPrefNumber(kDefaultIndexView, listShown ? kCmdListView : mIndexView->GetViewMode());
    SetPrefBoolean(kIndexShowToolbar, IsToolbarShown());
    SetPrefBoolean(kIndexShowStatusBar, IsStatusBarShown());
    SetPrefNumber(kSourceViewWidth, GetSourceViewWidth());
    SetPrefNumber(kOrganizerViewWidth, GetOrganizerViewWidth());
    const QRect frame = CurrentFrame();
    SetPrefNumber(kWindowWidth, frame.width());
    SetPrefNumber(kWindowHeight, frame.height());
    SetPrefPoint(kWindowPosition, Point { SInt16(frame.top()), SInt16(frame.left()) });
    if (!mPrintSettings.isEmpty())
        SetPrefHandle(kPrintSettings, mPrintSettings);
    TakeViewSettings();
    mModel->SaveSettingsAsDefaults();
}

void CIndexDoc::TakeViewSettings()
{
    IndexSettings& settings = mModel->Settings();
    settings.firstVisibleItem = mIndexView->GetFirstVisibleItem();
    if (mListView)
        settings.listViewColumns = mListView->CopyColumnState();
}
