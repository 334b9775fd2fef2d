#pragma once

#include "LBroadcaster.h"
#include "LCommander.h"
#include "LWindow.h"

#include <QHash>
#include <QPixmap>
#include <QToolBar>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QLineEdit;

// The reverse-domain prefix of every toolbar and item identifier; stored
// configurations depend on it.
inline const QString kToolbarIdentifierPrefix = QStringLiteral("org.orvex.");
inline const QString kIndexToolbarIdentifier = kToolbarIdentifierPrefix + QStringLiteral("indextoolbar7");
inline const QString kMediaToolbarIdentifier = kToolbarIdentifierPrefix + QStringLiteral("mediatoolbar7");
inline const QString kToolbarItemPrefix = kToolbarIdentifierPrefix + QStringLiteral("orvextoolbar.");
inline const QString kViewSelectorIdentifier = kToolbarItemPrefix + QStringLiteral("viewselector");
inline const QString kBrowserSelectorIdentifier = kToolbarItemPrefix + QStringLiteral("browserselector");
inline const QString kSearchFieldIdentifier = kToolbarItemPrefix + QStringLiteral("searchfield");
// The standard items every toolbar offers.
inline const QString kToolbarSpaceIdentifier = kToolbarIdentifierPrefix + QStringLiteral("toolbar.space");
inline const QString kToolbarFlexibleSpaceIdentifier = kToolbarIdentifierPrefix + QStringLiteral("toolbar.flexiblespace");
inline const QString kToolbarSeparatorIdentifier = kToolbarIdentifierPrefix + QStringLiteral("toolbar.separator");
inline const QString kToolbarPrintIdentifier = kToolbarIdentifierPrefix + QStringLiteral("toolbar.print");
inline const QString kToolbarCustomizeIdentifier = kToolbarIdentifierPrefix + QStringLiteral("toolbar.customize");

// Toolbar attributes: the user may configure it; the configuration is kept in the
// preferences under the toolbar identifier.
enum : UInt32 { toolbarAttr_Configurable = 1, toolbarAttr_AutoSavesConfig = 2 };
enum EToolbarDisplayMode : SInt32 { toolbarDisplay_Default = 0, toolbarDisplay_IconAndLabel = 1, toolbarDisplay_IconOnly = 2, toolbarDisplay_LabelOnly = 3 };
enum EToolbarSize : SInt32 { toolbarSize_Default = 0, toolbarSize_Normal = 1, toolbarSize_Small = 2 };

// Control IDs of the custom items' views.
enum : SInt32 { kViewSelectorControlID = 1083, kBrowserSelectorControlID = 1014, kSearchFieldControlID = 1057 };

// What the search field asks of the window's index view.
class ToolbarSearchClient {
public:
    virtual ~ToolbarSearchClient() = default;
    virtual void StartQuickSearch(SInt32 fieldKey, const QString& text) = 0;
    virtual void ShowAllItems(bool refresh) = 0;
};

// A window's toolbar: a QToolBar of items made from identifiers (the program's
// menu commands, a view selector, a browser selector and a search field, and the
// standard spaces, separator, print and customize items). Subclasses give the
// default and allowed sets. Items follow the command status of the target chain.
class CToolbar : public LCommander, public LListener {
public:
    static constexpr SInt32 kSearchFieldKey = 4001;

    CToolbar();
    ~CToolbar() override;

    virtual void Create(const QString& toolbarIdentifier, LWindow* window, UInt32 attributes);
    virtual void Show();
    virtual void Hide();
    virtual bool IsVisible() const;
    virtual void UpdateCommandStatus(CommandT command, bool enabled, bool marked);
    virtual void AppendCommandIdentifier(CommandT command, QStringList& ioIdentifiers);
    QToolBar* GetToolbarRef() const { return mToolBar; }
    LWindow* GetWindow() const { return mWindow; }
    virtual void FocusSearchField();
    virtual void ConfigureOnFirstUse() {}
    virtual void CopyDefaultIdentifiers(QStringList& ioIdentifiers) = 0;
    virtual void CopyAllowedIdentifiers(QStringList& ioIdentifiers) = 0;
    // The item for an identifier; null for one this toolbar does not know.
    // Throws 'asrt' for a command that has no label and no menu item.
    virtual QAction* CreateItemForCommand(const QString& identifier);
    static CommandT CommandForIdentifier(const QString& identifier);
    static QString CopyIdentifierForCommand(CommandT command);
    virtual void SetItemImageForCommand(QAction* item, CommandT command);
    virtual QAction* CreateViewSelectorItem(const QString& identifier);
    virtual QAction* CreateBrowserSelectorItem(const QString& identifier);
    virtual QAction* CreateSearchFieldItem(const QString& identifier);

