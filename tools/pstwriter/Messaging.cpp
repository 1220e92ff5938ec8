#include "Messaging.h"

#include "Bytes.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace PstWriter {

namespace {

// Fixed node ids.
constexpr Nid MessageStoreNid = 0x21;
constexpr Nid NameToIdMapNid = 0x61;
constexpr Nid RootFolderNid = 0x122;
constexpr Nid HierarchyTemplateNid = 0x60D;
constexpr Nid ContentsTemplateNid = 0x60E;
constexpr Nid AssocContentsTemplateNid = 0x60F;
constexpr Nid AttachmentTableNid = 0x671;
constexpr Nid RecipientTableNid = 0x692;

// Property ids.
namespace P {
constexpr uint16_t Importance = 0x0017, MessageClass = 0x001A, Sensitivity = 0x0036,
                   Subject = 0x0037, ClientSubmitTime = 0x0039, SentRepresentingName = 0x0042,
                   SentRepresentingAddrType = 0x0064, SentRepresentingEmail = 0x0065,
                   RecipientType = 0x0C15, SenderName = 0x0C1A, SenderAddrType = 0x0C1E,
                   SenderEmail = 0x0C1F, DisplayBcc = 0x0E02, DisplayCc = 0x0E03,
                   DisplayTo = 0x0E04, DeliveryTime = 0x0E06, MessageFlags = 0x0E07,
                   MessageSize = 0x0E08, Responsibility = 0x0E0F, HasAttach = 0x0E1B,
                   RtfInSync = 0x0E1F, AttachSize = 0x0E20, RecordKey = 0x0FF9,
                   ObjectType = 0x0FFE, Body = 0x1000, RtfCompressed = 0x1009, Html = 0x1013,
                   InternetMessageId = 0x1035, DisplayName = 0x3001, AddrType = 0x3002,
                   EmailAddress = 0x3003, CreationTime = 0x3007, LastModificationTime = 0x3008,
                   StoreSupportMask = 0x340D, ValidFolderMask = 0x35DF, IpmSubtreeEntryId = 0x35E0,
                   WastebasketEntryId = 0x35E3, FinderEntryId = 0x35E7, ContentCount = 0x3602,
                   ContentUnread = 0x3603, Subfolders = 0x360A, ContainerClass = 0x3613,
                   AttachData = 0x3701, AttachFilename = 0x3704, AttachMethod = 0x3705,
                   AttachLongFilename = 0x3707, RenderingPosition = 0x370B, AttachMimeTag = 0x370E,
                   DisplayType = 0x3900, SmtpAddress = 0x39FE, InternetCpid = 0x3FDE,
                   MessageCodePage = 0x3FFD, SenderSmtpAddress = 0x5D01,
                   SentRepresentingSmtpAddress = 0x5D02, RecipientDisplayName = 0x5FF6;
}

Property Int32(uint16_t id, int32_t v) { return {id, PropType::Int32, Le32(static_cast<uint32_t>(v))}; }
Property Bool(uint16_t id, bool v) { return {id, PropType::Boolean, std::string(1, v ? '\1' : '\0')}; }
Property Binary(uint16_t id, const std::string& v) { return {id, PropType::Binary, v}; }
Property Time(uint16_t id, int64_t v)
{
    std::string s;
    Put64(s, static_cast<uint64_t>(v));
    return {id, PropType::SysTime, s};
}
std::string Time64(int64_t v)
{
    std::string s;
    Put64(s, static_cast<uint64_t>(v));
    return s;
}

// A string value, 8-bit in the message's code page when the message asks for it.
uint16_t StringType(const Message* m) { return m && m->EightBit ? PropType::String8 : PropType::Unicode; }
std::string StringData(const std::string& utf8, const Message* m)
{
    if (m && m->EightBit)
        return Encode(utf8, m->CodePage.value_or(1252));
    return Utf16(utf8);
}
Property Str(uint16_t id, const std::string& utf8, const Message* m = nullptr)
{
    return {id, StringType(m), StringData(utf8, m)};
}

std::string Join(const std::vector<Recipient>& list, int type)
{
    std::string out;
    for (const Recipient& r : list)
        if (r.Type == type)
            out += (out.empty() ? "" : "; ") + r.Name;
    return out;
}

// RTF in the compressed-RTF container: the "MELA" form stores it as it is; the
// "LZFu" form here uses literals only (a control byte of zeros before every
// eight bytes) and ends with the reference to the dictionary's write position
// that marks the end.
std::string CompressedRtf(const std::string& raw, bool uncompressed)
{
    std::string body;
    if (uncompressed) {
        body = raw;
    } else {
        constexpr size_t PrebuiltDictionary = 207;
        size_t i = 0;
        for (;;) {
            const size_t n = std::min<size_t>(8, raw.size() - i);
            if (n == 8) {
                body.push_back('\0');
                body.append(raw, i, 8);
                i += 8;
                continue;
            }
            body.push_back(static_cast<char>(1 << n));
            body.append(raw, i, n);
            const uint16_t end = static_cast<uint16_t>(((PrebuiltDictionary + raw.size()) % 4096) << 4);
            body.push_back(static_cast<char>(end >> 8));
            body.push_back(static_cast<char>(end & 0xFF));
            break;
        }
    }
    std::string out;
    Put32(out, static_cast<uint32_t>(body.size() + 12));
    Put32(out, static_cast<uint32_t>(raw.size()));
    Put32(out, uncompressed ? 0x414C454D : 0x75465A4C);
    Put32(out, uncompressed ? 0 : Crc(body.data(), body.size()));
    return out + body;
}

TableCell Cell(const std::string& data) { return {true, data}; }

const std::vector<uint32_t>& HierarchyColumns()
{
    static const std::vector<uint32_t> c{
        Tag(P::DisplayName, PropType::Unicode), Tag(P::ContentCount, PropType::Int32),
        Tag(P::ContentUnread, PropType::Int32), Tag(P::Subfolders, PropType::Boolean),
        Tag(P::ContainerClass, PropType::Unicode)};
    return c;
}
const std::vector<uint32_t>& ContentsColumns()
{
    static const std::vector<uint32_t> c{
        Tag(P::MessageClass, PropType::Unicode),      Tag(P::Subject, PropType::Unicode),
        Tag(P::SentRepresentingName, PropType::Unicode), Tag(P::ClientSubmitTime, PropType::SysTime),
        Tag(P::DeliveryTime, PropType::SysTime),      Tag(P::MessageFlags, PropType::Int32),
        Tag(P::MessageSize, PropType::Int32),         Tag(P::Importance, PropType::Int32),
        Tag(P::Sensitivity, PropType::Int32)};
    return c;
}
std::vector<uint32_t> RecipientColumns(uint16_t stringType)
{
    return {Tag(P::RecipientType, PropType::Int32), Tag(P::Responsibility, PropType::Boolean),
            Tag(P::ObjectType, PropType::Int32),    Tag(P::DisplayName, stringType),
            Tag(P::AddrType, stringType),           Tag(P::EmailAddress, stringType),
            Tag(P::DisplayType, PropType::Int32),   Tag(P::SmtpAddress, stringType),
            Tag(P::RecipientDisplayName, stringType)};
}
std::vector<uint32_t> AttachmentColumns(uint16_t stringType)
{
    return {Tag(P::AttachSize, PropType::Int32), Tag(P::AttachFilename, stringType),
            Tag(P::AttachMethod, PropType::Int32), Tag(P::RenderingPosition, PropType::Int32)};
}

uint64_t FileSize(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Error("添付ファイルを読めません: " + path + ": " + std::strerror(errno));
    return static_cast<uint64_t>(st.st_size);
}

void ReadFileInto(const std::string& path, const std::function<void(const char*, size_t)>& sink)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw Error("添付ファイルを読めません: " + path + ": " + std::strerror(errno));
    std::string buffer(1 << 20, '\0');
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
        sink(buffer.data(), n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        throw Error("添付ファイルを読めません: " + path);
}

// A 16-byte key that depends only on the text.
std::string KeyOf(const std::string& text)
{
    std::string key;
    for (uint64_t seed : {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL}) {
        uint64_t h = seed;
        for (unsigned char c : text)
            h = (h ^ c) * 0x100000001b3ULL;
        Put64(key, h);
    }
    return key;
}

} // namespace

