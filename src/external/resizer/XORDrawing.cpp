#include "XORDrawing.h"

#include <QRubberBand>

XORDrawing::~XORDrawing()
{
    EndXORDrawing();
}

void XORDrawing::BeginXORDrawing(QWidget* over, const QRect& region)
{
    EndXORDrawing();
    mRegion = region;
    mBand = new QRubberBand(QRubberBand::Line, over);
    mBand->setGeometry(region);
    mBand->show();
    mBand->raise();
}

void XORDrawing::MoveXORDrawing(const QRect& region)
{
    mRegion = region;
    if (mBand)
        mBand->setGeometry(region);
}

void XORDrawing::EndXORDrawing()
{
    delete mBand;
    mBand = nullptr;
}
