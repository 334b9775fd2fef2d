#pragma once

#include "MacTypes.h"

#include <QString>
#include <vector>

// The fields of the field menu (212) with their display names, in menu order:
// what an item's field dictionary holds. Loaded once for a whole run of items.
class FieldDictionaryKeys {
public:
    struct Field {
        SInt32 key;
        QString name;
    };

    // Empty when the menu cannot be loaded.
    static FieldDictionaryKeys Load();

    const std::vector<Field>& Fields() const { return mFields; }

private:
    std::vector<Field> mFields;
};
