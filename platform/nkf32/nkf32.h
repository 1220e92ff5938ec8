/* The converter library's exported functions. The library is loaded at run time
 * with dlopen; nothing links against it. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Sets the options of the next conversion, with NKF's option letters.
 * Returns 0, or a negative value when an option is refused. */
int SetNkfOption(const char* option);

/* Converts `inSize` bytes of `in` with the options last set. With a null `out` and
 * `outSize` 0 it only stores the size the output needs in `*written`. Returns
 * non-zero on success, 0 when the input cannot be converted with these options or
 * `out` is too small. */
int NkfConvertSafe(char* out, uint32_t outSize, uint32_t* written, const char* in, uint32_t inSize);

/* The library's version as UTF-16 text without a terminator. With `size` smaller
 * than the text it stores the needed size in characters and, unless `size` is 0,
 * returns 0. */
int GetNkfVersionSafeW(char16_t* out, uint32_t size, uint32_t* needed);

#ifdef __cplusplus
}
#endif
