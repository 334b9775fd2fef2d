#pragma once

#include "IndexGridGeometry.h"
#include "LMarqueeTask.h"

class CIndexView;

// The marquee over an index view's grid: the cells that enter its rectangle are
// selected and those that leave it deselected, only when it covers other cells
// than before.
class IndexGridMarquee : public LMarqueeReceiver {
public:
    explicit IndexGridMarquee(CIndexView& view)
        : mView(view)
    {
    }
    bool CheckSelectionChanged(const LMarqueeTask& task, const QRect& before, const QRect& after) override;
    void UpdateSelection(const LMarqueeTask& task, const QRect& before, const QRect& after) override;

private:
    // The cells under a rectangle in the view's local coordinates.
    IndexGridGeometry::CellSpan Span(const QRect& local) const;

    CIndexView& mView;
};
