// The program's large blocks: those of the window's thread lie on memory advised
// for huge pages (their faults come 2 MiB at a time), a worker's do not.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

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

constexpr size_t kSize = size_t(12) << 20;
} // namespace

TEST(LargeBlocks, TheWindowThreadsLargeBlocksAreAdvisedOntoHugePagesAndAWorkersAreNot)
{
    struct Case {
        const char* what;
        std::function<void*()> allocate;
        bool onWorker;
        bool advised;
    };
    const Case cases[] = {
        { "malloc", [] { return std::malloc(kSize); }, false, true },
        { "calloc", [] { return std::calloc(kSize / 8, 8); }, false, true },
        { "realloc grown from a small block", [] { return std::realloc(std::malloc(64), kSize); }, false, true },
        { "malloc on a worker", [] { return std::malloc(kSize); }, true, false },
    };
    for (const Case& c : cases) {
        void* block = nullptr;
        if (c.onWorker)
            std::thread([&] { block = c.allocate(); }).join();
        else
            block = c.allocate();
        ASSERT_NE(block, nullptr) << c.what;
        std::memset(block, 1, kSize);
        // Well inside the block, clear of its first and last partial huge page.
        EXPECT_EQ(AdvisedForHugePages(static_cast<char*>(block) + kSize / 2), c.advised) << c.what;
        std::free(block);
    }
}
