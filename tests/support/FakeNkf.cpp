// A stand-in converter library for the converter's tests: it records every call
// and can refuse any of them, so that the order of the calls, the buffer sizes
// and each failure message can be checked.
#include <cstdint>
#include <cstring>
#include <string>

namespace {

int gMode = 0;
int gSetCalls = 0;
int gConvertCalls = 0;
std::string gOption;
std::string gLog;

} // namespace

// Modes: 0 echoes "option|input"; 1 and 2 refuse the first or second option
// call; 3 and 4 fail the size or the conversion pass; 5 measures three bytes
// more than it writes.
extern "C" __attribute__((visibility("default"))) void FakeNkfReset(int mode)
{
    gMode = mode;
    gSetCalls = gConvertCalls = 0;
    gLog.clear();
}

extern "C" __attribute__((visibility("default"))) const char* FakeNkfLog()
{
    return gLog.c_str();
}

extern "C" __attribute__((visibility("default"))) int SetNkfOption(const char* option)
{
    ++gSetCalls;
    gLog += "S:" + std::string(option) + ";";
    gOption = option;
    return (gMode == 1 && gSetCalls == 1) || (gMode == 2 && gSetCalls == 2) ? -1 : 0;
}

extern "C" __attribute__((visibility("default"))) int
NkfConvertSafe(char* out, uint32_t outSize, uint32_t* written, const char* in, uint32_t inSize)
{
    ++gConvertCalls;
    gLog += "C:" + std::string(out ? "buf" : "null") + ":" + std::to_string(outSize) + ";";
    if ((gMode == 3 && gConvertCalls == 1) || (gMode == 4 && gConvertCalls == 2))
        return 0;
    const std::string result =
        gMode == 5 ? std::string(in, inSize) : gOption + "|" + std::string(in, inSize);
    *written = static_cast<uint32_t>(result.size()) + (gMode == 5 && !out ? 3 : 0);
    if (out) {
        if (outSize < result.size())
            return 0;
        std::memcpy(out, result.data(), result.size());
    }
    return 1;
}
