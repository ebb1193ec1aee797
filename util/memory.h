// Aligned heap blocks.
#pragma once

// A block of size bytes at an address that is a multiple of alignment (a power
// of two; 0 counts as 1). Null when memory runs out, when the block with its
// bookkeeping would not fit the unsigned range, or (errno EINVAL) when
// alignment is not a power of two. Release with aligned_free.
void* aligned_malloc(unsigned size, unsigned alignment);

// Releases a block from aligned_malloc; null is ignored.
void aligned_free(void* block);
