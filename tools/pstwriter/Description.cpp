#include "Description.h"

#include "Bytes.h"
#include "Json.h"
#include "Messaging.h"
#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace PstWriter {

void GeneratedBytes(uint64_t seed, uint64_t size,
                    const std::function<void(const char*, size_t)>& sink)
{
    // A 64-bit linear congruential generator; each step gives the next eight
    // bytes (little-endian) of the content.
    uint64_t state = seed;
    std::string chunk;
    for (uint64_t done = 0; done < size;) {
        chunk.clear();
        const uint64_t n = std::min<uint64_t>(65536, size - done);
        for (uint64_t k = 0; k < n; k += 8) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            PutLe(chunk, state, static_cast<int>(std::min<uint64_t>(8, n - k)));
        }
        sink(chunk.data(), chunk.size());
        done += n;
    }
}

namespace {

std::string ReadAll(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw Error("読めません: " + path + ": " + std::strerror(errno));
    std::string out;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    std::fclose(f);
    return out;
}

std::string Base64(const std::string& text)
{
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '=' || c == '\n' || c == '\r')
            continue;
        else
            throw Error("base64 として読めない文字があります");
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

class Reader {
public:
    Reader(std::string baseDir, PstFile* pst) : FBase(std::move(baseDir)), FPst(pst) {}

    void Folder(const Json& f, Nid parent, const std::string& where)
    {
        const std::string name = Text(f, "name", "");
        const std::string path = where + "/" + name;
        const Nid nid = FPst->AddFolder(parent, name, Text(f, "class", "IPF.Note"));
        Mails(f, nid, path);
        if (const Json* subs = Array(f, "folders", path))
            for (const Json& s : subs->Items)
                Folder(s, nid, path);
    }

    void Mails(const Json& holder, Nid folder, const std::string& where)
    {
        if (const Json* mails = Array(holder, holder.Find("mails") ? "mails" : "deletedItems", where))
            for (size_t i = 0; i < mails->Items.size(); ++i)
                FPst->AddMessage(folder, Mail(mails->Items[i], where + "#" + std::to_string(i + 1)));
    }

    Message Mail(const Json& j, const std::string& where)
    {
        if (j.Type != Json::Kind::Object)
            throw Error(where + ": メールはオブジェクトで書いてください");
        Message m;
        m.MessageClass = Text(j, "class", "IPM.Note");
        if (j.Find("subject"))
            m.Subject = Text(j, "subject", "");
        m.SubjectPrefix = Text(j, "subjectPrefix", "");
        m.SubjectMarker = Bool(j, "subjectMarker");
        if (const Json* from = j.Find("from")) {
            m.SenderName = Text(*from, "name", "");
            m.SenderAddress = Text(*from, "address", "");
            m.SenderAddrType = Text(*from, "addrType", "SMTP");
        }
        const char* kinds[] = {"to", "cc", "bcc"};
        for (int k = 0; k < 3; ++k)
            if (const Json* list = Array(j, kinds[k], where))
                for (const Json& r : list->Items)
                    m.Recipients.push_back({k + 1, Text(r, "name", ""), Text(r, "addrType", "SMTP"),
                                            Text(r, "address", "")});
        if (j.Find("sent"))
            m.SubmitTime = ParseTime(Text(j, "sent", ""));
        if (j.Find("received"))
            m.DeliveryTime = ParseTime(Text(j, "received", ""));
        if (j.Find("created"))
            m.CreationTime = ParseTime(Text(j, "created", ""));
        if (j.Find("importance"))
            m.Importance = static_cast<int32_t>(Number(j, "importance"));
        if (j.Find("sensitivity"))
            m.Sensitivity = static_cast<int32_t>(Number(j, "sensitivity"));
        if (j.Find("flags"))
            m.Flags = static_cast<int32_t>(Number(j, "flags"));
        if (j.Find("codePage"))
            m.CodePage = static_cast<int32_t>(Number(j, "codePage"));
        m.EightBit = Bool(j, "eightBit");
        if (m.EightBit && !m.CodePage)
            throw Error(where + ": eightBit には codePage が要ります");
        if (j.Find("body"))
            m.Body = Text(j, "body", "");
        if (j.Find("html")) {
            if (j.Find("htmlCodePage"))
                m.HtmlCodePage = static_cast<int32_t>(Number(j, "htmlCodePage"));
            m.Html = Encode(Text(j, "html", ""), m.HtmlCodePage.value_or(65001));
        }
        if (j.Find("rtf"))
            m.Rtf = Text(j, "rtf", "");
        m.RtfUncompressed = Text(j, "rtfForm", "LZFu") == "MELA";
        if (j.Find("messageId"))
            m.MessageId = Text(j, "messageId", "");
        if (const Json* list = Array(j, "attachments", where))
            for (size_t i = 0; i < list->Items.size(); ++i)
                m.Attachments.push_back(
                    Attach(list->Items[i], where + " attachment " + std::to_string(i + 1)));
        return m;
    }

