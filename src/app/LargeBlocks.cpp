// Large blocks that the window's thread asks for are advised onto huge pages.
//
// The list view lays out a million rows in one fresh block of about 40 MB, and
// other window-side arrays of a large index are as large. The allocator maps such
// blocks afresh, and each 4 KiB page then faults on first touch: on virtual
// machines, where a fault costs several microseconds, that alone held the window
// a tenth of a second. With the system's huge pages left to programs that ask
// (the usual setting), asking turns some ten thousand faults into a few dozen.
//
// Linked into the program itself (not its libraries): malloc, calloc and realloc
// defined here come before the C library's and forward to whichever allocator
// comes next in the lookup order (the C library's, or one preloaded), then advise
// the block's whole 2 MiB stretches. Only blocks of the thread that started the
// program are advised: the workers' large blocks come and go with their tasks,
// and the resident memory stays where it was. The largest (32 MiB and more: the
// list's layout of a million rows, say) are made present at once, the cores
// sharing the first touch of their pages, which on a virtual machine still cost
// the window most of a tenth of a second even in large pages. free forwards as
// well, and knows the few bytes handed out while the next allocator is looked up.
//
// KeepLargeBlocksPlain, called on that thread, ends the advice for the process:
// the benchmarks' yardsticks stand for plain programs and allocate as those do.
//
// A sanitized build (ORVEX_SANITIZED) leaves malloc to the sanitizer, which must
// see every block itself.

#ifdef ORVEX_SANITIZED

void KeepLargeBlocksPlain() { }

#else

#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using MallocFunction = void* (*)(size_t);
using CallocFunction = void* (*)(size_t, size_t);
using ReallocFunction = void* (*)(void*, size_t);
using FreeFunction = void (*)(void*);

constexpr size_t kLargeBlock = size_t(4) << 20;
// Blocks this large are made present at once by several threads.
constexpr size_t kPopulatedBlock = size_t(32) << 20;
constexpr unsigned kMostPopulatingThreads = 8;
constexpr char kPopulatingThreadName[] = "page populate";
constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

struct NextAllocator {
    MallocFunction malloc = nullptr;
    CallocFunction calloc = nullptr;
    ReallocFunction realloc = nullptr;
    FreeFunction free = nullptr;
};
NextAllocator gNext;
pthread_once_t gLookedUp = PTHREAD_ONCE_INIT;

// What the lookup itself asks for, handed out once and never reused (so zeroed).
alignas(std::max_align_t) char gBootstrap[16384];
std::atomic<size_t> gBootstrapUsed { 0 };
constinit thread_local bool tLookingUp = false;
constinit thread_local bool tWindowThread = false;

void LookUpNext()
{
    tLookingUp = true;
    gNext.malloc = reinterpret_cast<MallocFunction>(dlsym(RTLD_NEXT, "malloc"));
    gNext.calloc = reinterpret_cast<CallocFunction>(dlsym(RTLD_NEXT, "calloc"));
    gNext.realloc = reinterpret_cast<ReallocFunction>(dlsym(RTLD_NEXT, "realloc"));
    gNext.free = reinterpret_cast<FreeFunction>(dlsym(RTLD_NEXT, "free"));
    tLookingUp = false;
    if (!gNext.malloc || !gNext.calloc || !gNext.realloc || !gNext.free)
        std::abort();
}

const NextAllocator& Next()
{
    pthread_once(&gLookedUp, LookUpNext);
    return gNext;
}

