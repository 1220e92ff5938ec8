// The messaging layer: a message store with its root folder, the IPM subtree
// with Deleted Items and the search root, user folders, and messages with
// recipients and attachments (embedded messages included).
//
// Messages go to disk as they are added; folders, whose tables need every
// message, are written by Finish.
#pragma once

#include "Ltp.h"
#include "Ndb.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace PstWriter {

struct Recipient {
    int Type = 1; // 1 To, 2 CC, 3 BCC
    std::string Name;
    std::string AddrType = "SMTP";
    std::string Address;
};

struct Message;

struct Attachment {
    std::string Name; // file name, UTF-8
    std::string MimeTag;
    // The content: Data, or the file at Path, or Size bytes from Generate.
    std::string Data;
    std::string Path;
    uint64_t Size = 0;
    std::function<void(Ndb::Stream&)> Generate;
    bool WriteMethod = true; // false leaves out the attach method
    std::shared_ptr<Message> Embedded;
};

struct Message {
    std::string MessageClass = "IPM.Note";
    std::optional<std::string> Subject;
    std::string SubjectPrefix; // "RE: ", stored at the start of the subject
    bool SubjectMarker = false; // the stored subject starts with the prefix marker (always with a prefix)
    std::optional<std::string> SenderName;
    std::string SenderAddrType = "SMTP";
    std::optional<std::string> SenderAddress;
    std::vector<Recipient> Recipients;
    std::optional<int64_t> SubmitTime; // FILETIME
    std::optional<int64_t> DeliveryTime;
    std::optional<int64_t> CreationTime;
    std::optional<int32_t> Importance;
    std::optional<int32_t> Sensitivity;
    std::optional<std::string> Body;   // UTF-8
    std::optional<std::string> Html;   // bytes as stored
    std::optional<int32_t> HtmlCodePage;
    std::optional<std::string> Rtf;    // RTF text, stored as compressed RTF
    bool RtfUncompressed = false;      // in the uncompressed ("MELA") form
    std::optional<int32_t> CodePage;   // the message code page property
    bool EightBit = false;             // strings stored 8-bit in CodePage
    std::optional<std::string> MessageId;
    int32_t Flags = 1;                 // read
    std::vector<Attachment> Attachments;
};

struct StoreOptions {
    bool Encrypt = true;
    std::string DisplayName = "Personal Folders";
    std::string IpmSubtreeName = "Top of Personal Folders";
    std::string DeletedItemsName = "Deleted Items";
    std::string SearchRootName = "Search Root";
    // The store's IPM subtree entry id names the root folder itself, and user
    // folders sit directly below the root; no standard folders are made.
    bool IpmSubtreeIsRoot = false;
};

class PstFile {
public:
    PstFile(const std::string& path, const StoreOptions& options);
    ~PstFile();

    Nid IpmSubtree() const { return FIpmSubtree; }
    Nid DeletedItems() const { return FDeletedItems; }
    Nid AddFolder(Nid parent, const std::string& name, const std::string& containerClass);
    void AddMessage(Nid folder, const Message& message);
    void Finish();
    uint64_t Size() const { return FNdb.Size(); }

private:
    // What a folder's contents table shows of a message; kept for every
    // message until the end, so kept small.
    struct ContentsRow {
        Nid Id;
        int32_t Flags, Size, Importance, Sensitivity;
        uint32_t ClassBytes, SubjectBytes;
        int64_t SubmitTime, DeliveryTime; // NoTime when absent
        std::string Text; // UTF-16LE class, subject and sender name, one after the other
    };
    static constexpr int64_t NoTime = INT64_MIN;
    struct Folder {
        Nid Id;
        Nid Parent;
        std::string Name;
        std::string Class;
        std::vector<Nid> Children;
        std::vector<ContentsRow> Rows;
    };

    Nid NewFolder(Nid parent, const std::string& name, const std::string& cls);
    void WriteMessage(const Message& m, Subnodes& subs, std::vector<Property>& props,
                      uint64_t& size);
    void WriteFolder(const Folder& f);
    std::string EntryId(Nid nid) const;

    Ndb FNdb;
    StoreOptions FOptions;
    std::string FRecordKey;
    std::map<Nid, Folder> FFolders;
    Nid FRoot;
    Nid FIpmSubtree = 0;
    Nid FDeletedItems = 0;
    Nid FSearchRoot = 0;
    uint32_t FNextFolder = 0x401;
    uint32_t FNextMessage = 0x10001;
};

} // namespace PstWriter