PstFile::PstFile(const std::string& path, const StoreOptions& options)
    : FNdb(path, options.Encrypt), FOptions(options), FRecordKey(KeyOf(options.DisplayName)),
      FRoot(RootFolderNid)
{
    FFolders[FRoot] = Folder{FRoot, FRoot, "", "", {}, {}};
    if (options.IpmSubtreeIsRoot) {
        FIpmSubtree = FRoot;
        return;
    }
    FIpmSubtree = NewFolder(FRoot, options.IpmSubtreeName, "");
    FSearchRoot = NewFolder(FRoot, options.SearchRootName, "");
    FDeletedItems = NewFolder(FIpmSubtree, options.DeletedItemsName, "IPF.Note");
}

PstFile::~PstFile() = default;

Nid PstFile::NewFolder(Nid parent, const std::string& name, const std::string& cls)
{
    const Nid nid = MakeNid(FNextFolder++, NidType::NormalFolder);
    FFolders[nid] = Folder{nid, parent, name, cls, {}, {}};
    FFolders[parent].Children.push_back(nid);
    return nid;
}

Nid PstFile::AddFolder(Nid parent, const std::string& name, const std::string& containerClass)
{
    if (!FFolders.count(parent))
        throw Error("internal: unknown parent folder");
    Utf16(name); // checks the text
    return NewFolder(parent, name, containerClass);
}

