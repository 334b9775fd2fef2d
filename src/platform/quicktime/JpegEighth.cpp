#include "JpegEighth.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kLookBits = 12;   // Huffman codes (AC codes with their extra bits) of up to this length take one lookup
constexpr int kMaxSide = 30000; // larger pictures are left to the general decoder, which refuses them

// One Huffman table, laid out for skipping: what the next kLookBits bits of the
// stream start with, one or (AC tables) two coefficients at a time, and the
// canonical limits for the longer codes.
struct HuffTable {
    struct Entry {
        uint8_t length;  // of the code; 0 for a code longer than kLookBits
        uint8_t symbol;
        uint8_t total;   // AC tables: code and extra bits when within kLookBits, else 0
        uint8_t advance; // AC tables, with `total`: coefficients passed, 64 for the end of the block
    };
    // AC tables: the coefficients whose codes and extra bits the next kLookBits
    // bits hold in full, up to two.
    struct Pair {
        uint8_t first;   // bits of the first; 0 when it does not fit
        uint8_t both;    // bits of both; of the first alone when the second does not fit
        uint8_t advance; // coefficients the first passes, 64 for the end of the block
        uint8_t second;  // those the second passes; 0 for none
    };
    bool defined = false;
    std::array<Entry, 1 << kLookBits> fast {};
    std::array<Pair, 1 << kLookBits> pairs {};
    std::array<int32_t, 17> maxCode {}; // the largest code of each length, -1 for none
    std::array<int32_t, 17> valueOffset {};
    std::array<uint8_t, 256> values {};
    int count = 0;
};

// False for a table that is not a prefix code, as the general decoder refuses it.
bool BuildTable(HuffTable& t, const uint8_t* counts, const uint8_t* symbols, bool dc)
{
    t = HuffTable();
    std::array<uint16_t, 256> codes {};
    std::array<uint8_t, 256> lengths {};
    int32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        t.valueOffset[std::size_t(length)] = k - code;
        for (int i = 0; i < counts[length - 1]; ++i) {
            if (k >= 256)
                return false;
            if (dc && symbols[k] > 15)
                return false;
            t.values[std::size_t(k)] = symbols[k];
            codes[std::size_t(k)] = uint16_t(code);
            lengths[std::size_t(k)] = uint8_t(length);
            ++k;
            ++code;
        }
        t.maxCode[std::size_t(length)] = counts[length - 1] ? code - 1 : -1;
        if (code >= (int32_t(1) << length))
            return false;
        code <<= 1;
    }
    t.count = k;
    for (int i = 0; i < k; ++i) {
        const int length = lengths[std::size_t(i)];
        if (length > kLookBits)
            continue;
        const uint8_t symbol = t.values[std::size_t(i)];
        HuffTable::Entry e { uint8_t(length), symbol, 0, 0 };
        if (!dc) {
            const int run = symbol >> 4, size = symbol & 15;
            if (size == 0) {
                e.total = uint8_t(length);
                e.advance = run == 15 ? 16 : 64; // sixteen zeros, or past the end of the block
            } else if (length + size <= kLookBits) {
                e.total = uint8_t(length + size);
                e.advance = uint8_t(run + 1);
            }
        }
        const int spread = kLookBits - length;
        const int first = codes[std::size_t(i)] << spread;
        for (int j = 0; j < (1 << spread); ++j)
            t.fast[std::size_t(first + j)] = e;
    }
    if (!dc) {
        constexpr uint32_t kMask = (1u << kLookBits) - 1;
        for (uint32_t bits = 0; bits <= kMask; ++bits) {
            const HuffTable::Entry& a = t.fast[bits];
            if (!a.total)
                continue; // the slow way
            HuffTable::Pair p { a.total, a.total, a.advance, 0 };
            if (a.advance < 64) {
                // The second, from the bits after the first (as many as there are).
                const HuffTable::Entry& b = t.fast[(bits << a.total) & kMask];
                if (b.total && a.total + b.total <= kLookBits) {
                    p.both = uint8_t(a.total + b.total);
                    p.second = b.advance;
                }
            }
            t.pairs[bits] = p;
        }
    }
    t.defined = true;
    return true;
}

