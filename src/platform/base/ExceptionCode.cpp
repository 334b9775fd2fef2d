#include "ExceptionCode.h"

#include "FourCharCode.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <typeinfo>

namespace {

std::string TypeName(const std::type_info* type)
{
    if (!type)
        return "unknown exception";
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type->name());
}

} // namespace

ExceptionCode::ExceptionCode(OSStatus code, std::string context)
    : mCode(code)
    , mContext(std::move(context))
{
    mWhat = CodeText(code);
    if (!mContext.empty())
        mWhat += ": " + mContext;
}

std::string ExceptionCode::CodeText(OSStatus code)
{
    if (IsPrintableFourCharCode(static_cast<FourCharCode>(code)))
        return "'" + FourCharCodeToString(static_cast<FourCharCode>(code)) + "'";
    return std::to_string(code);
}

void ThrowOSErr_(OSStatus code, std::string context)
{
    throw ExceptionCode(code, std::move(context));
}

ExceptionCode CurrentExceptionCode()
{
    try {
        throw;
    } catch (const boost::context::detail::forced_unwind&) {
        throw;
    } catch (const ExceptionCode& e) {
        return e;
    } catch (const std::bad_alloc& e) {
        return ExceptionCode(memFullErr, e.what());
    } catch (const std::exception& e) {
        // A library's own exception: its kind and message are all there is to say.
        return ExceptionCode(paramErr, TypeName(abi::__cxa_current_exception_type()) + ": " + e.what());
    } catch (...) {
        return ExceptionCode(paramErr, TypeName(abi::__cxa_current_exception_type()));
    }
}
