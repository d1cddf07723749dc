#pragma once
#include <cstddef>
// The memory test's buffers: fixed global memory blocks on Windows, aligned heap memory
// elsewhere. Tests replace the allocator to make an allocation fail or to watch the buffers.

struct BlockAllocator {
    // Null when the block cannot be had (on Windows also when the system reports it smaller
    // than asked).
    void* (*allocate)(size_t bytes);
    void (*release)(void* block);
};

BlockAllocator system_block_allocator();
// What the memory test allocates with; the system allocator unless a test installed another.
extern BlockAllocator memory_block_allocator;

// Owns one block and gives it back to the allocator it came from.
class MemoryBlock {
public:
    MemoryBlock() = default;
    static MemoryBlock allocate(size_t bytes, const BlockAllocator& allocator);
    MemoryBlock(MemoryBlock&& other) noexcept;
    MemoryBlock& operator=(MemoryBlock&& other) noexcept;
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;
    ~MemoryBlock();

    void* data() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }
    void reset();

private:
    MemoryBlock(void* block, void (*release)(void*)) : block_(block), release_(release) {}
    void* block_ = nullptr;
    void (*release_)(void*) = nullptr;
};
