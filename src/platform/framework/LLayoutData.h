#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Thrown when a layout resource is missing, is not valid JSON, names a class that
// is not registered, or has a field of the wrong kind.
inline constexpr OSStatus err_LayoutNotFound = resNotFound;
inline constexpr OSStatus err_BadLayout = badFormat;
inline constexpr OSStatus err_UnknownClassID = 'clas';

// One object's entry of a layout resource (resources/layouts/<ID>.json), with the
// layout's ID and the path of the entry for error texts ("layout 1000, pane 3 (pbut)").
// Accessors answer the default for a missing field and throw err_BadLayout for one
// of the wrong kind.
class LLayoutData {
public:
    LLayoutData(const QJsonObject& object, ResIDT layoutID, QString where);

    const QJsonObject& Object() const { return mObject; }
    ResIDT LayoutID() const { return mLayoutID; }
    const QString& Where() const { return mWhere; }
    bool Has(const char* key) const { return mObject.contains(QLatin1String(key)); }

    SInt32 Int(const char* key, SInt32 defaultValue = 0) const;
    double Double(const char* key, double defaultValue = 0) const;
    bool Bool(const char* key, bool defaultValue = false) const;
    QString String(const char* key, const QString& defaultValue = QString()) const;
    // A four-character code written as a 4-character string, or a number.
    FourCharCode Code(const char* key, FourCharCode defaultValue = 0) const;
    // Numbers written as [a, b, ...]; `count` of them are required.
    QList<SInt32> Ints(const char* key, int count) const;
    QJsonArray Array(const char* key) const;

    [[noreturn]] void Fail(const QString& what) const;

    // Reads a four-character code or number from a JSON value; false when it is neither.
    static bool CodeFromValue(const QJsonValue& value, FourCharCode& outCode);

private:
    QJsonObject mObject;
    ResIDT mLayoutID;
    QString mWhere;
};
