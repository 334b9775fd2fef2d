#pragma once

#include <boost/context/stack_context.hpp>

#include <cstddef>

// Stacks for the cooperative threads. Each stack is a private mapping with a
// guard page below it, so an overflow faults instead of corrupting the heap;
// pages are committed only when touched. Returned stacks are kept for reuse
// (their deep pages given back to the system), since tasks come and go often.
class StackPool {
public:
    static constexpr std::size_t kKeepResidentBytes = 64 * 1024;  // top of a pooled stack left committed
    static constexpr std::size_t kMaxPooledStacks = 32;

    static boost::context::stack_context Allocate(std::size_t size);
    static void Deallocate(boost::context::stack_context& stack) noexcept;

    // Number of stacks now kept for reuse (for tests).
    static std::size_t PooledCount();
    // Releases every pooled stack.
    static void Trim();
};

// The allocator handed to boost::context::fiber: a size and the shared pool.
class PooledStackAllocator {
public:
    explicit PooledStackAllocator(std::size_t size) : mSize(size) {}

    boost::context::stack_context allocate() { return StackPool::Allocate(mSize); }
    void deallocate(boost::context::stack_context& stack) noexcept { StackPool::Deallocate(stack); }

private:
    std::size_t mSize;
};
