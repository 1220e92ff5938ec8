// A small JSON reader for mailbox descriptions: UTF-8 text in, a tree out.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace PstWriter {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind Type = Kind::Null;
    bool Bool = false;
    std::string Text; // a string's value, or a number's digits as written
    std::vector<Json> Items;
    std::vector<std::pair<std::string, Json>> Members;

    // The member with this name, or null.
    const Json* Find(const std::string& name) const;
};

// Throws Error with the position of the first fault.
Json ParseJson(const std::string& text);

} // namespace PstWriter
