// MIME decoding and header-word encoding for the converter.
#pragma once

#include "Charsets.h"

#include <string>

namespace nkf32 {

// The whole input as one Base64 body; white space and other characters outside
// the alphabet are skipped.
std::string DecodeBase64Body(const std::string& in);
// The whole input as one quoted-printable body: =XX is a byte, = at a line end
// joins the lines.
std::string DecodeQuotedPrintableBody(const std::string& in);

// Input split at its MIME header words (=?charset?B|Q?text?=): raw parts, still
// in the input's encoding, and decoded words. White space between two words is
// dropped, as header unfolding asks.
struct MimePart {
    bool decoded = false;
    std::string raw;
    Text text;
};
std::vector<MimePart> SplitHeaderWords(const std::string& in, const Mapping& map);

// Characters written in the output encoding, with every run of non-ASCII words
// as Base64 header words and lines folded before 76 columns where white space
// allows.
std::string EncodeHeaderWords(const Text& text, Enc output, const Mapping& map);

} // namespace nkf32
