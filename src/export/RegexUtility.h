// Perl-compatible regular expressions on UTF-16 text.
#pragma once

#include "runtime/Exception.h"

#include <QString>

// A pattern that does not compile, or a match that the engine gave up on.
class ERegexError : public Exception {
public:
    using Exception::Exception;
};

namespace TRegexUtility {

enum Option : unsigned {
    NoOptions = 0,
    SingleLine = 1, // "." also matches line breaks
    IgnoreCase = 2,
    MultiLine = 4, // "^" and "$" also match at line breaks
};

// The text that capture group 1 of the first match captured; "" when the text or
// the pattern is empty, when nothing matches, or when the pattern has no group or
// group 1 took no part in the match. Raises ERegexError when the pattern does not
// compile or matching fails.
QString GetRegexText(const QString& text, const QString& pattern, unsigned options);

} // namespace TRegexUtility

namespace TUtility {

// True when the pattern compiles.
bool ValidateRegexp(const QString& pattern);

} // namespace TUtility
