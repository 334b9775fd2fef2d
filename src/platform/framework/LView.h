#pragma once

#include "LPane.h"

#include <vector>

class LBindingLayout;
class LScrollerView;

// A pane that holds subpanes and has an image, which may be larger than its frame
// (up to 2^31 pixels each way) and is scrolled within it. The image location is
// the image's top left in local coordinates (negative once scrolled); subpanes
// stay put in image coordinates, so they move with the scrolling. A view draws
// its image at that offset, painting only what is exposed. Inside a scroller the
// scroll position is the scroller's bars; a view on its own keeps it itself.
class LView : public LPane {
public:
    explicit LView(const SPaneInfo& info, SDimension32 imageSize = {}, SPoint32 scrollUnit = { 1, 1 });
    explicit LView(const LLayoutData& data);
    ~LView() override;

    const std::vector<LPane*>& GetSubPanes() const { return mSubPanes; }
    virtual void AddSubPane(LPane* pane);
    virtual void RemoveSubPane(LPane* pane);
    void DeleteAllSubPanes();

    // Image.
    SDimension32 GetImageSize() const { return mImageSize; }
    SPoint32 GetImageLocation() const;
    // The image point at the frame's top left (how far it is scrolled).
    SPoint32 GetScrollPosition() const;
    // The scroller whose bars scroll this view, if any.
    LScrollerView* GetScroller() const { return mScroller; }
    virtual void ResizeImageTo(SInt32 width, SInt32 height, bool refresh);
    void ResizeImageBy(SInt32 dWidth, SInt32 dHeight, bool refresh);
    virtual void ScrollImageBy(SInt32 dh, SInt32 dv, bool refresh);
    void ScrollImageTo(SInt32 left, SInt32 top, bool refresh);
    // Scrolls no further than the image's edges allow; true when anything moved.
    bool ScrollPinnedImageBy(SInt32 dh, SInt32 dv, bool refresh);
    bool ScrollPinnedImageTo(SInt32 left, SInt32 top, bool refresh);
    virtual void ScrollBits(SInt32 dh, SInt32 dv);
    SPoint32 GetScrollUnit() const { return mScrollUnit; }
    void SetScrollUnit(SPoint32 unit) { mScrollUnit = unit; }
    // When the frame grows past the image's far edge, scroll back so no empty band shows.
    void SetReconcileOverhang(bool reconcile) { mReconcileOverhang = reconcile; }
    void ReconcileFrameAndImage(bool refresh);

    // Coordinates.
    void ImageToLocalPoint(const SPoint32& imagePoint, QPoint& outLocal) const;
    void LocalToImagePoint(const QPoint& localPoint, SPoint32& outImage) const;
    bool ImagePointIsInFrame(SInt32 h, SInt32 v) const;
    bool ImageRectIntersectsFrame(SInt32 left, SInt32 top, SInt32 right, SInt32 bottom) const;
    // The part of the frame not hidden by superviews, in port coordinates.
    void CalcRevealedRect(QRect& outRect) const;

    void ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh) override;
    // Subpanes follow their bindings to the view's present size (Qt's resizes do
    // this by themselves).
    void ApplyBindings();
    // A box or grid layout in place of the bindings (a dialog sized to its texts).
    void SetDeclaredLayout(QLayout* layout);
    bool HasDeclaredLayout() const { return mBindingLayout == nullptr && layout() != nullptr; }

    // Told when a subview's image changed size or place (scrollers follow it).
    virtual void SubImageChanged(LView* subView);
    // The widget a subpane's widget lives in (the view itself; a scroller puts
    // the view it scrolls into its viewport).
    virtual QWidget* ContentWidgetFor(const LPane* subPane);

    LPane* FindPaneByID(PaneIDT paneID) override;
    LPane* FindDeepSubPaneContaining(SInt32 portH, SInt32 portV) const override;
    LPane* FindSubPaneHitBy(SInt32 portH, SInt32 portV) const override;
    void FinishCreate() override;
    void Activate() override;
    void Deactivate() override;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class LScrollerView;
    // Moves the subpanes and the drawn pixels once the position moved by (dh, dv).
    void ScrolledBy(SInt32 dh, SInt32 dv, bool refresh);

    std::vector<LPane*> mSubPanes;
    SDimension32 mImageSize;
    SPoint32 mScrollPosition; // only while no scroller keeps it
    SPoint32 mScrollUnit;
    LScrollerView* mScroller = nullptr;
    LBindingLayout* mBindingLayout = nullptr;
    bool mReconcileOverhang = false;
};

// A view that draws itself through an offscreen buffer first: the exposed part,
// at the device pixel ratio of the screen the window is on.
class LOffscreenView : public LView {
public:
    using LView::LView;

protected:
    void paintEvent(QPaintEvent* event) override;
};
