// The converter library's conversion: the first byte picks the options (the
// encodings, MIME decoding and encoding, width and kana conversions), the rest
// is the input. Measuring and converting must agree on the size, and the
// library must never write past the buffer it is given.
#include "nkf32.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const kOptions[] = {"-w",
                                           "-s",
                                           "-e",
                                           "-j",
                                           "-Ws -x",
                                           "-We -x",
                                           "-Wj -x",
                                           "-Ww",
                                           "-Sw",
                                           "-Ew",
                                           "-Jw",
                                           "-w16L",
                                           "-wWx --hiragana",
                                           "-wWx --katakana",
                                           "-wW -Z4",
                                           "-wW -X",
                                           "-wW -Z1",
                                           "-Ws",
                                           "-Wj --ms-ucs-map",
                                           "-We --ms-ucs-map",
                                           "-Ww --ms-ucs-map",
                                           "-wS",
                                           "-wW16L",
                                           "-wW16B",
                                           "-wE",
                                           "-wJ",
                                           "-wW",
                                           "-mB",
                                           "-mQ",
                                           "-MWj --ms-ucs-map",
                                           "-MWw",
                                           "-mWw --ms-ucs-map",
                                           "-mw --ms-ucs-map",
                                           "-mB -S -w",
                                           "-wW -Z3",
                                           "-Mj",
                                           "-Me -Z2"};
    if (size == 0)
        return 0;
    const char* option = kOptions[data[0] % (sizeof kOptions / sizeof kOptions[0])];
    if (SetNkfOption(option) < 0)
        return 0;
    const char* in = reinterpret_cast<const char*>(data + 1);
    const auto inSize = static_cast<uint32_t>(size - 1);
    uint32_t needed = 0;
    if (!NkfConvertSafe(nullptr, 0, &needed, in, inSize))
        return 0;
    std::vector<char> out(needed);
    SetNkfOption(option);
    uint32_t written = 0;
    if (!NkfConvertSafe(out.data(), needed, &written, in, inSize) || written != needed)
        std::abort();
    if (needed > 1) {
        // A buffer one byte short, allocated at exactly that size so that a
        // write past it is seen by the address checker, must be refused.
        std::vector<char> shorter(needed - 1);
        SetNkfOption(option);
        if (NkfConvertSafe(shorter.data(), needed - 1, &written, in, inSize))
            std::abort();
    }
    return 0;
}
