#include "StackPool.h"

#include "ExceptionCode.h"

#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace {

std::size_t PageSize()
{
    static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t RoundToPages(std::size_t size)
{
    std::size_t page = PageSize();
    return (size + page - 1) / page * page;
}

// Free stacks by usable size; only touched on the GUI thread.
std::multimap<std::size_t, void*>& FreeStacks()
{
    static std::multimap<std::size_t, void*> stacks;
    return stacks;
}

void Unmap(void* base, std::size_t size)
{
    ::munmap(base, size + PageSize());
}

} // namespace

boost::context::stack_context StackPool::Allocate(std::size_t size)
{
    size = RoundToPages(size);
    void* base = nullptr;
    auto& pool = FreeStacks();
    auto found = pool.find(size);
    if (found != pool.end()) {
        base = found->second;
        pool.erase(found);
    } else {
        base = ::mmap(nullptr, size + PageSize(), PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (base == MAP_FAILED)
            ThrowOSErr_(memFullErr, "thread stack");
        // The lowest page is the guard: the stack grows down into it.
        ::mprotect(base, PageSize(), PROT_NONE);
    }
    boost::context::stack_context stack;
    stack.size = size;
    stack.sp = static_cast<char*>(base) + PageSize() + size;
    return stack;
}

void StackPool::Deallocate(boost::context::stack_context& stack) noexcept
{
    char* top = static_cast<char*>(stack.sp);
    char* bottom = top - stack.size;
    void* base = bottom - PageSize();
#if defined(__SANITIZE_ADDRESS__)
    __asan_unpoison_memory_region(bottom, stack.size);
#endif
    auto& pool = FreeStacks();
    if (pool.size() >= kMaxPooledStacks) {
        Unmap(base, stack.size);
        return;
    }
    // Give the deep part back; the top, which every thread touches, stays committed.
    if (stack.size > kKeepResidentBytes)
        ::madvise(bottom, stack.size - kKeepResidentBytes, MADV_DONTNEED);
    pool.emplace(stack.size, base);
}

std::size_t StackPool::PooledCount()
{
    return FreeStacks().size();
}

void StackPool::Trim()
{
    auto& pool = FreeStacks();
    for (auto& [size, base] : pool)
        Unmap(base, size);
    pool.clear();
}
