#include "VersionResource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- writing ---------------------------------------------------------------

std::u16string FromUtf8(const std::string& text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0;
        int extra = 0;
        if (c < 0x80) { cp = c; }
        else if ((c >> 5) == 0x6) { cp = c & 0x1F; extra = 1; }
        else if ((c >> 4) == 0xE) { cp = c & 0x0F; extra = 2; }
        else { cp = c & 0x07; extra = 3; }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

class TWriter {
public:
    std::vector<std::uint8_t> Bytes;

    void Word(std::uint16_t v) { Bytes.push_back(v & 0xFF); Bytes.push_back(v >> 8); }
    void DWord(std::uint32_t v) { Word(v & 0xFFFF); Word(v >> 16); }
    void Text(const std::u16string& s)
    {
        for (char16_t c : s)
            Word(c);
        Word(0);
    }
    void Align() { while (Bytes.size() % 4) Bytes.push_back(0); }
    void PatchWord(std::size_t at, std::uint16_t v) { Bytes[at] = v & 0xFF; Bytes[at + 1] = v >> 8; }

    // Starts a node; returns its offset for EndNode.
    std::size_t BeginNode(const std::u16string& key, std::uint16_t valueLength, std::uint16_t type)
    {
        Align();
        const std::size_t at = Bytes.size();
        Word(0);
        Word(valueLength);
        Word(type);
        Text(key);
        Align();
        return at;
    }
    void EndNode(std::size_t at) { PatchWord(at, static_cast<std::uint16_t>(Bytes.size() - at)); }
};

void FixedFileInfo(TWriter& w, const TVersionTable& t)
{
    w.DWord(0xFEEF04BD); // signature
    w.DWord(0x00010000); // structure version
    w.DWord((std::uint32_t(t.FileVersion[0]) << 16) | t.FileVersion[1]);
    w.DWord((std::uint32_t(t.FileVersion[2]) << 16) | t.FileVersion[3]);
    w.DWord((std::uint32_t(t.ProductVersion[0]) << 16) | t.ProductVersion[1]);
    w.DWord((std::uint32_t(t.ProductVersion[2]) << 16) | t.ProductVersion[3]);
    w.DWord(0x3F); // flags mask
    w.DWord(0);    // flags
    w.DWord(0x00040004); // VOS_NT_WINDOWS32, the value a Windows build carries
    w.DWord(1);    // VFT_APP
    w.DWord(0);    // subtype
    w.DWord(0);    // date, high
    w.DWord(0);    // date, low
}

// ---- reading ---------------------------------------------------------------

std::uint16_t ReadWord(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

struct TNode {
    std::size_t Offset = 0;   // of the node within the block
    std::size_t Length = 0;   // wLength, checked against the parent
    std::uint16_t ValueLength = 0;
    std::uint16_t Type = 0;
    std::u16string Key;
    std::size_t ValueOffset = 0;
    std::size_t ChildrenOffset = 0;
};

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t(3); }

// Parses the node at offset, which must end by limit. False on any length
// that does not fit.
bool ParseNode(const std::uint8_t* block, std::size_t offset, std::size_t limit, TNode& node)
{
    if (offset + 6 > limit)
        return false;
    node.Offset = offset;
    node.Length = ReadWord(block + offset);
    node.ValueLength = ReadWord(block + offset + 2);
    node.Type = ReadWord(block + offset + 4);
    if (node.Length < 6 || offset + node.Length > limit)
        return false;
    const std::size_t end = offset + node.Length;
    std::size_t p = offset + 6;
    node.Key.clear();
    for (;;) {
        if (p + 2 > end)
            return false;
        const std::uint16_t c = ReadWord(block + p);
        p += 2;
        if (c == 0)
            break;
        node.Key.push_back(static_cast<char16_t>(c));
    }
    node.ValueOffset = Align4(p);
    const std::size_t valueBytes = node.Type == 1 ? std::size_t(node.ValueLength) * 2 : node.ValueLength;
    if (node.ValueOffset + valueBytes > end)
        return false;
    node.ChildrenOffset = std::min(Align4(node.ValueOffset + valueBytes), end);
    return true;
}

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

bool SameKey(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

std::string PathOf(const char16_t* fileName)
{
    std::string out;
    for (const char16_t* p = fileName; *p; ++p) {
        char32_t cp = *p;
        if (cp >= 0xD800 && cp < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool ReadAt(int fd, std::uint64_t offset, void* buffer, std::size_t size)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
        if (n <= 0)
            return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Finds the version section of a 64-bit little-endian ELF file: its file
// offset and size. False for any other file, or one without the section.
bool FindSection(int fd, std::uint64_t& offset, std::uint64_t& size)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    Elf64_Ehdr eh {};
    if (!ReadAt(fd, 0, &eh, sizeof eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0
        || eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB
        || eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum
        || eh.e_shoff > fileSize || std::uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr) > fileSize - eh.e_shoff)
        return false;
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    if (!ReadAt(fd, eh.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)))
        return false;
    const Elf64_Shdr& names = sections[eh.e_shstrndx];
    if (names.sh_offset > fileSize || names.sh_size > fileSize - names.sh_offset || names.sh_size > (1u << 24))
        return false;
    std::vector<char> nameTable(names.sh_size + 1, '\0');
    if (!ReadAt(fd, names.sh_offset, nameTable.data(), names.sh_size))
        return false;
    const std::string_view wanted(kVersionSectionName);
    for (const Elf64_Shdr& s : sections) {
        if (s.sh_name >= names.sh_size || s.sh_type != SHT_PROGBITS)
            continue;
        if (std::string_view(nameTable.data() + s.sh_name) != wanted)
            continue;
        if (s.sh_offset > fileSize || s.sh_size > fileSize - s.sh_offset || s.sh_size == 0
            || s.sh_size > 0xFFFF)
            return false;
        offset = s.sh_offset;
        size = s.sh_size;
        return true;
    }
    return false;
}

class TFd {
public:
    explicit TFd(const char16_t* fileName)
        : FFd(fileName ? open(PathOf(fileName).c_str(), O_RDONLY | O_CLOEXEC) : -1) {}
    ~TFd() { if (FFd >= 0) close(FFd); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

} // namespace

std::vector<std::uint8_t> BuildVersionResource(const TVersionTable& table)
{
    TWriter w;
    const std::size_t root = w.BeginNode(u"VS_VERSION_INFO", 52, 0);
    FixedFileInfo(w, table);

    const std::size_t sfi = w.BeginNode(u"StringFileInfo", 0, 1);
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", table.Language, table.CodePage);
    const std::size_t st = w.BeginNode(FromUtf8(key), 0, 1);
    for (const auto& [name, value] : table.Strings) {
        const std::u16string text = FromUtf8(value);
        const std::size_t s = w.BeginNode(FromUtf8(name), static_cast<std::uint16_t>(text.size() + 1), 1);
        w.Text(text);
        w.EndNode(s);
    }
    w.EndNode(st);
    w.EndNode(sfi);

    const std::size_t vfi = w.BeginNode(u"VarFileInfo", 0, 1);
    const std::size_t var = w.BeginNode(u"Translation", 4, 0);
    w.Word(table.Language);
    w.Word(table.CodePage);
    w.EndNode(var);
    w.EndNode(vfi);
    w.EndNode(root);
    return w.Bytes;
}

std::uint32_t GetFileVersionInfoSizeW(const char16_t* fileName, std::uint32_t* handle)
{
    if (handle)
        *handle = 0;
    TFd fd(fileName);
    std::uint64_t offset = 0, size = 0;
    if (fd.Get() < 0 || !FindSection(fd.Get(), offset, size))
        return 0;
    return static_cast<std::uint32_t>(size);
}

bool GetFileVersionInfoW(const char16_t* fileName, std::uint32_t, std::uint32_t len, void* data)
{
    TFd fd(fileName);
    std::uint64_t offset = 0, size = 0;
    if (!data || fd.Get() < 0 || !FindSection(fd.Get(), offset, size))
        return false;
    return ReadAt(fd.Get(), offset, data, std::min<std::uint64_t>(size, len));
}

bool VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, std::uint32_t* len)
{
    if (!block || !subBlock || !buffer || !len)
        return false;
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    // The root node's own length bounds every read below.
    const std::size_t total = ReadWord(bytes);
    TNode node;
    if (!ParseNode(bytes, 0, total, node))
        return false;

    std::u16string_view path(subBlock);
    while (!path.empty()) {
        while (!path.empty() && path.front() == u'\\')
            path.remove_prefix(1);
        if (path.empty())
            break;
        const std::size_t cut = path.find(u'\\');
        const std::u16string_view part = path.substr(0, cut);
        path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut);

        bool found = false;
        const std::size_t end = node.Offset + node.Length;
        for (std::size_t at = node.ChildrenOffset; at + 6 <= end;) {
            TNode child;
            if (!ParseNode(bytes, at, end, child))
                return false;
            if (SameKey(child.Key, part)) {
                node = child;
                found = true;
                break;
            }
            at = Align4(at + child.Length);
        }
        if (!found)
            return false;
    }
    if (node.ValueLength == 0)
        return false;
    *buffer = const_cast<std::uint8_t*>(bytes + node.ValueOffset);
    *len = node.ValueLength;
    return true;
}
