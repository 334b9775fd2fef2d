#include "DrawnText.h"

#include <QPaintEngine>
#include <QPainter>
#include <QTextItem>

class DrawnTextEngine : public QPaintEngine {
public:
    DrawnTextEngine()
        : QPaintEngine(AllFeatures)
    {
    }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override { }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override { }
    void drawPath(const QPainterPath&) override { }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { }
    void drawRects(const QRectF*, int) override { }
    void drawLines(const QLineF*, int) override { }
    void drawEllipse(const QRectF&) override { }
    void drawTextItem(const QPointF& origin, const QTextItem& item) override
    {
        const QRectF box(origin.x(), origin.y() - item.ascent(), item.width(), item.ascent() + item.descent());
        texts.push_back({ item.text(), painter()->transform().mapRect(box) });
    }
    Type type() const override { return User; }

    std::vector<DrawnTextDevice::Text> texts;
};

DrawnTextDevice::DrawnTextDevice(QSize size)
    : mSize(size)
    , mEngine(std::make_unique<DrawnTextEngine>())
{
}

DrawnTextDevice::~DrawnTextDevice() = default;

QPaintEngine* DrawnTextDevice::paintEngine() const
{
    return mEngine.get();
}

const std::vector<DrawnTextDevice::Text>& DrawnTextDevice::Texts() const
{
    return mEngine->texts;
}

QStringList DrawnTextDevice::Strings() const
{
    QStringList strings;
    for (const Text& text : mEngine->texts)
        strings << text.text;
    return strings;
}

int DrawnTextDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return mSize.width();
    case PdmHeight:
        return mSize.height();
    case PdmWidthMM:
        return mSize.width() * 254 / 960;
    case PdmHeightMM:
        return mSize.height() * 254 / 960;
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return 96;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    default:
        return 0;
    }
}

QStringList TextsDrawnBy(QSize size, const std::function<void(QPainter&)>& draw)
{
    DrawnTextDevice device(size);
    {
        QPainter painter(&device);
        draw(painter);
    }
    return device.Strings();
}
