// tidewell-mkpst: writes an Outlook data file from a JSON description, or a
// synthetic mailbox for benchmarks.
#include "Description.h"
#include "Ndb.h"
#include "Synthetic.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage()
{
    std::fputs("使い方: tidewell-mkpst [--no-encryption] describe.json out.pst\n"
               "        tidewell-mkpst [--no-encryption] --synthetic N [--attachment-kb K] [--japanese] out.pst\n",
               stderr);
}

bool ParseCount(const char* text, uint64_t& out)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || !end || *end || end == text || text[0] == '-')
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    PstWriter::SyntheticOptions synthetic;
    bool isSynthetic = false;
    bool encrypt = true;
    std::string positional[2];
    int positionals = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--synthetic" && i + 1 < argc) {
            isSynthetic = true;
            if (!ParseCount(argv[++i], synthetic.Mails)) {
                std::fprintf(stderr, "--synthetic の値が正しくありません: %s\n", argv[i]);
                return 2;
            }
        } else if (a == "--attachment-kb" && i + 1 < argc) {
            if (!ParseCount(argv[++i], synthetic.AttachmentKb) || synthetic.AttachmentKb > 2097151) {
                std::fprintf(stderr, "--attachment-kb の値が正しくありません: %s\n", argv[i]);
                return 2;
            }
        } else if (a == "--japanese") {
            synthetic.Japanese = true;
        } else if (a == "--no-encryption") {
            encrypt = false;
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "知らないオプションです: %s\n", a.c_str());
            Usage();
            return 2;
        } else if (positionals < 2) {
            positional[positionals++] = a;
        } else {
            Usage();
            return 2;
        }
    }
    if (positionals != (isSynthetic ? 1 : 2)) {
        Usage();
        return 2;
    }
    try {
        if (isSynthetic) {
            synthetic.Encrypt = encrypt;
            PstWriter::WriteSynthetic(positional[0], synthetic);
        } else {
            PstWriter::WriteDescription(positional[0], positional[1], !encrypt);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tidewell-mkpst: %s\n", e.what());
        return 1;
    }
    return 0;
}