// The entropy-coded data of a scan, read from the most significant bit: stuffed
// zero bytes are dropped, and a marker or the end of the data reads as zeros.
class BitReader {
public:
    BitReader(const uint8_t* at, const uint8_t* end)
        : mAt(at)
        , mEnd(end)
    {
    }

    const uint8_t* Position() const { return mAt; }
    const uint8_t* End() const { return mEnd; }
    uint64_t Buffer() const { return mBuffer; }
    int Bits() const { return mBits; }
    void SetState(uint64_t buffer, int bits, const uint8_t* at)
    {
        mBuffer = buffer;
        mBits = bits;
        mAt = at;
    }

    uint32_t Peek(int n) const { return uint32_t(mBuffer >> (64 - n)); }
    void Skip(int n)
    {
        mBuffer <<= n;
        mBits -= n;
    }

    int Decode(const HuffTable& t)
    {
        const HuffTable::Entry& e = t.fast[Peek(kLookBits)];
        if (e.length) {
            Skip(e.length);
            return e.symbol;
        }
        const uint32_t top = Peek(16);
        for (int length = kLookBits + 1; length <= 16; ++length) {
            const int32_t code = int32_t(top >> (16 - length));
            if (code <= t.maxCode[std::size_t(length)]) {
                Skip(length);
                const int index = code + t.valueOffset[std::size_t(length)];
                return index >= 0 && index < t.count ? t.values[std::size_t(index)] : 0;
            }
        }
        Skip(16); // no such code: a zero, the safest answer
        return 0;
    }

    // True once the scan's data has run out (a marker or the end was reached and
    // read past): the rest of the restart interval is missing.
    bool Exhausted() const { return mMissing || mPadding > mBits; }

    // At the end of a restart interval: the bits left are padding, and the
    // marker that should follow is looked for. The expected one is passed; one
    // a little ahead means intervals were lost, and it is kept for later, so
    // that the intervals after it still land where they belong.
    void Restart(int& expected)
    {
        mBuffer = 0;
        mBits = 0;
        mPadding = 0;
        mMissing = true;
        while (mEnd - mAt >= 2) {
            if (mAt[0] == 0xFF) {
                const uint8_t m = mAt[1];
                if (m >= 0xD0 && m <= 0xD7) {
                    const int ahead = (m - 0xD0 - expected) & 7;
                    expected = (expected + 1) & 7;
                    if (ahead == 1 || ahead == 2)
                        return; // this interval is missing: it reads as zeros
                    mAt += 2;
                    expected = (m - 0xD0 + 1) & 7;
                    mMissing = false;
                    return;
                }
                if (m != 0x00 && m != 0xFF)
                    return; // another marker: the rest of the scan is missing
            }
            ++mAt;
        }
    }

    // More than 56 bits in the buffer afterwards, byte by byte (LocalBits has
    // the quick way, for data without 0xFF bytes).
    void Fill()
    {
        // A fast fill may have loaded a part byte beyond the count; it is read again here.
        mBuffer &= mBits ? ~uint64_t(0) << (64 - mBits) : 0;
        while (mBits <= 56) {
            uint64_t byte = 0;
            bool data = false;
            if (mAt < mEnd) {
                if (*mAt != 0xFF) {
                    byte = *mAt++;
                    data = true;
                } else {
                    const uint8_t* next = mAt + 1;
                    while (next < mEnd && *next == 0xFF)
                        ++next;
                    if (next < mEnd && *next == 0x00) {
                        byte = 0xFF;
                        mAt = next + 1;
                        data = true;
                    }
                    // Otherwise a marker: zeros, and the reader stays on it.
                }
            }
            if (!data)
                mPadding = std::min(mPadding + 8, 64);
            mBuffer |= byte << (56 - mBits);
            mBits += 8;
        }
    }

private:
    const uint8_t* mAt;
    const uint8_t* mEnd;
    uint64_t mBuffer = 0;
    int mBits = 0;
    int mPadding = 0; // zero bits at the end of the buffer that are not data
    bool mMissing = false; // no restart marker where one was due: the interval is lost
};

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int quantTable = 0;
    int quant = 0; // the DC quantiser, taken when the component's first scan starts
    int dcTable = 0, acTable = 0;
    int stride = 0, rows = 0;   // blocks, padded to whole MCUs
    std::vector<int16_t> dc;    // the DC coefficient of every block
};

