#pragma once

#include "CContextualMenu.h"
#include "IndexDocServices.h"
#include "LDataBrowser.h"

#include <QVariantMap>

#include <vector>

class CIndexModel;
class CIndexView;

// How a field's list column looks: its cell type, widths and justification.
struct IndexListColumnSpec {
    FourCharCode type = kDataBrowserTextType; // 'text', 'ticn', 'date', 'menu', 'icnr'
    UInt16 minWidth = 100;
    UInt16 maxWidth = 400;
    UInt16 width = 200;
    SInt16 justification = 0; // 0 left, 1 centre, 2 right
};
inline constexpr FourCharCode kDataBrowserDateType = 'date';
inline constexpr FourCharCode kDataBrowserPopupMenuType = 'menu';

// The column of a field key (every key has one).
IndexListColumnSpec IndexListColumnFor(SInt32 fieldKey);
// The columns a list shows when no stored column list can be applied.
const std::vector<SInt32>& DefaultIndexListColumns();

inline constexpr ResIDT kMenuSortBy = 158; // the Sort By menu, which lists a sort item per column first
inline constexpr CommandT kSortCommandOffset = 6000; // sort by field = command - 6000
inline constexpr UInt16 kListMinRowHeight = 10;
inline constexpr UInt16 kListMaxRowHeight = 64;

// 'InLv': the index as a list, one row per item of the index model's current list
// and one column per chosen field. It shows the model's table with the model's one
// selection, so a selection made here is the grid's and the other way round, and
// rows come and go with the model's own changes at any size. A header click sorts
// the index (the grid shows the same order). A right click, the Menu key or
// Shift+F10 shows the grid's contextual menu for the rows, with the list's help.
class CIndexListView : public LDataBrowser, public IndexListServices, public CCMArea {
public:
    static constexpr ClassIDT class_ID = 'InLv';
    explicit CIndexListView(const LLayoutData& data);
    CIndexListView(const SPaneInfo& info, const LDataBrowserImp::Settings& settings);
    ~CIndexListView() override;

    void FinishCreateSelf() override;

    // Columns. AddFieldColumn throws 'nilP' for a key without a display name;
    // removing the only column throws 100064 and leaves it.
    OSStatus AddFieldColumn(SInt32 fieldKey);
    bool HasFieldColumn(SInt32 fieldKey) const;
    void RemoveColumn(DataBrowserPropertyID property) override;
    void RemoveAllColumns() override;
    std::vector<SInt32> GetFieldColumns() const;

    // Rows: the model's current list, shown while the list is (or when forced).
    void ReloadItems(bool force);
    void RemoveAllItems() override;
    void RevealSelection();
    void AdjustScrollbars();

    // The stored column state: "COLUMNS" (field keys in order), "WIDTHS", and the
    // sort column and order, as kept under "ListViewColumns".
    QVariantMap GetUserState() const;
    // Applies a stored state; throws when a column cannot be made.
    void SetUserState(const QVariantMap& state);

    UInt16 GetMaximumRowHeight() const { return kListMaxRowHeight; }
    UInt16 GetMinimumRowHeight() const { return kListMinRowHeight; }
    UInt16 GetRowHeight() const { return mRowHeight; }
    void SetRowHeight(UInt16 height, bool refresh);

    CIndexView* GetIndexView() const { return mView; }
    CIndexModel* GetModel() const { return mModel; }

    // IndexListServices.
    void SetIndexView(LPane* indexView) override;
    void ReloadRows() override { ReloadItems(true); }
    void ReleaseRows() override { RemoveAllItems(); }
    QVariantMap CopyColumnState() const override { return GetUserState(); }
    void ShowColumnState(const QVariantMap& state) override;

    // Commands and keys.
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;
    bool HandleKeyPress(const EventRecord& event) override;

    // A header click on a column: the index sorts by its field, the order reversed
    // when it sorted by it already.
    void HeaderClicked(int column);

    // The contextual menu: the grid's items about the same selection, and the
    // list's own help.
    void AddOwnItems(QMenu* menu) override;
    UInt32 GetHelpType() override;
    void GetHelpString(QString& outText) override;
    void HelpChosen() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The keyboard's request for the contextual menu (Shift+F10, the Menu key): at
    // the current row, about the selection as it is.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Init();
    // A contextual click at a point of the rows: a row not selected becomes the
    // selection, a point below the rows deselects all.
    void SelectForContextClick(QPoint viewportPoint);
    // The model's table takes the columns shown here.
    void ApplyColumns();
    void ShowSortIndicator();
    void OpenRow(const QModelIndex& index);
    void AddMenuItem(SInt32 fieldKey);
    // The width a column needs for its title and the texts of its first rows.
    int ContentWidth(SInt32 fieldKey, const QString& title, FourCharCode type);
    void RemoveMenuItem(SInt32 fieldKey);

    CIndexView* mView = nullptr;
    CIndexModel* mModel = nullptr;
    std::vector<QMetaObject::Connection> mModelConnections;
    class IndexListDelegate* mDelegate = nullptr;
    std::vector<QString> mShownTitles; // the titles last given to the table
    UInt16 mRowHeight = 18;
    bool mApplyingColumns = false;
};

void RegisterIndexListViewClass();
