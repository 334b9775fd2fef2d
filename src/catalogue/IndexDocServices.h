#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QRect>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <functional>
#include <memory>

class CIndexDoc;
class CIndexItem;
class CIndexModel;
class LBroadcaster;
class LCommander;
class LPane;
class LWindow;

// Bits of the index view's option word.
enum : UInt32 {
    kViewOptionShowFileExtension = 0x40000000,
    kViewOptionRemoveMedia = 0x01000000,
    kViewOptionStoreMedia = 0x02000000,
    kViewOptionShowInfoOnOpen = 0x04000000,
    kViewOptionOpenFirstItem = 0x08000000,
};

// The window's view modes, named by the commands that choose them.
inline constexpr SInt32 kViewModeThumbnails = 0;
inline constexpr SInt32 kCmdExtendedView = 1019;
inline constexpr SInt32 kCmdListView = 1082;
inline constexpr SInt32 kCmdThumbnailView = 1083;

// Messages the index view broadcasts on the document's behalf.
inline constexpr MessageT msg_IndexViewStateChanged = 3002;
inline constexpr MessageT msg_IndexViewModeChanged = 8006;

// What owns the model an index window shows: the index document. The window's
// index view finds it up the commander chain while the layout is built and shows
// that model from the start; the owner's model outlives the views that show it.
class IndexModelOwner {
public:
    virtual ~IndexModelOwner() = default;
    virtual CIndexModel& GetModel() const = 0;
};

// The model of the nearest commander from `commander` up that owns one; null when none does.
CIndexModel* FindOwnedIndexModel(LCommander* commander);

// What the index document asks of its index view (pane 920): view operations
// only. What the index holds (items, counts, selection, state, options) the
// document reads from its model. The views implement it on the index view beside
// IndexViewServices; the document finds it on the pane. Operations do not throw
// unless they say so.
class IndexDocViewServices {
public:
    virtual ~IndexDocViewServices() = default;

    // Wiring, once, while the document builds its window.
    virtual void SetWindow(LWindow* window) = 0;
    virtual void SetListView(LPane* listView) = 0;
    virtual void SetStatusPlacard(LPane* placard) = 0;
    // The document's model goes: the view stops its tasks and lets go of it.
    virtual void ReleaseModel() = 0;
    // The broadcaster that the window's panes listen to and that sends 3002 and 8006.
    virtual LBroadcaster& GetViewBroadcaster() = 0;

    // A sheet or dialog is open on the window, or the view's property dialog.
    virtual bool IsWindowBusy() const = 0;
    // Asks for the index password while the window is locked; true when unlocked.
    virtual bool UnlockWithPassword() = 0;
    // An index opened whose password the keychain keeps: true when the keychain
    // holds it or the user typed it; throws when refused or cancelled.
    virtual bool VerifyPassword() = 0;

    virtual void RevealSelection() = 0;
    // Adds a file (an item) or a folder (an import task) at a 1-based position;
    // the new item's index, or 0.
    virtual SInt32 ImportURL(const QUrl& url, SInt32 position, bool select) = 0;
    // A network address (ftp, http, https) added as a dropped one is, downloaded as
    // the preferences say; false for one the program cannot download from.
    virtual bool ReceiveAddress(const QUrl& url) = 0;
    virtual void ShowAllItems(bool refresh) = 0;
    virtual void StartQuickSearch(SInt32 fieldKey, const QString& text) = 0;
    virtual void OpenSelectedItem() = 0;
    virtual void RebuildThumbnails() = 0;

    // Mode and position: 0 thumbnails, 1019 extended.
    virtual SInt32 GetViewMode() const = 0;
    virtual void SetViewMode(SInt32 command) = 0;
    // The first-visible position of the current mode.
    virtual SInt32 GetModeScrollPosition() const = 0;
    virtual void SetModeScrollPosition(SInt32 position, bool refresh) = 0;

    // The index's settings live in the model (CIndexModel::Settings); the view
    // shows them. ShowSettings: they were read or reset, and the view takes them
    // (theme, sizes, columns, full screen) and tells its listeners (8006).
    virtual void ShowSettings() = 0;
    // The first item the view shows now (1-based), kept in the settings.
    virtual SInt32 GetFirstVisibleItem() const = 0;
    // The window is to show another index: the filter ends and every item goes,
    // the view's tasks stopped first.
    virtual void RemoveAllItems() = 0;

    // Full screen.
    virtual bool IsFullScreen() const = 0;
    // The window's content bounds (global) when full screen began.
    virtual QRect GetSavedFrame() const = 0;
    virtual void EnterFullScreen() = 0;
    virtual void SetTheme(SInt32 theme, bool redraw) = 0;

    // Printing: the scale is printer resolution / 72 for the length of a job.
    virtual void SetPrintScale(double scale) = 0;
    virtual void PrepareForPrinting(double resolution) = 0;
};

// An index view pane that does not offer IndexDocViewServices itself is served by
// an adapter that its subsystem installs; the document owns the adapter.
using IndexDocViewAdapterMaker = std::function<std::unique_ptr<IndexDocViewServices>(LPane* indexView)>;
void SetIndexDocViewAdapterMaker(IndexDocViewAdapterMaker maker);
const IndexDocViewAdapterMaker& GetIndexDocViewAdapterMaker();

// What the document asks of its list view (pane 'brow').
class IndexListServices {
public:
    virtual ~IndexListServices() = default;
    // Linked with the index view both ways.
    virtual void SetIndexView(LPane* indexView) = 0;
    // Takes the rows from the index view's current list / lets go of them.
    virtual void ReloadRows() = 0;
    virtual void ReleaseRows() = 0;
    // The columns as shown, as "ListViewColumns" keeps them, and such a
    // dictionary shown (one that cannot be shown leaves the columns as they are).
    virtual QVariantMap CopyColumnState() const = 0;
    virtual void ShowColumnState(const QVariantMap& state) = 0;
};

// A pane of the index window that works for the document: the source list, the
// organizer list and the status placard. Each is handed the document once its
// window is built and takes what it needs from it (the index view to listen to,
// the list view).
class IndexDocumentPane {
public:
    virtual ~IndexDocumentPane() = default;
    virtual void SetIndexDocument(CIndexDoc* document) = 0;
    // The index view rebuilt its value index; the organizer list refills itself.
    virtual void ValueIndexRebuilt() { }
};

// A header or footer of a printed index page.
class IndexPrintCaption {
public:
    virtual ~IndexPrintCaption() = default;
    virtual void SetTitle(const QString& title) = 0;
    virtual void SetPageCount(SInt32 count) = 0;
    virtual void SetIndexURL(const QString& url) = 0;
};

// What the document asks of the application. The application installs it.
class IndexDocAppServices {
public:
    virtual ~IndexDocAppServices() = default;
    // Opens the package again as a new document (revert).
    virtual void SendOpenDocumentEvent(const QUrl& package) = 0;
    virtual void AddRecentURL(const QUrl& url) = 0;
    // The recent items, newest first: how many, and the location of one (empty
    // past the end). None by default.
    virtual SInt32 GetRecentItemCount() const { return 0; }
    virtual QUrl CopyRecentItemURL(SInt32) const { return {}; }
    // Goes on quitting after a document closed on the way (asks the next one).
    virtual void ContinueQuitting() = 0;
};

// Set while an index window is locked by its password: no document command is
// enabled then. The index views keep it.
extern bool gIndexWindowLocked;

void SetIndexDocAppServices(IndexDocAppServices* services);
// The installed services, or null.
IndexDocAppServices* GetIndexDocAppServices();
