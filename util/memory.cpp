#include "util/memory.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

void* aligned_malloc(unsigned size, unsigned alignment) {
    if (alignment == 0) alignment = 1;
    // A mask only works for a power of two; anything else would misalign.
    if ((alignment & (alignment - 1)) != 0) {
        errno = EINVAL;
        return nullptr;
    }
    const uintptr_t mask = alignment - 1;
    // Room for the size, the slack for aligning and the saved block start,
    // all within the unsigned range the caller deals in.
    unsigned long long total = 0ULL + size + mask + sizeof(void*);
    if (total > UINT_MAX) {
        errno = ENOMEM;
        return nullptr;
    }
    void* block = malloc(static_cast<size_t>(total));
    if (!block) return nullptr;
    uintptr_t result = (reinterpret_cast<uintptr_t>(block) + mask + sizeof(void*)) & ~mask;
    reinterpret_cast<void**>(result)[-1] = block;
    return reinterpret_cast<void*>(result);
}

void aligned_free(void* block) {
    if (block) free(static_cast<void**>(block)[-1]);
}
