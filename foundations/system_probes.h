#pragma once
// Process-level probes (physical memory, processor cores) and the large-block
// allocator of the image buffers.
#include <cstddef>
#include <cstdint>

// Total (Available false) or available (Available true) physical memory in
// bytes; 0 when it cannot be read.
int64_t IEGetPhysicalMemory(bool Available = false);

// Number of physical processor cores (at least 1), computed on the first call
// and cached.  Any failure to read the processor topology leaves 1.
int32_t IEGetProcessorCoreCount();

// Large blocks.  Below 1 MB (1048576 bytes) the block comes from the heap, and
// from zero-filled memory when the heap fails; from 1 MB on it is always
// zero-filled.  Answers null (never raises) when no memory can be had or Size
// is not positive.  Free with IEFreeLarge, which also clears the pointer.
void* IEAllocLarge(int64_t Size);
// Largest block IEAllocLarge hands out; 0 (the default) = no limit beyond the
// physical memory.  Lowering it lets a program (or a test) see how the image
// buffers fall back to segments and temporary files when one block cannot be
// had.
extern int64_t IELargeBlockLimit;
void IEFreeLarge(void*& P);
// Whether a block from IEAllocLarge came zero-filled (its tag).
bool IEIsZeroFilledLarge(const void* P);

// Zero-filled block, null on failure; the segments of segmented image memory.
void* IEGlobalAllocZero(int64_t Size);
// Frees a block of IEGlobalAllocZero and clears the pointer.
void IEGlobalFreeAndNil(void*& P);

// Heap block or null instead of an out-of-memory exception.
void IETryGetMem(void*& P, int64_t Size);
