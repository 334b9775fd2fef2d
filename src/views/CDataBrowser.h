#pragma once

#include "IndexDocServices.h"
#include "LDataBrowser.h"

#include <QColor>
#include <QString>

#include <functional>

class CIndexDoc;
class CIndexView;
class CSourceItemDivider;
class QPalette;

// Column properties of the source lists.
inline constexpr DataBrowserPropertyID kSourceNameProperty = 'SRCp'; // the row's name and icon
inline constexpr DataBrowserPropertyID kSourceCountProperty = 'SRLc'; // the organizer's count column
inline constexpr DataBrowserPropertyID kSourceSpacerProperty = 'SRLs'; // room for the vertical scroll bar
inline constexpr UInt16 kSourceSpacerWidth = 16;

// Column justification as the list columns number it.
enum : SInt16 {
    kColumnJustifyLeft = 0,
    kColumnJustifyCenter = 1,
    kColumnJustifyRight = 2,
};

// The colours of a source list: the light blue-grey style on a light desktop
// palette, and the same roles taken from the palette on a dark one, so that rows
// stay readable whatever the desktop's scheme.
struct SourceListColors {
    QColor fill; // every row's background
    QColor selectedFill; // a selected row
    QColor text;
    QColor selectedText;
    QColor engraveLight; // a header's title: drawn first, one pixel low
    QColor engraveDark; // then in this colour on top

    static SourceListColors FromPalette(const QPalette& palette);
};

// The data-browser pane of the index window's source lists (the file browser and
// the organizer): one-column lists of self-drawing rows (CSourceItem) in sections,
// ordered by their sort strings. It knows the index document that owns the window
// and from it the index view.
class CDataBrowser : public LDataBrowser, public IndexDocumentPane {
public:
    explicit CDataBrowser(const LLayoutData& data);
    CDataBrowser(const SPaneInfo& info, const LDataBrowserImp::Settings& settings);

    void FinishCreateSelf() override;

    // Rows are kept in their sort strings' order in every container.
    void AddItems(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container = 0,
        DataBrowserPropertyID preSortProperty = 0) override;
    // Rows made in that order already (case-insensitively by their sort strings):
    // added without a look at their order, a comparison a row among many thousands.
    void AddItemsInOrder(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container);

    // A list-view column of the program's own: flags editable or not, type-select
    // when asked; appended at the end with its width set. Data browser errors are thrown.
    virtual OSStatus AddColumn(DataBrowserPropertyID propertyID, const QString& title, SInt16 justification,
        FourCharCode propertyType, UInt16 minWidth, UInt16 maxWidth, UInt16 width, bool typeSelect, bool editable);
    using LDataBrowser::AddColumn;
    virtual bool HasColumn(DataBrowserPropertyID propertyID) const;
    // The first selected row scrolled into view, centred, without selecting.
    virtual void RevealSelection();
    // Shows the vertical scroll bar (and a spacer column making room for it) only
    // when the rows are taller than the frame.
    virtual void AdjustScrollbars();

    void SetDocument(CIndexDoc* document) { mDocument = document; }
    // The document given, or for a list outside any index window (the shared
    // floating window) the frontmost index; null when there is none.
    CIndexDoc* GetDocument() const;
    void SetFollowsFrontDocument(bool follows) { mFollowsFrontDocument = follows; }
    // Null without a document.
    CIndexView* GetIndexView() const;
    void SetIndexDocument(CIndexDoc* document) override { SetDocument(document); }
    // Runs what a click, a rename or a drop asks for; a failure goes to the error
    // report (the list's callbacks must not throw into the toolkit). False then.
    static bool RunReported(const std::function<void()>& body);

    // The view that takes the list's keys and commands; the document's index view.
    virtual CIndexView* GetCommandView() const { return GetIndexView(); }

    // Keys and commands are the command view's: it is made the target and takes them.
    bool HandleKeyPress(const EventRecord& event) override;
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;

    // A section header was opened (fill it) or closed; nothing here.
    virtual void SectionOpened(CSourceItemDivider& header);
    virtual void SectionClosed(CSourceItemDivider& header);

    // Fills the list; the first showing calls it.
    virtual void Rebuild() {}
    bool IsBuilt() const { return mBuilt; }

    const SourceListColors& GetColors() const { return mColors; }
    // The row height the rows are laid out with.
    int GetRowHeight() const;

protected:
    // The side lists' common look: one row at most selected, no header, no
    // alternating rows, disclosure triangles indented 16 per depth, and never
    // the keyboard focus (keys stay with the index view).
    void SetUpAsSideList();

    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

    bool mBuilt = false;

private:
    void ApplyColors();

    CIndexDoc* mDocument = nullptr;
    bool mFollowsFrontDocument = false;
    SourceListColors mColors;
};

// The small header above a side list (class ID 'SLhd'): the list's name, from the
// layout's "text" key, drawn in the source-list style over its fill, with a line
// below that parts it from the rows.
class CSourceListHeader : public LPane {
public:
    static constexpr ClassIDT class_ID = 'SLhd';

    explicit CSourceListHeader(const LLayoutData& data);
    const QString& GetTitle() const { return mTitle; }
    void DrawSelf(QPainter& painter) override;

private:
    QString mTitle;
};
