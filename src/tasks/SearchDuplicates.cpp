#include "SearchDuplicates.h"

#include "CCriteria.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "MediaFactory.h"
#include "MediaImageInfo.h"

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <unordered_map>

namespace {

struct KeyHash {
    size_t operator()(const DuplicateKey& key) const noexcept
    {
        // FNV-1a over the words: keys differ mostly in the size.
        UInt64 hash = 1469598103934665603ull;
        for (UInt32 word : key) {
            hash ^= word;
            hash *= 1099511628211ull;
        }
        return size_t(hash);
    }
};

// Average difference of two reductions (0-255) above which they are different pictures.
constexpr int kMaxMeanGreyDifference = 8;
// Shapes that differ by more than this share are different pictures.
constexpr float kMaxAspectDifference = 0.03f;

} // namespace

std::optional<DuplicateKey> MakeDuplicateKey(CIndexItem& item, SInt32 selector, bool& unchecked)
{
    if (selector == kSelectorSameSize)
        return DuplicateKey { item.GetFileTypeCode(), item.GetTotalSize(), 0, 0, 0, 0, 0 };
    if (selector != kSelectorSameMediaInfo)
        return std::nullopt;
    // Raw files of one camera share every one of these numbers.
    if (IsRawExtension(item.GetName()))
        return std::nullopt;
    const MediaImageInfo* info = nullptr;
    {
        StItemErrorSaver<CIndexItem> keepError(&item);
        CatchCode([&] { info = item.GetImageInfo(); });
    }
    if (!info) {
        unchecked = true;
        return std::nullopt;
    }
    return DuplicateKey { UInt32(info->dataSize), UInt32(UInt16(info->width)), UInt32(UInt16(info->height)),
        UInt32(info->hRes), UInt32(info->vRes), UInt32(UInt16(info->depth)), UInt32(UInt16(info->constant12)) };
}

std::vector<std::vector<size_t>> GroupEqualKeys(const std::vector<std::optional<DuplicateKey>>& keys)
{
    std::unordered_map<DuplicateKey, size_t, KeyHash> groupOf;
    groupOf.reserve(keys.size());
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!keys[i])
            continue;
        auto [found, added] = groupOf.try_emplace(*keys[i], groups.size());
        if (added)
            groups.emplace_back();
        groups[found->second].push_back(i);
    }
    std::erase_if(groups, [](const std::vector<size_t>& group) { return group.size() < 2; });
    return groups;
}

PixelSignature MakePixelSignature(const QImage& image)
{
    PixelSignature signature;
    if (image.isNull())
        return signature;
    signature.aspect = float(image.width()) / float(std::max(1, image.height()));
    const QImage small = image.convertToFormat(QImage::Format_Grayscale8)
                             .scaled(PixelSignature::kSide, PixelSignature::kSide, Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
    for (int y = 0; y < PixelSignature::kSide; ++y) {
        const uchar* line = small.constScanLine(y);
        for (int x = 0; x < PixelSignature::kSide; ++x)
            signature.grey[size_t(y * PixelSignature::kSide + x)] = line[x];
    }
    return signature;
}

bool ArePixelsAlike(const PixelSignature& one, const PixelSignature& two)
{
    if (std::fabs(one.aspect - two.aspect) > kMaxAspectDifference * std::max(one.aspect, two.aspect))
        return false;
    int total = 0;
    for (size_t i = 0; i < one.grey.size(); ++i)
        total += std::abs(int(one.grey[i]) - int(two.grey[i]));
    return total <= kMaxMeanGreyDifference * int(one.grey.size());
}
