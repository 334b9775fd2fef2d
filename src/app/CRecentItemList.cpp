#include "CRecentItemList.h"

#include "AliasRecord.h"

FileRef CRecentItemList::At(SInt32 index) const
{
    return index >= 0 && index < Count() ? mItems[size_t(index)] : FileRef();
}

bool CRecentItemList::SameFile(const FileRef& a, const FileRef& b)
{
    if (a == b)
        return true;
    FileStat sa, sb;
    if (a.Stat(sa) != noErr || b.Stat(sb) != noErr)
        return false;
    return sa.device == sb.device && sa.inode == sb.inode;
}

SInt32 CRecentItemList::IndexOf(const FileRef& file) const
{
    for (SInt32 i = 0; i < Count(); ++i) {
        if (SameFile(mItems[size_t(i)], file))
            return i;
    }
    return -1;
}

void CRecentItemList::Add(const FileRef& file, SInt32 maxCount)
{
    if (!file.IsValid())
        return;
    SInt32 existing = IndexOf(file);
    if (existing >= 0)
        RemoveAt(existing);
    mItems.insert(mItems.begin(), file);
    if (UInt32(mItems.size()) > UInt32(maxCount))
        mItems.pop_back();
}

void CRecentItemList::RemoveAt(SInt32 index)
{
    if (index >= 0 && index < Count())
        mItems.erase(mItems.begin() + index);
}

void CRecentItemList::Load(const QVariant& stored)
{
    for (const QVariant& element : stored.toList()) {
        if (element.typeId() != QMetaType::QByteArray)
            continue;
        QByteArray alias = element.toByteArray();
        FileRef target;
        bool changed = false;
        if (ResolveAliasBytes(nullptr, alias, target, changed) != noErr || !target.Exists())
            continue;
        if (IndexOf(target) < 0)
            mItems.push_back(target);
    }
}

QVariantList CRecentItemList::Save() const
{
    QVariantList out;
    for (const FileRef& item : mItems) {
        QByteArray alias;
        if (NewAliasBytes(nullptr, item, alias) == noErr)
            out.append(alias);
    }
    return out;
}
