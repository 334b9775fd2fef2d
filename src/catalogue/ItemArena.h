#pragma once

#include <atomic>
#include <cstddef>

// Memory for what an index holds one of per item (the items, the record blocks
// they keep): 2 MB chunks, the next ones faulted in ahead by a worker, so that
// reading a million records does not stop for the kernel at every page, and
// without the allocator's per-object overhead. A chunk is emptied when
// the last object in it is freed; a few are kept for the next objects, the rest
// go back to the system.
//
// An arena of one slot size reuses freed slots; an arena of varying sizes (slot
// size 0) only hands out fresh space, for objects that live about as long as
// their neighbours (the blocks of one read). Any thread may allocate and free.
class ItemArena {
public:
    static constexpr std::size_t kChunkSize = std::size_t(2) << 20;
    // The largest object an arena takes; larger ones belong to the caller's
    // ordinary allocator.
    static constexpr std::size_t kMaxObjectSize = 16 * 1024;
    // Under AddressSanitizer the arenas stand aside, so that every object keeps
    // its guard zones.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool kInUse = false;
#else
    static constexpr bool kInUse = true;
#endif

    // Arenas are made once and never destroyed: their objects may outlive any owner.
    explicit ItemArena(std::size_t slotSize);
    ItemArena(const ItemArena&) = delete;
    ItemArena& operator=(const ItemArena&) = delete;

    // `size` at most kMaxObjectSize (the slot size, rounded up to 16, for a slot
    // arena); throws std::bad_alloc when the system has no memory to give.
    void* Allocate(std::size_t size);
    // Frees what an arena's Allocate gave, whichever arena it was.
    static void Free(void* object);

    // Bytes of the chunks of all arenas that hold objects now (kept empty chunks
    // are not counted, as the C library does not count its free memory).
    static std::size_t HeldBytes();

private:
    struct Chunk;
    Chunk* NewChunk();
    void Release(Chunk* chunk);
    void FreeInChunk(Chunk* chunk, void* object);
    void AddPartial(Chunk* chunk);
    void RemovePartial(Chunk* chunk);

    // Held for a few instructions, and almost never by two threads at once (the
    // GUI thread makes items, a worker may free one): a spin lock costs a fraction
    // of a mutex on the hundred thousand allocations of an open.
    class SpinLock {
    public:
        void lock();
        void unlock() { mHeld.clear(std::memory_order_release); }

    private:
        std::atomic_flag mHeld;
    };

    const std::size_t mSlotSize;
    SpinLock mLock;
    Chunk* mCurrent = nullptr; // where new objects go
    Chunk* mPartial = nullptr; // other chunks with freed slots (slot arenas)
    // Emptied chunks kept for the next read, as the C library keeps freed memory:
    // closing an index and opening another does not fault every page in again.
    static constexpr int kMaxSpareChunks = 16;
    Chunk* mSpare = nullptr;
    int mSpareCount = 0;
};