    // The configuration: the items on the bar, display mode and size. Setting it
    // rebuilds the bar and, with toolbarAttr_AutoSavesConfig, saves it.
    const QString& GetIdentifier() const { return mIdentifier; }
    QStringList GetItemIdentifiers() const;
    void SetItemIdentifiers(const QStringList& identifiers);
    SInt32 GetDisplayMode() const { return mDisplayMode; }
    void SetDisplayMode(SInt32 mode);
    SInt32 GetSizeMode() const { return mSizeMode; }
    void SetSizeMode(SInt32 size);
    // The default set as the bar shows it: items that cannot be made left out.
    QStringList DefaultItemIdentifiers();
    // Opens the customisation dialog (configurable toolbars only); answers whether the user took it.
    bool RunCustomizeDialog();

    // The item carrying an identifier on the bar, or null.
    QAction* FindItem(const QString& identifier) const;
    // Label and icon the customisation dialog shows for an identifier.
    bool DescribeItem(const QString& identifier, QString& outLabel, QPixmap& outImage);
    QLineEdit* GetSearchField() const;
    // The image the view (or browser) selector shows now, by its name ("1083.png").
    QString GetViewSelectorImage() const { return mViewSelectorImage; }
    QString GetBrowserSelectorImage() const { return mBrowserSelectorImage; }

    void SetSearchClient(ToolbarSearchClient* client) { mSearchClient = client; }
    // Asks the target chain about every command item.
    void UpdateAllCommandStatus();
    // What the window's target chain says of a command: enabled, and marked (on).
    void GetCommandStatus(CommandT command, bool& outEnabled, bool& outMarked) const;
    void ListenToMessage(MessageT message, void* ioParam) override;

    // A custom selector was clicked: the command goes to the window's target.
    void PostSelectorCommand(CommandT command);

    // The bundle image by name ("1083.png"); a null pixmap when there is none. On a
    // dark bar its grey strokes take the bar's text colour, unless the image draws
    // its own light face (`ownFace`: the selectors), where they stay dark.
    static QPixmap ToolbarImage(const QString& name, bool ownFace = false);

protected:
    void SaveConfiguration() const;
    bool LoadConfiguration();
    void Rebuild();
    void ApplyDisplayMode();
    void SendCommand(CommandT command);
    // Keeps the search field on a bar too narrow for every item: the items before
    // it go past the end, into the overflow menu, first. The field takes its
    // configured place again once the bar has room.
    void KeepSearchFieldOnBar();

    QPointer<LWindow> mWindow;
    QPointer<QToolBar> mToolBar;
    QString mIdentifier;
    UInt32 mAttributes = 0;
    QStringList mItems;
    SInt32 mDisplayMode = toolbarDisplay_Default;
    SInt32 mSizeMode = toolbarSize_Default;
    QString mViewSelectorImage = QStringLiteral("1083.png");
    QString mBrowserSelectorImage = QStringLiteral("1090.png");
    ToolbarSearchClient* mSearchClient = nullptr;
    bool mCreated = false;
    QPointer<QAction> mSearchFieldNext; // the item after the field as configured; null when it ends the bar
    int mSearchFieldMovedAt = -1;       // the bar's width when the field was moved left, or -1
    bool mKeepingSearchField = false;
    QPointer<QObject> mBarWatcher;
};

// The commands of menu 133 (saved searches and batches) from item 7 up to, but
// not including, its last item; `filter` picks which.
QList<CommandT> SavedSettingCommands(const std::function<bool(CommandT)>& filter = {});
// Stored settings were deleted: every toolbar item of a command in `renumbered`
// takes the command it maps to (cmd_Nothing drops the item), in the stored
// configurations and on the bars shown, so that a button keeps starting the same
// setting.
void RenumberToolbarCommands(const QHash<CommandT, CommandT>& renumbered);
// Whether a saved-batch command (9500-9999) names an existing entry of
// "BatchSettings_6"; `sourceKind` (when not 0) must match its "SourceKind".
bool SavedBatchExists(CommandT command, SInt32 sourceKind = 0);