// The reader's state copied into locals for one block, so that it stays in
// registers rather than going through memory at every code.
class LocalBits {
public:
    explicit LocalBits(BitReader& reader)
        : mReader(reader)
        , mBuffer(reader.Buffer())
        , mBits(reader.Bits())
        , mAt(reader.Position())
        , mEnd(reader.End())
    {
    }

    // Back into the reader.
    [[gnu::always_inline]] void Store() { mReader.SetState(mBuffer, mBits, mAt); }

    // At least 56 bits in the buffer afterwards.
    [[gnu::always_inline]] void Fill()
    {
        if (mBits > 56)
            return; // a slow fill may have filled all 64
        if (mEnd - mAt >= 8) [[likely]] {
            uint64_t v;
            std::memcpy(&v, mAt, 8);
            // No 0xFF among the next eight bytes: take them as they are.
            const uint64_t inverted = ~v;
            if (((inverted - 0x0101010101010101ULL) & ~inverted & 0x8080808080808080ULL) == 0) [[likely]] {
                mBuffer |= __builtin_bswap64(v) >> mBits;
                mAt += (63 - mBits) >> 3;
                mBits |= 56;
                return;
            }
        }
        Store();
        mReader.Fill();
        Load();
    }

    [[gnu::always_inline]] uint32_t Peek() const { return uint32_t(mBuffer >> (64 - kLookBits)); }
    [[gnu::always_inline]] void Skip(int n)
    {
        mBuffer <<= n;
        mBits -= n;
    }
    // n from 0 to 16.
    [[gnu::always_inline]] uint32_t Take(int n)
    {
        const uint32_t v = uint32_t((mBuffer >> 1) >> (63 - n)); // no shift by 64 for n = 0
        Skip(n);
        return v;
    }

    // A code the lookup does not hold, the general way; the buffer filled again.
    [[gnu::always_inline]] int DecodeSlowly(const HuffTable& t)
    {
        Fill();
        Store();
        const int symbol = mReader.Decode(t);
        Load();
        return symbol;
    }

private:
    [[gnu::always_inline]] void Load()
    {
        mBuffer = mReader.Buffer();
        mBits = mReader.Bits();
        mAt = mReader.Position();
    }

    BitReader& mReader;
    uint64_t mBuffer;
    int mBits;
    const uint8_t* mAt;
    const uint8_t* const mEnd;
};

// One block: its DC difference, its AC coefficients passed over, two at a time
// where their codes are short. The buffer is filled once for up to four steps
// (of at most kLookBits bits each), and a step moves on without a branch, so
// that the only branch that cannot be foreseen is the end of the block. The end
// of the block counts as a step past the last coefficient.
inline int DecodeBlock(BitReader& reader, const HuffTable& dcTable, const HuffTable& acTable)
{
    LocalBits bits(reader);
    bits.Fill();
    int size;
    if (const HuffTable::Entry& e = dcTable.fast[bits.Peek()]; e.length) [[likely]] {
        bits.Skip(e.length);
        size = e.symbol;
    } else {
        size = bits.DecodeSlowly(dcTable);
        bits.Fill();
    }
    const int raw = int(bits.Take(size));
    const int difference = size && raw < (1 << (size - 1)) ? raw - (1 << size) + 1 : raw;

    int k = 1;
    const auto step = [&]() __attribute__((always_inline)) {
        const HuffTable::Pair p = acTable.pairs[bits.Peek()];
        if (p.first) [[likely]] {
            // A block that ends with the first coefficient leaves the second to the next block.
            const int afterFirst = k + p.advance;
            const bool ended = afterFirst >= 64;
            bits.Skip(ended ? p.first : p.both);
            k = afterFirst + (ended ? 0 : p.second);
        } else {
            const int symbol = bits.DecodeSlowly(acTable);
            const int run = symbol >> 4, extra = symbol & 15;
            bits.Skip(extra);
            k += extra ? run + 1 : run == 15 ? 16 : 64;
            bits.Fill();
        }
    };
    do {
        bits.Fill();
        step();
        if (k >= 64)
            break;
        step();
        if (k >= 64)
            break;
        step();
        if (k >= 64)
            break;
        step();
    } while (k < 64);
    bits.Store();
    return difference;
}

