#pragma once

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

// Resource forks and AppleDouble files laid out by hand, as the old platform wrote them,
// for the tests of every kind that keeps resources (fonts, sounds, pictures).

inline QByteArray BE32(uint32_t v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

inline QByteArray BE16(uint16_t v)
{
    QByteArray b(2, '\0');
    qToBigEndian(v, b.data());
    return b;
}

struct ForkResource {
    QByteArray type;
    int16_t id;
    QByteArray name; // empty: none
    QByteArray data;
};

// A resource fork: header, data area, map with its type list, reference lists and name
// list, as the Resource Manager writes one (one type entry per distinct type).
inline QByteArray MakeResourceFork(const std::vector<ForkResource>& resources)
{
    QByteArray data;
    QByteArray names;
    std::vector<std::pair<QByteArray, std::vector<QByteArray>>> types; // type -> reference entries
    for (const ForkResource& r : resources) {
        QByteArray ref = BE16(uint16_t(r.id));
        if (r.name.isEmpty()) {
            ref += BE16(0xFFFF);
        } else {
            ref += BE16(uint16_t(names.size()));
            names += char(r.name.size()) + r.name;
        }
        ref += BE32(uint32_t(data.size()) & 0x00FFFFFF) + BE32(0);
        data += BE32(uint32_t(r.data.size())) + r.data;
        auto found = std::find_if(types.begin(), types.end(), [&](const auto& t) { return t.first == r.type; });
        if (found == types.end())
            types.push_back({ r.type, { ref } });
        else
            found->second.push_back(ref);
    }
    QByteArray typeList = BE16(uint16_t(types.size() - 1));
    QByteArray refLists;
    const int typeListSize = 2 + 8 * int(types.size());
    for (const auto& [type, refs] : types) {
        typeList += type + BE16(uint16_t(refs.size() - 1)) + BE16(uint16_t(typeListSize + refLists.size()));
        for (const QByteArray& ref : refs)
            refLists += ref;
    }
    const uint32_t dataOffset = 256;
    const uint32_t mapOffset = dataOffset + uint32_t(data.size());
    QByteArray map = QByteArray(16, '\0') + BE32(0) + BE16(0) + BE16(0) + BE16(28)
        + BE16(uint16_t(28 + typeList.size() + refLists.size())) + typeList + refLists + names;
    const QByteArray header = BE32(dataOffset) + BE32(mapOffset) + BE32(uint32_t(data.size())) + BE32(uint32_t(map.size()));
    map.replace(0, 16, header);
    return header + QByteArray(dataOffset - 16, '\0') + data + map;
}

// An AppleDouble file ("._name") holding only a resource fork (entry 2).
inline QByteArray MakeAppleDouble(const QByteArray& fork)
{
    return BE32(0x00051607) + BE32(0x00020000) + QByteArray(16, '\0') + BE16(1) + BE32(2) + BE32(38)
        + BE32(uint32_t(fork.size())) + fork;
}
