#include "RegexUtility.h"

#include <pcre2.h>

#include <memory>

namespace {

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeDeleter>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;

QString ErrorText(int code)
{
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    if (length < 0)
        return QString::number(code);
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), length);
}

PCRE2_SPTR Units(const QString& text)
{
    return reinterpret_cast<PCRE2_SPTR>(text.utf16());
}

// Compiles in UTF mode, so that "." and classes take a surrogate pair as one
// character; a subject with lone surrogates is still searched, not rejected.
CodePtr Compile(const QString& pattern, unsigned options, int* errorCode, PCRE2_SIZE* errorOffset)
{
    uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (options & TRegexUtility::SingleLine)
        flags |= PCRE2_DOTALL;
    if (options & TRegexUtility::IgnoreCase)
        flags |= PCRE2_CASELESS;
    if (options & TRegexUtility::MultiLine)
        flags |= PCRE2_MULTILINE;
    return CodePtr(pcre2_compile(Units(pattern), static_cast<PCRE2_SIZE>(pattern.size()), flags,
                                 errorCode, errorOffset, nullptr));
}

} // namespace

namespace TRegexUtility {

QString GetRegexText(const QString& text, const QString& pattern, unsigned options)
{
    if (text.isEmpty() || pattern.isEmpty())
        return QString();
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    const CodePtr code = Compile(pattern, options, &errorCode, &errorOffset);
    if (!code)
        throw ERegexError(QStringLiteral("正規表現に間違いがあります。(%1 文字目: %2)")
                              .arg(errorOffset + 1)
                              .arg(ErrorText(errorCode)));
    uint32_t groups = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    const MatchDataPtr data(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!data)
        throw ERegexError(QStringLiteral("正規表現の照合に失敗しました。"));
    const int rc = pcre2_match(code.get(), Units(text), static_cast<PCRE2_SIZE>(text.size()), 0, 0,
                               data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH)
        return QString();
    if (rc < 0)
        throw ERegexError(QStringLiteral("正規表現の照合に失敗しました。(%1)").arg(ErrorText(rc)));
    if (groups < 1 || rc < 2)
        return QString();
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data.get());
    if (vector[2] == PCRE2_UNSET)
        return QString();
    return text.mid(static_cast<qsizetype>(vector[2]),
                    static_cast<qsizetype>(vector[3] - vector[2]));
}

} // namespace TRegexUtility

namespace TUtility {

bool ValidateRegexp(const QString& pattern)
{
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    return Compile(pattern, TRegexUtility::NoOptions, &errorCode, &errorOffset) != nullptr;
}

} // namespace TUtility
