#pragma once

#include <cstdint>
#include <memory>
#include <utility>

// A costly part of an index item (caption, user data, EXIF, image record): the
// part when the item holds it, and whether it was looked for, so that a part
// the item does not have is not sought again. One word: a hundred thousand items
// hold four of these, and the looked-for mark rides in the pointer's low bit.
template <class T>
class LazyPart {
public:
    LazyPart() = default;
    ~LazyPart() { delete Get(); }
    LazyPart(const LazyPart&) = delete;
    LazyPart& operator=(const LazyPart&) = delete;

    T* Get() const { return reinterpret_cast<T*>(mBits & ~kLookedFor); }
    explicit operator bool() const { return Get() != nullptr; }
    T* operator->() const { return Get(); }

    bool LookedFor() const { return (mBits & kLookedFor) != 0; }
    void SetLookedFor(bool lookedFor) { mBits = lookedFor ? (mBits | kLookedFor) : (mBits & ~kLookedFor); }

    // Holds `part` in place of the one held (deleted); the looked-for mark stays.
    void Set(std::unique_ptr<T> part)
    {
        static_assert(alignof(T) >= 2, "the looked-for mark needs a free low bit");
        T* old = Get();
        mBits = reinterpret_cast<std::uintptr_t>(part.release()) | (mBits & kLookedFor);
        delete old;
    }
    void Reset() { Set(nullptr); }

    // The part as held; else as `load` (reading the stored record) sets it;
    // else made once by `make`. Null when the item has none.
    template <class Load, class Make>
    T* Get(Load&& load, Make&& make)
    {
        if (T* part = Get())
            return part;
        load();
        if (Get() || LookedFor())
            return Get();
        SetLookedFor(true);
        make();
        return Get();
    }

    // Replaces the part; false when `part` is the one held already.
    bool Replace(std::unique_ptr<T> part)
    {
        if (part.get() == Get()) {
            (void)part.release(); // it is ours already
            return false;
        }
        Set(std::move(part));
        return true;
    }

    // Drops the part and forgets that it was looked for.
    void Forget()
    {
        Reset();
        SetLookedFor(false);
    }

private:
    static constexpr std::uintptr_t kLookedFor = 1;
    std::uintptr_t mBits = 0;
};
