#pragma once

#include <QPaintDevice>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPainter;

// A paint device that keeps the texts drawn on it, each where it was drawn and
// with the width its font gives it: what a user reads in a drawn cell or strip,
// cut off or whole, without reading pixels back.
class DrawnTextDevice : public QPaintDevice {
public:
    struct Text {
        QString text;
        QRectF box; // the drawn run's box, in device pixels
    };

    explicit DrawnTextDevice(QSize size);
    ~DrawnTextDevice() override;

    QPaintEngine* paintEngine() const override;
    const std::vector<Text>& Texts() const;
    QStringList Strings() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize mSize;
    std::unique_ptr<class DrawnTextEngine> mEngine;
};

// Draws with `draw` on a fresh device of the size and answers the texts.
QStringList TextsDrawnBy(QSize size, const std::function<void(QPainter&)>& draw);
