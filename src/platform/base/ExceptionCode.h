#pragma once

#include "MacTypes.h"

#include <boost/context/detail/exception.hpp>

#include <exception>
#include <string>
#include <utility>

// The one thing the program throws: a 32-bit code (an OS error number, a
// four-character code such as 'nilP', or a message number above 100000).
class ExceptionCode : public std::exception {
public:
    explicit ExceptionCode(OSStatus code, std::string context = {});

    OSStatus Code() const noexcept { return mCode; }
    operator OSStatus() const noexcept { return mCode; }
    const std::string& Context() const noexcept { return mContext; }

    // "-43", "'nilP'", or "100034", followed by the context when there is one.
    const char* what() const noexcept override { return mWhat.c_str(); }

    // The code as shown to a developer: four printable characters in quotes,
    // otherwise the signed decimal number.
    static std::string CodeText(OSStatus code);

private:
    OSStatus mCode;
    std::string mContext;
    std::string mWhat;
};

[[noreturn]] void ThrowOSErr_(OSStatus code, std::string context = {});

inline void ThrowIfOSErr_(OSStatus code)
{
    if (code != noErr)
        ThrowOSErr_(code);
}

template <typename P>
inline void ThrowIfNil_(const P& pointer)
{
    if (!pointer)
        ThrowOSErr_(err_NilPointer);
}

// A failed internal check: thrown as 'asrt', never ignored.
inline void ThrowIfNot_(bool condition, const char* what = nullptr)
{
    if (!condition)
        ThrowOSErr_(err_AssertFailed, what ? std::string(what) : std::string());
}

inline void ThrowIf_(bool condition, const char* what = nullptr)
{
    ThrowIfNot_(!condition, what);
}

// The exception being handled, as a code with its reason: an ExceptionCode as it
// is, bad_alloc as memFullErr, any other exception as paramErr with its type and
// message. Call it only inside a catch block; the unwinding of a deleted
// cooperative thread's stack is rethrown.
ExceptionCode CurrentExceptionCode();

// Runs `body`, returning the code it threw with its reason (noErr when it threw
// nothing). The unwinding of a deleted cooperative thread's stack is not a
// failure: it passes through (so this is not noexcept).
template <typename F>
ExceptionCode CatchException(F&& body)
{
    try {
        body();
        return ExceptionCode(noErr);
    } catch (const boost::context::detail::forced_unwind&) {
        throw;
    } catch (...) {
        return CurrentExceptionCode();
    }
}

// As CatchException, for the routines that return only a code.
template <typename F>
OSStatus CatchCode(F&& body)
{
    // No ExceptionCode is made when nothing was thrown: loops over many items call this.
    try {
        body();
        return noErr;
    } catch (const boost::context::detail::forced_unwind&) {
        throw;
    } catch (...) {
        return CurrentExceptionCode().Code();
    }
}
