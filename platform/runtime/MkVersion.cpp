// Build-time tool: writes a C++ source file that places the program's version
// table in the executable's version section.
//
//   tidewell-mkversion OUT.cpp --file-version A.B.C.D --product-version A.B.C.D [Key=Value]...
#include "VersionResource.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool ParseVersion(const char* text, std::uint16_t out[4])
{
    unsigned v[4] = {0, 0, 0, 0};
    const int n = std::sscanf(text, "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]);
    if (n < 1)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (v[i] > 0xFFFF)
            return false;
        out[i] = static_cast<std::uint16_t>(v[i]);
    }
    return true;
}

int Usage()
{
    std::fputs("usage: tidewell-mkversion OUT.cpp --file-version A.B.C.D --product-version A.B.C.D [Key=Value]...\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    TVersionTable table;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--file-version" || arg == "--product-version") && i + 1 < argc) {
            if (!ParseVersion(argv[++i], arg == "--file-version" ? table.FileVersion : table.ProductVersion))
                return Usage();
        } else if (const auto eq = arg.find('='); eq != std::string::npos && eq > 0) {
            table.Strings.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
        } else {
            return Usage();
        }
    }
    const std::vector<std::uint8_t> bytes = BuildVersionResource(table);

    std::ostringstream out;
    out << "// Generated at build time by tidewell-mkversion; do not edit.\n"
           "#include <cstdint>\n"
           "__attribute__((section(\""
        << kVersionSectionName
        << "\"), used, aligned(4)))\n"
           "extern const std::uint8_t TidewellVersionResource[] = {";
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out << (i % 16 ? " " : "\n    ") << unsigned(bytes[i]) << ',';
    out << "\n};\n";

    // Written only when it changes, so an unchanged table does not relink.
    const std::string text = out.str();
    std::ifstream old(argv[1], std::ios::binary);
    std::stringstream had;
    had << old.rdbuf();
    if (old && had.str() == text)
        return 0;
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "tidewell-mkversion: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
