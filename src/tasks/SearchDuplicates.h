#pragma once

#include "MacTypes.h"

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

class CIndexItem;
class QImage;

// What two items must share to be duplicates by size (7100: file type and total
// size) or by media information (7101: the image record's data size, width,
// height, both resolutions, depth and record form). Read once per item; equal
// keys are duplicates. No key: the item is nobody's duplicate (a camera raw file
// by media information, or an item without an image record, which is then
// `unchecked`).
using DuplicateKey = std::array<UInt32, 7>;
std::optional<DuplicateKey> MakeDuplicateKey(CIndexItem& item, SInt32 selector, bool& unchecked);

// Groups equal keys in one pass: each group lists positions of `keys` in order,
// the groups in the order of their first member; only groups of two or more.
std::vector<std::vector<size_t>> GroupEqualKeys(const std::vector<std::optional<DuplicateKey>>& keys);

// A picture reduced to a small grey square, the form the pixel comparison (7102)
// compares. Two pictures are alike when their shapes agree and their reductions
// differ by little on average.
struct PixelSignature {
    static constexpr int kSide = 16;
    std::array<UInt8, kSide * kSide> grey {};
    float aspect = 1; // width / height
};
// The reductions of one search take at most this much memory; items beyond it are
// left unexamined.
inline constexpr size_t kPixelSignatureBudget = 32 * 1024 * 1024;
PixelSignature MakePixelSignature(const QImage& image);
bool ArePixelsAlike(const PixelSignature& one, const PixelSignature& two);
