#pragma once

#include "ExceptionCode.h"

#include <memory>

// Code that yields (waits on a worker job, a semaphore, a sleep or a modal
// dialog) lets other tasks run, and they may delete objects it holds by raw
// pointer. Such an object keeps a LivenessToken; a TLivePtr taken before the
// yield says afterwards whether the object still exists. GUI thread only.
class LivenessToken {
public:
    LivenessToken() = default;
    // A copied object is another object with a life of its own.
    LivenessToken(const LivenessToken&) noexcept {}
    LivenessToken& operator=(const LivenessToken&) noexcept { return *this; }

    // Expires when the token (with its object) is destroyed. The shared state
    // is made by the first watch, so objects never watched pay one pointer pair.
    std::weak_ptr<const void> Watch() const
    {
        if (!mLife)
            mLife = std::make_shared<const char>('\0');
        return mLife;
    }

private:
    mutable std::shared_ptr<const char> mLife;
};

// A raw pointer that knows whether its object was deleted. `T` has
// `const LivenessToken& GetLivenessToken() const`.
template <class T>
class TLivePtr {
public:
    TLivePtr() = default;
    explicit TLivePtr(T* object)
        : mObject(object)
    {
        if (object)
            mWatch = object->GetLivenessToken().Watch();
    }

    // The object, or null once it was deleted (or when there was none).
    T* Get() const { return mWatch.expired() ? nullptr : mObject; }
    explicit operator bool() const { return !mWatch.expired(); }

    // The object; 'nilP' with `what` as the reason once it is gone.
    T& Checked(const char* what) const
    {
        if (mWatch.expired())
            ThrowOSErr_(err_NilPointer, what);
        return *mObject;
    }

private:
    T* mObject = nullptr;
    std::weak_ptr<const void> mWatch;
};
