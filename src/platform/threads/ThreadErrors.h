#pragma once

#include "MacTypes.h"

#include <boost/context/detail/exception.hpp>

// Codes the thread framework's waits return or throw.
inline constexpr OSStatus errSemaphoreDestroyed = 28020; // the semaphore went away while the thread waited on it
inline constexpr OSStatus errSemaphoreTimedOut = 28021; // the time-out passed, or the waiting thread was woken
inline constexpr OSStatus errSemaphoreNotOwner = 28022; // a mutex released by a thread that does not hold it
inline constexpr OSStatus errSemaphoreAlreadyReset = 28023;

// Deleting a thread that is not finished unwinds its stack by throwing this
// through every frame on it. It must reach the thread's entry: a handler that
// swallows it leaves the stack half-destroyed.
using ThreadUnwind = boost::context::detail::forced_unwind;

// "Catch everything but the unwinding of a deleted thread":
//     try { ... } CatchAllButUnwind_ { ...handle... }
// Use it wherever code that may run on a task thread would write catch (...).
#define CatchAllButUnwind_                                                                         \
    catch (const ::ThreadUnwind&) { throw; }                                                       \
    catch (...)
