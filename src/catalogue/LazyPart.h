#pragma once

#include <memory>
#include <utility>

// A costly part of an index item (caption, user data, EXIF, image record): the
// part when the item holds it, and whether it was looked for, so that a part
// the item does not have is not sought again.
template <class T>
struct LazyPart {
    std::unique_ptr<T> value;
    bool lookedFor = false;

    T* Get() const { return value.get(); }
    explicit operator bool() const { return value != nullptr; }

    // The part as held; else as `load` (reading the stored record) sets it;
    // else made once by `make`. Null when the item has none.
    template <class Load, class Make>
    T* Get(Load&& load, Make&& make)
    {
        if (value)
            return value.get();
        load();
        if (value || lookedFor)
            return value.get();
        lookedFor = true;
        make();
        return value.get();
    }

    // Replaces the part; false when `part` is the one held already.
    bool Replace(std::unique_ptr<T> part)
    {
        if (part.get() == value.get())
            return false;
        value = std::move(part);
        return true;
    }

    // Drops the part and forgets that it was looked for.
    void Forget()
    {
        value.reset();
        lookedFor = false;
    }
};