std::string PstFile::EntryId(Nid nid) const { return std::string(4, '\0') + FRecordKey + Le32(nid); }

void PstFile::WriteMessage(const Message& m, Subnodes& subs, std::vector<Property>& props,
                           uint64_t& size)
{
    const Message* cp = &m;
    auto add = [&](Property p) {
        size += p.Data.size() + p.Size + 8;
        props.push_back(std::move(p));
    };
    add(Str(P::MessageClass, m.MessageClass, cp));
    if (m.Subject) {
        Property s = Str(P::Subject, m.SubjectPrefix + *m.Subject, cp);
        if (m.SubjectMarker || !m.SubjectPrefix.empty()) {
            // The marker: 0x01, then the prefix length plus one.
            const size_t prefix = StringData(m.SubjectPrefix, cp).size() / (m.EightBit ? 1 : 2);
            std::string marker;
            if (m.EightBit) {
                Put8(marker, 1);
                Put8(marker, static_cast<uint8_t>(prefix + 1));
            } else {
                Put16(marker, 1);
                Put16(marker, static_cast<uint16_t>(prefix + 1));
            }
            s.Data = marker + s.Data;
        }
        add(std::move(s));
    }
    if (m.SenderName) {
        add(Str(P::SenderName, *m.SenderName, cp));
        add(Str(P::SentRepresentingName, *m.SenderName, cp));
    }
    if (m.SenderAddress) {
        add(Str(P::SenderAddrType, m.SenderAddrType, cp));
        add(Str(P::SenderEmail, *m.SenderAddress, cp));
        add(Str(P::SentRepresentingAddrType, m.SenderAddrType, cp));
        add(Str(P::SentRepresentingEmail, *m.SenderAddress, cp));
        if (m.SenderAddrType == "SMTP") {
            add(Str(P::SenderSmtpAddress, *m.SenderAddress, cp));
            add(Str(P::SentRepresentingSmtpAddress, *m.SenderAddress, cp));
        }
    }
    for (int type = 1; type <= 3; ++type) {
        const uint16_t ids[] = {P::DisplayTo, P::DisplayCc, P::DisplayBcc};
        add(Str(ids[type - 1], Join(m.Recipients, type), cp));
    }
    if (m.SubmitTime)
        add(Time(P::ClientSubmitTime, *m.SubmitTime));
    if (m.DeliveryTime)
        add(Time(P::DeliveryTime, *m.DeliveryTime));
    if (m.CreationTime) {
        add(Time(P::CreationTime, *m.CreationTime));
        add(Time(P::LastModificationTime, *m.CreationTime));
    }
    if (m.Importance)
        add(Int32(P::Importance, *m.Importance));
    if (m.Sensitivity)
        add(Int32(P::Sensitivity, *m.Sensitivity));
    if (m.CodePage)
        add(Int32(P::MessageCodePage, *m.CodePage));
    if (m.Body)
        add(Str(P::Body, *m.Body, cp));
    if (m.Html)
        add(Binary(P::Html, *m.Html));
    // The internet code page names the HTML body's encoding, or else that of
    // an 8-bit mail as it came from the internet.
    if (m.Html || m.HtmlCodePage)
        add(Int32(P::InternetCpid, m.HtmlCodePage.value_or(65001)));
    else if (m.EightBit && m.CodePage)
        add(Int32(P::InternetCpid, *m.CodePage));
    if (m.Rtf) {
        add(Binary(P::RtfCompressed, CompressedRtf(*m.Rtf, m.RtfUncompressed)));
        add(Bool(P::RtfInSync, true));
    }
    if (m.MessageId)
        add(Str(P::InternetMessageId, *m.MessageId, cp));
    add(Bool(P::HasAttach, !m.Attachments.empty()));

    // Recipients.
    {
        Subnodes tableSubs;
        std::vector<TableRow> rows;
        for (size_t i = 0; i < m.Recipients.size(); ++i) {
            const Recipient& r = m.Recipients[i];
            const bool smtp = r.AddrType == "SMTP";
            rows.push_back({static_cast<uint32_t>(i),
                            {Cell(Le32(static_cast<uint32_t>(r.Type))), Cell(std::string(1, '\0')),
                             Cell(Le32(6)), Cell(StringData(r.Name, cp)),
                             Cell(StringData(r.AddrType, cp)), Cell(StringData(r.Address, cp)),
                             Cell(Le32(0)), smtp ? Cell(StringData(r.Address, cp)) : TableCell{},
                             Cell(StringData(r.Name, cp))}});
            size += r.Name.size() + r.Address.size() + 32;
        }
        const auto blocks = TableContext(FNdb, RecipientColumns(StringType(cp)), rows, tableSubs);
        subs.Entries.push_back(
            {RecipientTableNid, FNdb.WriteBlocks(blocks), FNdb.WriteSubnodes(tableSubs.Entries)});
    }

    // Attachments.
    if (m.Attachments.empty())
        return;
    std::vector<TableRow> rows;
    for (size_t i = 0; i < m.Attachments.size(); ++i) {
        const Attachment& a = m.Attachments[i];
        const Nid nid = subs.NewNid(NidType::Attachment);
        Subnodes attSubs;
        std::vector<Property> ap;
        uint64_t dataSize = 0;
        int32_t method = 1;
        if (a.Embedded) {
            method = 5;
            Subnodes embSubs;
            std::vector<Property> embProps;
            WriteMessage(*a.Embedded, embSubs, embProps, dataSize);
            embProps.push_back(Int32(P::MessageSize, static_cast<int32_t>(dataSize)));
            embProps.push_back(Int32(P::MessageFlags, a.Embedded->Flags |
                                                          (a.Embedded->Attachments.empty() ? 0 : 0x10)));
            const auto blocks = PropertyContext(FNdb, std::move(embProps), embSubs);
            const Nid embNid = attSubs.NewNid(NidType::NormalMessage);
            attSubs.Entries.push_back(
                {embNid, FNdb.WriteBlocks(blocks), FNdb.WriteSubnodes(embSubs.Entries)});
            Property p(P::AttachData, PropType::Object, {});
            p.Size = dataSize;
            p.ObjectNid = embNid;
            ap.push_back(std::move(p));
        } else if (a.Generate) {
            dataSize = a.Size;
            Property p(P::AttachData, PropType::Binary, {});
            p.Size = a.Size;
            p.Stream = a.Generate;
            ap.push_back(std::move(p));
        } else if (!a.Path.empty()) {
            dataSize = FileSize(a.Path);
            if (dataSize <= MaxHeapItem) {
                std::string data;
                ReadFileInto(a.Path, [&](const char* p, size_t n) { data.append(p, n); });
                ap.push_back(Binary(P::AttachData, data));
            } else {
                const std::string path = a.Path;
                Property p(P::AttachData, PropType::Binary, {});
                p.Size = dataSize;
                p.Stream = [path](Ndb::Stream& s) {
                    ReadFileInto(path, [&](const char* d, size_t n) { s.Append(d, n); });
                };
                ap.push_back(std::move(p));
            }
        } else {
            dataSize = a.Data.size();
            ap.push_back(Binary(P::AttachData, a.Data));
        }
        if (dataSize > 0x7FFFFFFF)
            throw Error("2 GB を超える添付ファイルは書けません");
        if (a.WriteMethod)
            ap.push_back(Int32(P::AttachMethod, method));
        ap.push_back(Str(P::AttachFilename, a.Name, cp));
        ap.push_back(Str(P::AttachLongFilename, a.Name, cp));
        ap.push_back(Str(P::DisplayName, a.Name, cp));
        if (!a.MimeTag.empty())
            ap.push_back(Str(P::AttachMimeTag, a.MimeTag, cp));
        ap.push_back(Int32(P::AttachSize, static_cast<int32_t>(dataSize)));
        ap.push_back(Int32(P::RenderingPosition, -1));
        const auto blocks = PropertyContext(FNdb, std::move(ap), attSubs);
        subs.Entries.push_back({nid, FNdb.WriteBlocks(blocks), FNdb.WriteSubnodes(attSubs.Entries)});
        size += dataSize;

        TableRow row{nid,
                     {Cell(Le32(static_cast<uint32_t>(dataSize))), Cell(StringData(a.Name, cp)),
                      a.WriteMethod ? Cell(Le32(static_cast<uint32_t>(method))) : TableCell{},
                      Cell(Le32(0xFFFFFFFF))}};
        rows.push_back(std::move(row));
    }
    Subnodes tableSubs;
    const auto blocks = TableContext(FNdb, AttachmentColumns(StringType(cp)), rows, tableSubs);
    subs.Entries.push_back(
        {AttachmentTableNid, FNdb.WriteBlocks(blocks), FNdb.WriteSubnodes(tableSubs.Entries)});
}

