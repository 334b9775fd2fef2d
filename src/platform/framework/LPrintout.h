#pragma once

#include "LView.h"

class QPagedPaintDevice;

// Which part of a printout a page shows.
struct PanelSpec {
    SInt32 pageNumber = 1;
    SInt32 horizIndex = 1;
    SInt32 vertIndex = 1;
};

// A place in a printout that shows another pane (its occupant) while a job prints;
// an occupant view whose image is larger than the place prints as several panels.
// Layout: "alignment" (ignored beyond centring).
class LPlaceHolder : public LView {
public:
    explicit LPlaceHolder(const LLayoutData& data);
    LPlaceHolder(const SPaneInfo& info);
    ~LPlaceHolder() override;

    // Moves the pane here (fitted to this frame) until RemoveOccupant puts it back.
    void InstallOccupant(LPane* occupant);
    LPane* RemoveOccupant();
    LPane* GetOccupant() const { return mOccupant; }
    // Panels across and down that the occupant needs.
    void CountPanels(SInt32& outHoriz, SInt32& outVert) const;
    // Scrolls an occupant view to the panel.
    void ScrollToPanel(const PanelSpec& panel);

private:
    LPane* mOccupant = nullptr;
    LView* mOldSuper = nullptr;
    QRect mOldFrame {};
    SBooleanRect mOldBindings {};
    SPoint32 mOldScroll {};
};

// A page layout printed on a printer (Printing.h) or PDF writer: each page draws the printout's pane tree
// scaled to the printer's page, one panel at a time. Panes can ask IsPrinting() to
// draw for paper (DrawSelf runs with the printer's painter).
class LPrintout : public LView {
public:
    explicit LPrintout(const LLayoutData& data);
    explicit LPrintout(const SPaneInfo& info);

    static LPrintout* CreatePrintout(ResIDT layoutID);
    void CountPanels(SInt32& outHoriz, SInt32& outVert) const;
    // Prints every panel (or the pages from..to of them); answers the pages printed.
    SInt32 DoPrintJob(QPagedPaintDevice& printer, SInt32 fromPage = 1, SInt32 toPage = 0x7FFFFFFF);

    static bool IsPrinting() { return sPrinting; }
    static const PanelSpec& CurrentPanel() { return sPanel; }

private:
    static inline bool sPrinting = false;
    static inline PanelSpec sPanel {};
};
