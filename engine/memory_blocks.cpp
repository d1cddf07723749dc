#include "engine/memory_blocks.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace {
#ifdef _WIN32
void* allocate_global(size_t bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes);
    if (block == nullptr)
        return nullptr;
    if (GlobalSize(block) < bytes) {
        GlobalFree(block);
        return nullptr;
    }
    // A fixed block's handle is its address.
    return block;
}

void release_global(void* block) {
    GlobalFree(static_cast<HGLOBAL>(block));
}
#else
constexpr size_t kBlockAlignment = 4096;

void* allocate_aligned(size_t bytes) {
    size_t rounded = (bytes + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
    return std::aligned_alloc(kBlockAlignment, rounded);
}

void release_aligned(void* block) {
    std::free(block);
}
#endif

#ifdef _WIN32
constexpr BlockAllocator kSystemAllocator{allocate_global, release_global};
#else
constexpr BlockAllocator kSystemAllocator{allocate_aligned, release_aligned};
#endif
} // namespace

BlockAllocator system_block_allocator() {
    return kSystemAllocator;
}

BlockAllocator memory_block_allocator = kSystemAllocator;

MemoryBlock MemoryBlock::allocate(size_t bytes, const BlockAllocator& allocator) {
    void* block = allocator.allocate != nullptr ? allocator.allocate(bytes) : nullptr;
    if (block == nullptr)
        return MemoryBlock();
    return MemoryBlock(block, allocator.release);
}

MemoryBlock::MemoryBlock(MemoryBlock&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      release_(std::exchange(other.release_, nullptr)) {}

MemoryBlock& MemoryBlock::operator=(MemoryBlock&& other) noexcept {
    if (this != &other) {
        reset();
        block_ = std::exchange(other.block_, nullptr);
        release_ = std::exchange(other.release_, nullptr);
    }
    return *this;
}

MemoryBlock::~MemoryBlock() {
    reset();
}

void MemoryBlock::reset() {
    if (block_ != nullptr && release_ != nullptr)
        release_(block_);
    block_ = nullptr;
    release_ = nullptr;
}