void PstFile::AddMessage(Nid folder, const Message& message)
{
    auto it = FFolders.find(folder);
    if (it == FFolders.end())
        throw Error("internal: unknown folder");
    const Nid nid = MakeNid(FNextMessage++, NidType::NormalMessage);
    Subnodes subs;
    std::vector<Property> props;
    uint64_t size = 0;
    WriteMessage(message, subs, props, size);
    const int32_t flags = message.Flags | (message.Attachments.empty() ? 0 : 0x10);
    const int32_t size32 = static_cast<int32_t>(std::min<uint64_t>(size, 0x7FFFFFFF));
    props.push_back(Int32(P::MessageSize, size32));
    props.push_back(Int32(P::MessageFlags, flags));
    const auto blocks = PropertyContext(FNdb, std::move(props), subs);
    const Bid data = FNdb.WriteBlocks(blocks);
    FNdb.AddNode(nid, data, FNdb.WriteSubnodes(subs.Entries), folder);

    const std::string cls = Utf16(message.MessageClass);
    const std::string subject =
        message.Subject ? Utf16(message.SubjectPrefix + *message.Subject) : std::string();
    it->second.Rows.push_back({nid, flags, size32, message.Importance.value_or(1),
                               message.Sensitivity.value_or(0),
                               static_cast<uint32_t>(cls.size()), static_cast<uint32_t>(subject.size()),
                               message.SubmitTime.value_or(NoTime), message.DeliveryTime.value_or(NoTime),
                               cls + subject + (message.SenderName ? Utf16(*message.SenderName) : std::string())});
}

