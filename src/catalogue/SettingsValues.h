#pragma once

#include "MacTypes.h"
#include "PropertyList.h"

#include <QVariantMap>

#include <optional>

// Reading and writing the values of settings.xml: a key's value of the expected
// kind, or nothing for a missing key or a value of another type or range (a
// foreign writer's mistake is skipped, not applied).

inline QVariant SettingsNumber(SInt32 value)
{
    return QVariant::fromValue<qint32>(value);
}

template <typename T> std::optional<T> NumberAt(const QVariantMap& settings, const QString& key)
{
    auto it = settings.constFind(key);
    if (it == settings.constEnd())
        return std::nullopt;
    T value {};
    bool exact = false;
    if constexpr (sizeof(T) == 2)
        exact = PropertyList::ToInt16(*it, value);
    else
        exact = PropertyList::ToInt32(*it, value);
    if (!exact)
        return std::nullopt;
    return value;
}

inline std::optional<bool> BooleanAt(const QVariantMap& settings, const QString& key)
{
    auto it = settings.constFind(key);
    if (it == settings.constEnd() || it->typeId() != QMetaType::Bool)
        return std::nullopt;
    return it->toBool();
}