void* FromBootstrap(size_t size)
{
    const size_t rounded = (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    const size_t at = gBootstrapUsed.fetch_add(rounded);
    return at + rounded <= sizeof(gBootstrap) ? gBootstrap + at : nullptr;
}

bool InBootstrap(const void* block)
{
    return block >= gBootstrap && block < gBootstrap + sizeof(gBootstrap);
}

void Populate(uintptr_t begin, uintptr_t end)
{
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

// The threads that share the first touch, made once and kept: making a thread
// maps its stack, which waits for every other thread's population to end (both
// take the process's map lock), so threads made for each block worked one after
// another. Never destroyed, since they outlive every static.
struct PopulatingThreads {
    std::mutex mutex;
    std::condition_variable slicesWaiting;
    std::condition_variable allDone;
    uintptr_t next = 0;
    uintptr_t end = 0;
    uintptr_t slice = 0;
    size_t unfinished = 0;
};

PopulatingThreads& Populating()
{
    static PopulatingThreads* const threads = new PopulatingThreads;
    return *threads;
}

// Takes the stretch's slices one by one, the lock held between them.
void PopulateSlices(std::unique_lock<std::mutex>& lock)
{
    PopulatingThreads& threads = Populating();
    while (threads.next < threads.end) {
        const uintptr_t from = threads.next;
        const uintptr_t to = std::min(threads.end, from + threads.slice);
        threads.next = to;
        lock.unlock();
        Populate(from, to);
        lock.lock();
        if (--threads.unfinished == 0)
            threads.allDone.notify_all();
    }
}

void StartPopulatingThreads()
{
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, kMostPopulatingThreads);
    for (unsigned i = 1; i < count; ++i) {
        try {
            std::thread([] {
                pthread_setname_np(pthread_self(), kPopulatingThreadName);
                PopulatingThreads& threads = Populating();
                std::unique_lock lock(threads.mutex);
                for (;;) {
                    threads.slicesWaiting.wait(lock, [&] { return threads.next < threads.end; });
                    PopulateSlices(lock);
                }
            }).detach();
        } catch (...) {
            break; // fewer threads share the work; the asking thread does the rest
        }
    }
}

// Makes the stretch's pages present (keeping what they hold), a slice on each
// of several threads: memory the system hands out afresh costs most at its first
// touch, where a virtual machine's host backs it then, and the cores share that.
void PopulateTogether(uintptr_t begin, uintptr_t end)
{
    static std::once_flag started;
    std::call_once(started, StartPopulatingThreads);
    const uintptr_t slice = ((end - begin) / kMostPopulatingThreads + kHugePage - 1) & ~(kHugePage - 1);
    PopulatingThreads& threads = Populating();
    std::unique_lock lock(threads.mutex);
    threads.next = begin;
    threads.end = end;
    threads.slice = slice;
    threads.unfinished = (end - begin + slice - 1) / slice;
    threads.slicesWaiting.notify_all();
    PopulateSlices(lock);
    threads.allDone.wait(lock, [&] { return threads.unfinished == 0; });
}

void PrepareLargeBlock(void* block, size_t size)
{
    if (!block || size < kLargeBlock || !tWindowThread)
        return;
    const uintptr_t begin = (uintptr_t(block) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (uintptr_t(block) + size) & ~(kHugePage - 1);
    if (end <= begin)
        return;
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    if (size >= kPopulatedBlock)
        PopulateTogether(begin, end);
}

// Runs on the thread that starts the program, before main.
[[gnu::constructor]] void MarkWindowThread()
{
    tWindowThread = true;
}

} // namespace

void KeepLargeBlocksPlain()
{
    tWindowThread = false;
}

extern "C" {

void* malloc(size_t size)
{
    if (tLookingUp)
        return FromBootstrap(size);
    void* block = Next().malloc(size);
    PrepareLargeBlock(block, size);
    return block;
}

void* calloc(size_t count, size_t size)
{
    size_t total = 0;
    if (tLookingUp)
        return __builtin_mul_overflow(count, size, &total) ? nullptr : FromBootstrap(total);
    void* block = Next().calloc(count, size);
    if (!__builtin_mul_overflow(count, size, &total))
        PrepareLargeBlock(block, total);
    return block;
}

void* realloc(void* block, size_t size)
{
    if (InBootstrap(block)) {
        void* moved = malloc(size);
        if (moved)
            std::memcpy(
                moved, block, std::min(size, size_t(gBootstrap + sizeof(gBootstrap) - static_cast<char*>(block))));
        return moved;
    }
    if (tLookingUp)
        return block ? nullptr : FromBootstrap(size);
    void* moved = Next().realloc(block, size);
    PrepareLargeBlock(moved, size);
    return moved;
}

void free(void* block)
{
    if (!block || InBootstrap(block))
        return;
    Next().free(block);
}

} // extern "C"

#endif // ORVEX_SANITIZED
