#include "LLayoutData.h"

#include "ExceptionCode.h"

LLayoutData::LLayoutData(const QJsonObject& object, ResIDT layoutID, QString where)
    : mObject(object)
    , mLayoutID(layoutID)
    , mWhere(std::move(where))
{
}

void LLayoutData::Fail(const QString& what) const
{
    ThrowOSErr_(err_BadLayout, QStringLiteral("layout %1, %2: %3").arg(mLayoutID).arg(mWhere, what).toStdString());
}

SInt32 LLayoutData::Int(const char* key, SInt32 defaultValue) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return defaultValue;
    if (value.isString()) {
        // Hexadecimal numbers (attribute words) may be written as "0x...".
        bool ok = false;
        SInt64 number = value.toString().toLongLong(&ok, 0);
        if (!ok)
            Fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
        return SInt32(UInt32(number));
    }
    if (!value.isDouble())
        Fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
    return SInt32(SInt64(value.toDouble()));
}

double LLayoutData::Double(const char* key, double defaultValue) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return defaultValue;
    if (!value.isDouble())
        Fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
    return value.toDouble();
}

bool LLayoutData::Bool(const char* key, bool defaultValue) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return defaultValue;
    if (value.isDouble())
        return value.toDouble() != 0;
    if (!value.isBool())
        Fail(QStringLiteral("\"%1\" is not true or false").arg(QLatin1String(key)));
    return value.toBool();
}

QString LLayoutData::String(const char* key, const QString& defaultValue) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return defaultValue;
    if (!value.isString())
        Fail(QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
    return value.toString();
}

bool LLayoutData::CodeFromValue(const QJsonValue& value, FourCharCode& outCode)
{
    if (value.isDouble()) {
        outCode = FourCharCode(SInt64(value.toDouble()));
        return true;
    }
    if (value.isString()) {
        const QByteArray bytes = value.toString().toLatin1();
        if (bytes.size() != 4)
            return false;
        outCode = (FourCharCode(UInt8(bytes[0])) << 24) | (FourCharCode(UInt8(bytes[1])) << 16)
            | (FourCharCode(UInt8(bytes[2])) << 8) | FourCharCode(UInt8(bytes[3]));
        return true;
    }
    return false;
}

FourCharCode LLayoutData::Code(const char* key, FourCharCode defaultValue) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return defaultValue;
    FourCharCode code = 0;
    if (!CodeFromValue(value, code))
        Fail(QStringLiteral("\"%1\" is not a four-character code or a number").arg(QLatin1String(key)));
    return code;
}

QList<SInt32> LLayoutData::Ints(const char* key, int count) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (!value.isArray() || value.toArray().size() != count)
        Fail(QStringLiteral("\"%1\" must be a list of %2 numbers").arg(QLatin1String(key)).arg(count));
    QList<SInt32> numbers;
    for (const QJsonValue& v : value.toArray()) {
        if (!v.isDouble())
            Fail(QStringLiteral("\"%1\" must be a list of %2 numbers").arg(QLatin1String(key)).arg(count));
        numbers.append(SInt32(SInt64(v.toDouble())));
    }
    return numbers;
}

QJsonArray LLayoutData::Array(const char* key) const
{
    QJsonValue value = mObject.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return {};
    if (!value.isArray())
        Fail(QStringLiteral("\"%1\" is not a list").arg(QLatin1String(key)));
    return value.toArray();
}
