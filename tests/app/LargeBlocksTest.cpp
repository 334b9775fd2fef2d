// The program's large blocks: those of the window's thread lie on memory advised
// for huge pages (their faults come 2 MiB at a time), and the largest are present
// from the start; a worker's are neither.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {
// Whether the mapping holding `address` is advised for huge pages ("hg" among
// its VmFlags in /proc/self/smaps).
bool AdvisedForHugePages(const void* address)
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return false;
    const uintptr_t at = uintptr_t(address);
    bool inside = false;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ');
        if (dash > 0 && space > dash && line.left(dash).toULongLong(nullptr, 16) != 0) {
            bool ok = false;
            const uintptr_t begin = line.left(dash).toULongLong(&ok, 16);
            const uintptr_t end = line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
            if (ok) {
                inside = at >= begin && at < end;
                continue;
            }
        }
        if (inside && line.startsWith("VmFlags:"))
            return line.contains(" hg");
    }
    return false;
}

// Whether every page of the block's middle half is present, before any touch.
bool Present(const void* block, size_t size)
{
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(block) + size / 4 + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(block) + size * 3 / 4) & ~(page - 1);
    std::vector<unsigned char> pages((end - begin) / page);
    if (mincore(reinterpret_cast<void*>(begin), end - begin, pages.data()) != 0)
        return false;
    return std::all_of(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
}

// The process's threads of that name.
int ThreadsNamed(const QByteArray& name)
{
    int count = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            ++count;
    }
    return count;
}

constexpr size_t kLarge = size_t(12) << 20;
constexpr size_t kLargest = size_t(40) << 20;
} // namespace

TEST(LargeBlocks, TheWindowThreadsLargeBlocksAreAdvisedOntoHugePagesAndAWorkersAreNot)
{
#ifdef ORVEX_SANITIZED
    GTEST_SKIP() << "a sanitized build keeps the sanitizer's allocator";
#endif
    struct Case {
        const char* what;
        std::function<void*()> allocate;
        size_t size;
        bool onWorker;
        bool advised;
        std::optional<bool> present; // made present before any touch (smaller blocks may reuse the heap's)
    };
    const Case cases[] = {
        { "malloc", [] { return std::malloc(kLarge); }, kLarge, false, true, {} },
        { "calloc", [] { return std::calloc(kLarge / 8, 8); }, kLarge, false, true, {} },
        { "realloc grown from a small block", [] { return std::realloc(std::malloc(64), kLarge); }, kLarge, false, true,
            {} },
        { "malloc of the largest", [] { return std::malloc(kLargest); }, kLargest, false, true, true },
        { "malloc on a worker", [] { return std::malloc(kLargest); }, kLargest, true, false, false },
    };
    for (const Case& c : cases) {
        void* block = nullptr;
        if (c.onWorker)
            std::thread([&] { block = c.allocate(); }).join();
        else
            block = c.allocate();
        ASSERT_NE(block, nullptr) << c.what;
        if (c.present)
            EXPECT_EQ(Present(block, c.size), *c.present) << c.what;
        std::memset(block, 1, c.size);
        // Well inside the block, clear of its first and last partial huge page.
        EXPECT_EQ(AdvisedForHugePages(static_cast<char*>(block) + c.size / 2), c.advised) << c.what;
        std::free(block);
    }
}

// Threads made for each block mapped their stacks while the others were making
// their slices present, and waited for them: the slices went one after another.
TEST(LargeBlocks, TheThreadsThatMakeTheLargestBlocksPresentAreMadeOnceAndKept)
{
#ifdef ORVEX_SANITIZED
    GTEST_SKIP() << "a sanitized build keeps the sanitizer's allocator";
#endif
    const int helpers = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)) - 1;
    for (int block = 0; block < 2; ++block) {
        void* largest = std::malloc(kLargest);
        ASSERT_NE(largest, nullptr);
        EXPECT_TRUE(Present(largest, kLargest)) << "block " << block;
        EXPECT_EQ(ThreadsNamed("page populate"), helpers) << "after block " << block;
        std::free(largest);
    }
}
