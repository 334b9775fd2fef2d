#include "ItemArena.h"

#include "WorkerPool.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

// Each chunk begins with its header; an object finds its chunk by rounding its
// address down to the chunk size, since chunks are aligned to it.
struct ItemArena::Chunk {
    ItemArena* arena;
    std::size_t live = 0; // objects handed out and not yet freed
    char* bump; // fresh space starts here
    void* freeSlots = nullptr; // freed slots, each holding the next
    Chunk* previousPartial = nullptr;
    Chunk* nextPartial = nullptr;
    bool inPartial = false;

    char* End() { return reinterpret_cast<char*>(this) + kChunkSize; }
};

namespace {

constexpr std::size_t kAlignment = 16;
constexpr std::size_t kHeaderSize = (sizeof(void*) * 8 + kAlignment - 1) / kAlignment * kAlignment;

std::atomic<std::size_t> gHeldBytes {0};

std::size_t RoundUp(std::size_t size)
{
    return (size + kAlignment - 1) / kAlignment * kAlignment;
}

// A chunk-aligned mapping: twice the size is mapped and the ends cut away.
void* MapAlignedChunk()
{
    const std::size_t size = ItemArena::kChunkSize;
    void* mapped = mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + size - 1) & ~std::uintptr_t(size - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (const std::uintptr_t tail = start + 2 * size - (aligned + size); tail > 0)
        munmap(reinterpret_cast<void*>(aligned + size), tail);
    // No huge-page advice: asking for them makes each first fault compact and
    // clear a whole chunk, which costs a fresh process more than its first open.
    return reinterpret_cast<void*>(aligned);
}

// Chunks mapped and faulted in ahead by a worker while objects are made fast (an
// index being read), so that the thread making them does not stop for the kernel
// at every page; a couple at most, kept for whichever arena needs one next.
constexpr std::size_t kPreparedChunks = 2;
std::mutex gPreparedMutex;
std::vector<void*> gPrepared;
bool gPreparing = false;

void PrepareChunks()
{
    for (;;) {
        {
            const std::lock_guard lock(gPreparedMutex);
            if (gPrepared.size() >= kPreparedChunks) {
                gPreparing = false;
                return;
            }
        }
        void* chunk = nullptr;
        try {
            chunk = MapAlignedChunk();
        } catch (const std::bad_alloc&) {
        }
        if (chunk)
            madvise(chunk, ItemArena::kChunkSize, MADV_POPULATE_WRITE);
        const std::lock_guard lock(gPreparedMutex);
        if (!chunk) {
            gPreparing = false;
            return;
        }
        gPrepared.push_back(chunk);
    }
}

// A prepared chunk when there is one, else one mapped here; either way the
// worker prepares the next.
void* TakeChunk()
{
    void* chunk = nullptr;
    {
        const std::lock_guard lock(gPreparedMutex);
        if (!gPrepared.empty()) {
            chunk = gPrepared.back();
            gPrepared.pop_back();
        }
        if (!std::exchange(gPreparing, true)) {
            try {
                WorkerPool::Start(PrepareChunks);
            } catch (...) {
                gPreparing = false; // the program is ending
            }
        }
    }
    return chunk ? chunk : MapAlignedChunk();
}

} // namespace

void ItemArena::SpinLock::lock()
{
    while (mHeld.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

ItemArena::ItemArena(std::size_t slotSize)
    : mSlotSize(slotSize ? RoundUp(slotSize) : 0)
{
}

std::size_t ItemArena::HeldBytes()
{
    return gHeldBytes.load(std::memory_order_relaxed);
}

ItemArena::Chunk* ItemArena::NewChunk()
{
    static_assert(sizeof(Chunk) <= kHeaderSize);
    void* memory;
    if (mSpare) {
        // An index closed and another opened: its memory is already the process's.
        memory = mSpare;
        mSpare = mSpare->nextPartial;
        --mSpareCount;
    } else {
        memory = TakeChunk();
    }
    gHeldBytes.fetch_add(kChunkSize, std::memory_order_relaxed);
    Chunk* chunk = new (memory) Chunk;
    chunk->arena = this;
    chunk->bump = static_cast<char*>(memory) + kHeaderSize;
    return chunk;
}

void ItemArena::Release(Chunk* chunk)
{
    chunk->~Chunk();
    gHeldBytes.fetch_sub(kChunkSize, std::memory_order_relaxed);
    if (mSpareCount < kMaxSpareChunks) {
        auto* spare = new (chunk) Chunk;
        spare->nextPartial = mSpare;
        mSpare = spare;
        ++mSpareCount;
        return;
    }
    munmap(chunk, kChunkSize);
}

void ItemArena::AddPartial(Chunk* chunk)
{
    chunk->inPartial = true;
    chunk->previousPartial = nullptr;
    chunk->nextPartial = mPartial;
    if (mPartial)
        mPartial->previousPartial = chunk;
    mPartial = chunk;
}

void ItemArena::RemovePartial(Chunk* chunk)
{
    if (chunk->previousPartial)
        chunk->previousPartial->nextPartial = chunk->nextPartial;
    else
        mPartial = chunk->nextPartial;
    if (chunk->nextPartial)
        chunk->nextPartial->previousPartial = chunk->previousPartial;
    chunk->inPartial = false;
    chunk->previousPartial = chunk->nextPartial = nullptr;
}

void* ItemArena::Allocate(std::size_t size)
{
    const std::size_t rounded = mSlotSize ? mSlotSize : RoundUp(size);
    if (size > rounded || rounded > kMaxObjectSize)
        throw std::bad_alloc();
    const std::lock_guard lock(mLock);
    for (;;) {
        if (Chunk* chunk = mCurrent) {
            if (chunk->freeSlots) {
                void* slot = chunk->freeSlots;
                chunk->freeSlots = *static_cast<void**>(slot);
                ++chunk->live;
                return slot;
            }
            if (std::size_t(chunk->End() - chunk->bump) >= rounded) {
                void* object = chunk->bump;
                chunk->bump += rounded;
                ++chunk->live;
                return object;
            }
        }
        // The current chunk is full: go on in one with freed slots, else a new one.
        Chunk* full = mCurrent;
        if (mPartial) {
            mCurrent = mPartial;
            RemovePartial(mCurrent);
        } else {
            mCurrent = NewChunk();
        }
        if (full && full->live == 0)
            Release(full);
    }
}

void ItemArena::FreeInChunk(Chunk* chunk, void* object)
{
    const std::lock_guard lock(mLock);
    --chunk->live;
    if (mSlotSize) {
        *static_cast<void**>(object) = chunk->freeSlots;
        chunk->freeSlots = object;
    }
    if (chunk == mCurrent)
        return;
    if (chunk->live == 0) {
        if (chunk->inPartial)
            RemovePartial(chunk);
        Release(chunk);
    } else if (mSlotSize && !chunk->inPartial) {
        AddPartial(chunk);
    }
}

void ItemArena::Free(void* object)
{
    if (!object)
        return;
    auto* chunk = reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(object) & ~std::uintptr_t(kChunkSize - 1));
    chunk->arena->FreeInChunk(chunk, object);
}
