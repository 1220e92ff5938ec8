// Allocator settings for programs that read many large values one after another.
#pragma once

// Reading an attachment, libpff allocates a buffer of the attachment's size and
// frees it soon after. glibc serves such blocks with mmap and returns them to
// the system at once, so each attachment costs fresh pages and a page fault per
// 4 KiB. This serves blocks up to 32 MiB from the heap and trims the heap only
// when 64 MiB lie free at its top, so that one export reuses the same pages.
// Called once at the start of main, before the first large allocation.
void KeepLargeBlocksInHeap();
