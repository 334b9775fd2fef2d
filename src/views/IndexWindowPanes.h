#pragma once

#include "LPane.h"
#include "LStdControls.h"
#include "LView.h"

#include <QIcon>

// The small panes the index window and the media window are built from.

// 'IHdV': the index window's header strip, drawn as the framework's window header.
class CIndexHeaderView : public LDecorPane {
public:
    static constexpr ClassIDT class_ID = 'IHdV';
    explicit CIndexHeaderView(const LLayoutData& data);
};

// 'Mprb': a flat grey progress bar. Light grey (0xDDDD) under, the done part
// from the left in darker grey (0xAAAA); a range without width shows full.
class CMediaProgressBar : public LPane {
public:
    static constexpr ClassIDT class_ID = 'Mprb';
    explicit CMediaProgressBar(const LLayoutData& data);
    explicit CMediaProgressBar(const SPaneInfo& info);

    SInt32 GetValue() const override { return mValue; }
    // Stores the value and redraws the bar at once.
    void SetValue(SInt32 value) override;
    SInt32 GetMinValue() const override { return mMinValue; }
    void SetMinValue(SInt32 value) override { mMinValue = value; }
    SInt32 GetMaxValue() const override { return mMaxValue; }
    void SetMaxValue(SInt32 value) override { mMaxValue = value; }
    // The width of the done part in a bar of the given width.
    static SInt32 DoneWidth(SInt32 value, SInt32 minValue, SInt32 maxValue, SInt32 width);
    void DrawSelf(QPainter& painter) override;

private:
    SInt32 mValue = 0;
    SInt32 mMinValue = 0;
    SInt32 mMaxValue = 0;
};

// 'divV': the grip of a split view, the icon "splitter.icns" in the 16 x 16
// square at the frame's top right corner.
class CDividerView : public LView {
public:
    static constexpr ClassIDT class_ID = 'divV';
    using LView::LView;
    void DrawSelf(QPainter& painter) override;
};

// 'ApPn': the program's icon ("orvex.icns"); without it the pane stays empty.
class CAppIconPane : public LPane {
public:
    static constexpr ClassIDT class_ID = 'ApPn';
    explicit CAppIconPane(const LLayoutData& data);
    const QIcon& GetIcon() const { return mIcon; }
    // The bundle icon of that name; null (never an error) when there is none.
    static QIcon LoadAppIcon(const QString& fileName);
    void DrawSelf(QPainter& painter) override;

private:
    QIcon mIcon;
};

void RegisterIndexWindowPaneClasses();
