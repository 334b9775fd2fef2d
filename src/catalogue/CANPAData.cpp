#include "CANPAData.h"

CANPAData::CANPAData(UInt8 dataSet, UInt32 length, const QByteArray& data)
    : mDataSet(dataSet)
    , mData(data.left(qsizetype(length)))
{
}