inline uint8_t Clamp(int v)
{
    return uint8_t(std::clamp(v, 0, 255));
}

// YCbCr to RGB in the fixed point of the general decoder, so that both give the same colours.
struct ColorTables {
    std::array<int, 256> crR, cbB, crG, cbG;
    ColorTables()
    {
        auto fix = [](double x) { return int(x * 65536 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const int x = i - 128;
            crR[std::size_t(i)] = (fix(1.40200) * x + 32768) >> 16;
            cbB[std::size_t(i)] = (fix(1.77200) * x + 32768) >> 16;
            crG[std::size_t(i)] = -fix(0.71414) * x;
            cbG[std::size_t(i)] = -fix(0.34414) * x + 32768;
        }
    }
};

class EighthDecoder {
public:
    EighthDecoder(const uint8_t* data, std::size_t size, QSize atLeast)
        : mData(data)
        , mSize(size)
        , mAtLeast(atLeast)
    {
    }

    bool Run(QImage& out)
    {
        if (mSize < 4 || mData[0] != 0xFF || mData[1] != 0xD8)
            return false;
        std::size_t pos = 2;
        while (pos + 1 < mSize) {
            if (mData[pos] != 0xFF || mData[pos + 1] == 0xFF || mData[pos + 1] == 0x00) {
                ++pos; // fill bytes, or stray bytes before a marker
                continue;
            }
            const uint8_t marker = mData[pos + 1];
            pos += 2;
            if (marker == 0xD9)
                break;
            if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
                continue;
            if (pos + 2 > mSize)
                break;
            const std::size_t length = std::size_t(mData[pos] << 8 | mData[pos + 1]);
            if (length < 2 || pos + length > mSize) {
                if (mScans == 0)
                    return false;
                break; // cut after a scan: what was decoded stands
            }
            const uint8_t* segment = mData + pos + 2;
            const std::size_t n = length - 2;
            pos += length;
            switch (marker) {
            case 0xC0:
            case 0xC1:
                if (!ReadFrame(segment, n))
                    return false;
                break;
            case 0xC4:
                if (!ReadHuffmanTables(segment, n))
                    return false;
                break;
            case 0xDB:
                if (!ReadQuantTables(segment, n))
                    return false;
                break;
            case 0xDD:
                if (n < 2)
                    return false;
                mRestartInterval = segment[0] << 8 | segment[1];
                break;
            case 0xE0:
                if (n >= 5 && std::memcmp(segment, "JFIF\0", 5) == 0)
                    mJfif = true;
                break;
            case 0xEE:
                if (n >= 12 && std::memcmp(segment, "Adobe", 5) == 0) {
                    mAdobe = true;
                    mAdobeTransform = segment[11];
                }
                break;
            case 0xDA: {
                const uint8_t* end = nullptr;
                if (!ReadScan(segment, n, mData + pos, end))
                    return false;
                pos = std::size_t(end - mData);
                break;
            }
            default:
                // Progressive, lossless, hierarchical and arithmetic-coded frames are not read here.
                if ((marker >= 0xC2 && marker <= 0xCF))
                    return false;
                break; // application data, comments
            }
        }
        if (mScans == 0)
            return false;
        return Output(out);
    }

private:
    bool ReadFrame(const uint8_t* s, std::size_t n)
    {
        if (!mComponents.empty() || n < 6 || s[0] != 8)
            return false;
        mHeight = s[1] << 8 | s[2];
        mWidth = s[3] << 8 | s[4];
        const int count = s[5];
        if (mWidth < 1 || mHeight < 1 || mWidth > kMaxSide || mHeight > kMaxSide || (count != 1 && count != 3)
            || n < 6 + 3 * std::size_t(count))
            return false;
        for (int i = 0; i < count; ++i) {
            Component c;
            c.id = s[6 + 3 * i];
            c.h = s[7 + 3 * i] >> 4;
            c.v = s[7 + 3 * i] & 15;
            c.quantTable = s[8 + 3 * i];
            if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable > 3)
                return false;
            mMaxH = std::max(mMaxH, c.h);
            mMaxV = std::max(mMaxV, c.v);
            mComponents.push_back(std::move(c));
        }
        mMcusX = (mWidth + 8 * mMaxH - 1) / (8 * mMaxH);
        mMcusY = (mHeight + 8 * mMaxV - 1) / (8 * mMaxV);
        for (Component& c : mComponents) {
            if (mMaxH % c.h || mMaxV % c.v)
                return false;
            // The component's own detail, one value per block.
            if ((mWidth * c.h / mMaxH + 7) / 8 < mAtLeast.width() || (mHeight * c.v / mMaxV + 7) / 8 < mAtLeast.height())
                return false;
            c.stride = mMcusX * c.h;
            c.rows = mMcusY * c.v;
            c.dc.assign(std::size_t(c.stride) * std::size_t(c.rows), 0);
        }
        return true;
    }

