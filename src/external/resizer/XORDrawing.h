#pragma once

#include <QPointer>
#include <QRect>
#include <QRubberBand>

class QWidget;

// The feedback band of a drag: shown over a widget, moved with the mouse and
// taken away at the end (Qt's rubber band, drawn above the widget's content).
class XORDrawing {
public:
    XORDrawing() = default;
    XORDrawing(const XORDrawing&) = delete;
    XORDrawing& operator=(const XORDrawing&) = delete;
    virtual ~XORDrawing();

    virtual void BeginXORDrawing(QWidget* over, const QRect& region);
    virtual void MoveXORDrawing(const QRect& region);
    virtual void EndXORDrawing();
    const QRect& GetXORRegion() const { return mRegion; }
    bool IsXORDrawing() const { return mBand != nullptr; }

private:
    QPointer<QRubberBand> mBand;
    QRect mRegion;
};
