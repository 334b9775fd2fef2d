#pragma once

#include "MacTypes.h"

#include <QByteArray>

// One record-2 dataset that the caption record does not model, kept so that it
// is written back unchanged. The data is kept whole, however long.
class CANPAData {
public:
    CANPAData(UInt8 dataSet, UInt32 length, const QByteArray& data);
    virtual ~CANPAData() = default;

    UInt8 GetDataSet() const { return mDataSet; }
    // Equal to the number of data bytes held.
    UInt32 GetLength() const { return UInt32(mData.size()); }
    const QByteArray& GetData() const { return mData; }

private:
    UInt8 mDataSet;
    QByteArray mData;
};