    Attachment Attach(const Json& j, const std::string& where)
    {
        Attachment a;
        a.Name = Text(j, "name", "");
        a.MimeTag = Text(j, "mime", "");
        a.WriteMethod = !j.Find("method") || Bool(j, "method");
        if (const Json* m = j.Find("message")) {
            a.Embedded = std::make_shared<Message>(Mail(*m, where));
        } else if (j.Find("data")) {
            a.Data = Text(j, "data", "");
        } else if (j.Find("base64")) {
            a.Data = Base64(Text(j, "base64", ""));
        } else if (j.Find("file")) {
            const std::string file = Text(j, "file", "");
            a.Path = !file.empty() && file[0] == '/' ? file : FBase + file;
        } else if (j.Find("size")) {
            a.Size = Number(j, "size");
            const uint64_t seed = Number(j, "seed");
            const uint64_t size = a.Size;
            a.Generate = [seed, size](Ndb::Stream& s) {
                GeneratedBytes(seed, size, [&s](const char* p, size_t n) { s.Append(p, n); });
            };
        }
        return a;
    }

    static std::string Text(const Json& j, const char* name, const char* fallback)
    {
        const Json* v = j.Find(name);
        if (!v)
            return fallback;
        if (v->Type != Json::Kind::String)
            throw Error(std::string("\"") + name + "\" は文字列で書いてください");
        return v->Text;
    }
    static bool Bool(const Json& j, const char* name)
    {
        const Json* v = j.Find(name);
        if (v && v->Type != Json::Kind::Bool)
            throw Error(std::string("\"") + name + "\" は true か false で書いてください");
        return v && v->Bool;
    }
    static uint64_t Number(const Json& j, const char* name)
    {
        const Json* v = j.Find(name);
        if (!v || v->Type != Json::Kind::Number)
            throw Error(std::string("\"") + name + "\" は数で書いてください");
        errno = 0;
        char* end = nullptr;
        const long long n = std::strtoll(v->Text.c_str(), &end, 10);
        if (errno || *end)
            throw Error(std::string("\"") + name + "\" は整数で書いてください");
        return static_cast<uint64_t>(n);
    }
    static const Json* Array(const Json& j, const char* name, const std::string& where)
    {
        const Json* v = j.Find(name);
        if (v && v->Type != Json::Kind::Array)
            throw Error(where + ": \"" + name + "\" は配列で書いてください");
        return v;
    }

private:
    std::string FBase;
    PstFile* FPst;
};

} // namespace

void WriteDescription(const std::string& jsonPath, const std::string& outPath,
                      bool forceNoEncryption)
{
    const Json doc = ParseJson(ReadAll(jsonPath));
    if (doc.Type != Json::Kind::Object)
        throw Error("記述はオブジェクトで書いてください");
    StoreOptions o;
    o.Encrypt = !forceNoEncryption && (!doc.Find("encryption") || Reader::Bool(doc, "encryption"));
    o.DisplayName = Reader::Text(doc, "store", o.DisplayName.c_str());
    o.IpmSubtreeName = Reader::Text(doc, "ipmSubtreeName", o.IpmSubtreeName.c_str());
    o.DeletedItemsName = Reader::Text(doc, "deletedItemsName", o.DeletedItemsName.c_str());
    o.SearchRootName = Reader::Text(doc, "searchRootName", o.SearchRootName.c_str());
    o.IpmSubtreeIsRoot = Reader::Bool(doc, "ipmSubtreeIsRoot");
    const size_t slash = jsonPath.rfind('/');
    const std::string base = slash == std::string::npos ? "" : jsonPath.substr(0, slash + 1);

    PstFile pst(outPath, o);
    Reader reader(base, &pst);
    if (doc.Find("deletedItems")) {
        if (!pst.DeletedItems())
            throw Error("ipmSubtreeIsRoot のストアには Deleted Items がありません");
        reader.Mails(doc, pst.DeletedItems(), "/" + o.DeletedItemsName);
    }
    if (const Json* folders = Reader::Array(doc, "folders", ""))
        for (const Json& f : folders->Items)
            reader.Folder(f, pst.IpmSubtree(), "");
    pst.Finish();
}

} // namespace PstWriter