    bool ReadHuffmanTables(const uint8_t* s, std::size_t n)
    {
        while (n > 0) {
            if (n < 17)
                return false;
            const int tableClass = s[0] >> 4, slot = s[0] & 15;
            if (tableClass > 1 || slot > 3)
                return false;
            std::size_t total = 0;
            for (int i = 1; i <= 16; ++i)
                total += s[i];
            if (total > 256 || n < 17 + total)
                return false;
            HuffTable& t = tableClass == 0 ? mDcTables[std::size_t(slot)] : mAcTables[std::size_t(slot)];
            if (!BuildTable(t, s + 1, s + 17, tableClass == 0))
                return false;
            s += 17 + total;
            n -= 17 + total;
        }
        return true;
    }

    bool ReadQuantTables(const uint8_t* s, std::size_t n)
    {
        while (n > 0) {
            const int precision = s[0] >> 4, slot = s[0] & 15;
            const std::size_t size = 1 + 64 * std::size_t(precision + 1);
            if (precision > 1 || slot > 3 || n < size)
                return false;
            mQuant[std::size_t(slot)] = precision ? (s[1] << 8 | s[2]) : s[1];
            mQuantDefined[std::size_t(slot)] = true;
            s += size;
            n -= size;
        }
        return true;
    }

    bool IsRgbFile() const
    {
        if (mJfif)
            return false;
        if (mAdobe)
            return mAdobeTransform != 1;
        return mComponents[0].id == 'R' && mComponents[1].id == 'G' && mComponents[2].id == 'B';
    }