void PstFile::WriteFolder(const Folder& f)
{
    const bool hasChildren = !f.Children.empty();
    Subnodes subs;
    std::vector<Property> props{Str(P::DisplayName, f.Name),
                                Int32(P::ContentCount, static_cast<int32_t>(f.Rows.size())),
                                Int32(P::ContentUnread, 0), Bool(P::Subfolders, hasChildren)};
    if (!f.Class.empty())
        props.push_back(Str(P::ContainerClass, f.Class));
    auto pc = PropertyContext(FNdb, props, subs);
    FNdb.AddNode(f.Id, FNdb.WriteBlocks(pc), FNdb.WriteSubnodes(subs.Entries), f.Parent);

    auto table = [this](Nid nid, const std::vector<uint32_t>& columns,
                        const std::vector<TableRow>& rows) {
        Subnodes s;
        const auto blocks = TableContext(FNdb, columns, rows, s);
        FNdb.AddNode(nid, FNdb.WriteBlocks(blocks), FNdb.WriteSubnodes(s.Entries), 0);
    };
    const Nid base = f.Id & ~0x1Fu;
    std::vector<TableRow> rows;
    for (Nid c : f.Children) {
        const Folder& child = FFolders.at(c);
        rows.push_back({c,
                        {Cell(Utf16(child.Name)), Cell(Le32(static_cast<uint32_t>(child.Rows.size()))),
                         Cell(Le32(0)), Cell(std::string(1, child.Children.empty() ? '\0' : '\1')),
                         child.Class.empty() ? TableCell{} : Cell(Utf16(child.Class))}});
    }
    table(base | NidType::HierarchyTable, HierarchyColumns(), rows);
    rows.clear();
    for (const ContentsRow& r : f.Rows) {
        auto time = [](int64_t t) { return t != NoTime ? Cell(Time64(t)) : TableCell{}; };
        rows.push_back({r.Id,
                        {Cell(r.Text.substr(0, r.ClassBytes)), Cell(r.Text.substr(r.ClassBytes, r.SubjectBytes)),
                         Cell(r.Text.substr(r.ClassBytes + r.SubjectBytes)),
                         time(r.SubmitTime), time(r.DeliveryTime),
                         Cell(Le32(static_cast<uint32_t>(r.Flags))),
                         Cell(Le32(static_cast<uint32_t>(r.Size))),
                         Cell(Le32(static_cast<uint32_t>(r.Importance))),
                         Cell(Le32(static_cast<uint32_t>(r.Sensitivity)))}});
    }
    table(base | NidType::ContentsTable, ContentsColumns(), rows);
    table(base | NidType::AssocContentsTable, ContentsColumns(), {});
}

