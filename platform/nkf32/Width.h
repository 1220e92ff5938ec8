// Width and kana conversions on the converter's characters.
#pragma once

#include "Charsets.h"

namespace nkf32 {

// Half-width katakana to full-width; a following voiced or semi-voiced sound
// mark joins the kana before it where the full-width set has the joined form.
void WidenKana(Text& text);

// Full-width forms to ASCII. Letters, digits and symbols always; the
// ideographic space to one space (spaces 1), two spaces (spaces 2) or not at all
// (spaces 0); with entities the results >, <, " and & become HTML entities; with
// kana the full-width katakana and their punctuation become half-width.
struct NarrowOptions {
    int spaces = 0;
    bool entities = false;
    bool kana = false;
};
void Narrow(Text& text, const NarrowOptions& options);

// Katakana to hiragana (toHiragana) or hiragana to katakana.
void ConvertKana(Text& text, bool toHiragana);

} // namespace nkf32