    bool ReadScan(const uint8_t* s, std::size_t n, const uint8_t* data, const uint8_t*& end)
    {
        if (mComponents.empty() || n < 1)
            return false;
        if (mScans == 0 && mComponents.size() == 3 && IsRgbFile())
            return false;
        const int count = s[0];
        if (count < 1 || count > int(mComponents.size()) || n < 4 + 2 * std::size_t(count))
            return false;
        std::vector<Component*> scan;
        for (int i = 0; i < count; ++i) {
            const int id = s[1 + 2 * i];
            auto found = std::find_if(mComponents.begin(), mComponents.end(), [id](const Component& c) { return c.id == id; });
            if (found == mComponents.end())
                return false;
            found->dcTable = s[2 + 2 * i] >> 4;
            found->acTable = s[2 + 2 * i] & 15;
            if (found->dcTable > 3 || found->acTable > 3 || !mDcTables[std::size_t(found->dcTable)].defined
                || !mAcTables[std::size_t(found->acTable)].defined || !mQuantDefined[std::size_t(found->quantTable)])
                return false;
            if (!found->quant)
                found->quant = mQuant[std::size_t(found->quantTable)];
            scan.push_back(&*found);
        }
        const uint8_t* tail = s + 1 + 2 * count;
        if (tail[0] != 0 || tail[1] != 63 || tail[2] != 0)
            return false; // not a sequential scan
        ++mScans;

        BitReader bits(data, mData + mSize);
        std::array<int, 4> predictors {};
        int nextRestart = 0;
        long mcu = 0;
        // Whether the MCU is decoded: once the data has run out, the blocks up to
        // the next restart are left zero, as the general decoder leaves them.
        auto startMcu = [&] {
            if (mRestartInterval && mcu > 0 && mcu % mRestartInterval == 0) {
                bits.Restart(nextRestart);
                predictors.fill(0);
            }
            ++mcu;
            return !bits.Exhausted();
        };
        auto block = [&](Component& c, int slot, int x, int y, bool decode) {
            int16_t& dc = c.dc[std::size_t(y) * std::size_t(c.stride) + std::size_t(x)];
            if (!decode) {
                dc = 0;
                return;
            }
            predictors[std::size_t(slot)]
                += DecodeBlock(bits, mDcTables[std::size_t(c.dcTable)], mAcTables[std::size_t(c.acTable)]);
            dc = int16_t(predictors[std::size_t(slot)]);
        };
        if (count == 1) {
            // One component alone: its blocks in rows, not padded to MCUs.
            Component& c = *scan[0];
            const int columns = ((mWidth * c.h + mMaxH - 1) / mMaxH + 7) / 8;
            const int rows = ((mHeight * c.v + mMaxV - 1) / mMaxV + 7) / 8;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < columns; ++x)
                    block(c, 0, x, y, startMcu());
        } else {
            // Each MCU's blocks in their order: the component's slot, where its block
            // lies from the MCU's first block, and its tables.
            struct Slot {
                int component;
                std::size_t offset;
                const HuffTable* dc;
                const HuffTable* ac;
            };
            std::vector<Slot> mcuBlocks;
            for (int i = 0; i < count; ++i) {
                const Component& c = *scan[std::size_t(i)];
                for (int v = 0; v < c.v; ++v)
                    for (int h = 0; h < c.h; ++h)
                        mcuBlocks.push_back({i, std::size_t(v) * std::size_t(c.stride) + std::size_t(h),
                            &mDcTables[std::size_t(c.dcTable)], &mAcTables[std::size_t(c.acTable)]});
            }
            std::array<int16_t*, 4> origins {};
            for (int my = 0; my < mMcusY; ++my)
                for (int mx = 0; mx < mMcusX; ++mx) {
                    for (int i = 0; i < count; ++i) {
                        Component& c = *scan[std::size_t(i)];
                        origins[std::size_t(i)] = c.dc.data() + std::size_t(my * c.v) * std::size_t(c.stride) + std::size_t(mx * c.h);
                    }
                    if (!startMcu()) {
                        for (const Slot& slot : mcuBlocks)
                            origins[std::size_t(slot.component)][slot.offset] = 0;
                        continue;
                    }
                    for (const Slot& slot : mcuBlocks) {
                        int& predictor = predictors[std::size_t(slot.component)];
                        predictor += DecodeBlock(bits, *slot.dc, *slot.ac);
                        origins[std::size_t(slot.component)][slot.offset] = int16_t(predictor);
                    }
                }
        }
        // The next marker follows the scan's data.
        const uint8_t* at = bits.Position();
        const uint8_t* last = mData + mSize;
        while (at + 1 < last && !(at[0] == 0xFF && at[1] != 0x00 && at[1] != 0xFF && (at[1] < 0xD0 || at[1] > 0xD7)))
            ++at;
        end = at + 1 < last ? at : last;
        return true;
    }

    // The value of one block's pixel: the DC term over eight, level-shifted.
    static int Sample(const Component& c, int x, int y)
    {
        const int dc = c.dc[std::size_t(y) * std::size_t(c.stride) + std::size_t(x)] * c.quant;
        return Clamp(((dc + 4) >> 3) + 128);
    }

    bool Output(QImage& out)
    {
        const int width = (mWidth + 7) / 8, height = (mHeight + 7) / 8;
        if (mComponents.size() == 1) {
            QImage image(width, height, QImage::Format_Grayscale8);
            if (image.isNull())
                return false;
            const Component& c = mComponents[0];
            for (int y = 0; y < height; ++y) {
                uchar* line = image.scanLine(y);
                for (int x = 0; x < width; ++x)
                    line[x] = uchar(Sample(c, x, y));
            }
            out = image;
            return true;
        }
        QImage image(width, height, QImage::Format_RGB32);
        if (image.isNull())
            return false;
        static const ColorTables tables;
        // Each component's row of samples, made once for the picture's rows that share it.
        struct Row {
            const Component* c;
            std::vector<int> column; // of each output pixel, in the component's blocks
            std::vector<uint8_t> samples;
            int made = -1;
            const uint8_t* At(int row)
            {
                if (row != made) {
                    for (std::size_t x = 0; x < samples.size(); ++x)
                        samples[x] = uint8_t(Sample(*c, column[x], row));
                    made = row;
                }
                return samples.data();
            }
        };
        std::array<Row, 3> rows;
        for (std::size_t i = 0; i < 3; ++i) {
            Row& row = rows[i];
            row.c = &mComponents[i];
            row.column.resize(std::size_t(width));
            row.samples.resize(std::size_t(width));
            for (int x = 0; x < width; ++x)
                row.column[std::size_t(x)] = x * row.c->h / mMaxH;
        }
        for (int y = 0; y < height; ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            const uint8_t* lumas = rows[0].At(y * mComponents[0].v / mMaxV);
            const uint8_t* blues = rows[1].At(y * mComponents[1].v / mMaxV);
            const uint8_t* reds = rows[2].At(y * mComponents[2].v / mMaxV);
            for (int x = 0; x < width; ++x) {
                const int luma = lumas[x], blue = blues[x], red = reds[x];
                line[x] = qRgb(Clamp(luma + tables.crR[std::size_t(red)]),
                    Clamp(luma + ((tables.cbG[std::size_t(blue)] + tables.crG[std::size_t(red)]) >> 16)),
                    Clamp(luma + tables.cbB[std::size_t(blue)]));
            }
        }
        out = image;
        return true;
    }

    const uint8_t* mData;
    std::size_t mSize;
    QSize mAtLeast;
    int mWidth = 0, mHeight = 0, mMaxH = 1, mMaxV = 1, mMcusX = 0, mMcusY = 0;
    std::vector<Component> mComponents;
    std::vector<HuffTable> mDcTables = std::vector<HuffTable>(4), mAcTables = std::vector<HuffTable>(4);
    std::array<int, 4> mQuant {};
    std::array<bool, 4> mQuantDefined {};
    int mRestartInterval = 0;
    int mScans = 0;
    bool mJfif = false, mAdobe = false;
    int mAdobeTransform = 0;
};

} // namespace

bool DecodeJpegEighth(QByteArrayView data, QSize atLeast, QImage& out)
{
    return EighthDecoder(reinterpret_cast<const uint8_t*>(data.data()), std::size_t(data.size()), atLeast).Run(out);
}