void PstFile::Finish()
{
    // The message store.
    {
        Subnodes subs;
        int32_t valid = 0x1;
        std::vector<Property> props{Binary(P::RecordKey, FRecordKey),
                                    Str(P::DisplayName, FOptions.DisplayName),
                                    Binary(P::IpmSubtreeEntryId, EntryId(FIpmSubtree)),
                                    Int32(P::StoreSupportMask, 0x00050FFD)};
        if (FDeletedItems) {
            props.push_back(Binary(P::WastebasketEntryId, EntryId(FDeletedItems)));
            valid |= 0x8;
        }
        if (FSearchRoot) {
            props.push_back(Binary(P::FinderEntryId, EntryId(FSearchRoot)));
            valid |= 0x80;
        }
        props.push_back(Int32(P::ValidFolderMask, valid));
        const auto blocks = PropertyContext(FNdb, props, subs);
        FNdb.AddNode(MessageStoreNid, FNdb.WriteBlocks(blocks), FNdb.WriteSubnodes(subs.Entries), 0);
    }
    // The name-to-id map with one numeric named property of the common
    // property set (0x8000: the "smart no attach" flag), so that the map's
    // streams are never empty; the hash buckets are left out.
    {
        Subnodes subs;
        const std::string commonSet("\x08\x20\x06\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
        std::string entry;
        Put32(entry, 0x8514); // property number within the set
        Put16(entry, 3 << 1); // the first set of the GUID stream, numeric
        Put16(entry, 0);      // property id 0x8000 + 0
        const auto blocks = PropertyContext(FNdb,
                                            {Int32(0x0001, 251), Binary(0x0002, commonSet),
                                             Binary(0x0003, entry), Binary(0x0004, "")},
                                            subs);
        FNdb.AddNode(NameToIdMapNid, FNdb.WriteBlocks(blocks), 0, 0);
    }
    // Empty tables that new folders and messages copy their columns from.
    const std::pair<Nid, std::vector<uint32_t>> templates[] = {
        {HierarchyTemplateNid, HierarchyColumns()},
        {ContentsTemplateNid, ContentsColumns()},
        {AssocContentsTemplateNid, ContentsColumns()},
        {AttachmentTableNid, AttachmentColumns(PropType::Unicode)},
        {RecipientTableNid, RecipientColumns(PropType::Unicode)}};
    for (const auto& [nid, columns] : templates) {
        Subnodes subs;
        const auto blocks = TableContext(FNdb, columns, {}, subs);
        FNdb.AddNode(nid, FNdb.WriteBlocks(blocks), 0, 0);
    }
    for (const auto& [nid, folder] : FFolders)
        WriteFolder(folder);
    FNdb.Finish();
}

} // namespace PstWriter
