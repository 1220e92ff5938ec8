#include "Memory.h"

#include <malloc.h>

void KeepLargeBlocksInHeap()
{
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}
