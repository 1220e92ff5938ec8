// One opened data file: the libpff file, the message store's properties, and
// every libpff item handed out for it. Closing the store frees all those items
// first, so that objects outliving the close report an error instead of reading
// freed memory.
#pragma once

#include "Pff.h"
#include "Props.h"

#include <QString>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace OutlookPst {

class Store;
class BlockFile;

// A libpff item registered with its store. Record sets are read once and kept.
class PffItem {
public:
    PffItem(std::shared_ptr<Store> store, libpff_item_t* item);
    ~PffItem();
    PffItem(const PffItem&) = delete;
    PffItem& operator=(const PffItem&) = delete;

    // The item; raises when the store has been closed.
    libpff_item_t* Get() const;
    int RecordSetCount();
    libpff_record_set_t* RecordSet(int index);
    const std::shared_ptr<Store>& GetStore() const { return FStore; }
    uint32_t Identifier();

    // Frees the libpff objects; later use raises.
    void Release();

private:
    std::shared_ptr<Store> FStore;
    libpff_item_t* FItem;
    std::vector<libpff_record_set_t*> FRecordSets;
    int FRecordSetCount = -1;
    std::list<PffItem*>::iterator FRegistration;
};
using PffItemPtr = std::shared_ptr<PffItem>;

// The properties of one record set of an item.
class RecordSetBag : public PropertyBag {
public:
    RecordSetBag(PffItemPtr item, int recordSet) : FItem(std::move(item)), FSet(recordSet) {}
    std::optional<RawValue> Find(quint16 id) override;
    std::vector<PropEntry> All() override;

private:
    PffItemPtr FItem;
    int FSet;
};

// Why a data file cannot be opened, in words for the user: empty when it looks
// like a data file (libpff may still refuse it); otherwise the reason, such as
// "ファイルがありません。" or "Outlook のデータファイルではありません。".
QString DataFileOpenProblem(const QString& path);

// A folder of a data file: its node identifier, and libpff's item when libpff
// serves it (null when the store's own reader does).
struct FolderRef {
    quint32 Nid = 0;
    PffItemPtr Item;
};

class Store : public std::enable_shared_from_this<Store> {
public:
    // Opens the data file. A file that cannot be opened still gives a store:
    // its failure is reported by every access that needs the file. A file the
    // own reader reads is not opened with libpff until something asks for it.
    // ownReader false leaves everything to libpff (for comparisons).
    static std::shared_ptr<Store> Open(const QString& path, bool ownReader = true);
    ~Store();

    const QString& Path() const { return FPath; }
    bool IsOpen() const { return FFile != nullptr || FOwnOpen; }
    // True while the own reader serves folders and messages.
    bool IsOwn() const { return FOwnOpen; }
    // True once libpff has opened the file.
    bool LibpffOpened() const { return FFile != nullptr; }
    // Raises the reason why the file could not be opened or was closed.
    void RequireOpen() const;

    // The store's display name, or the file name when it has none or cannot be read.
    QString DisplayName() const { return FDisplayName; }
    // The folder below which the user's folders are (the IPM subtree), as the
    // message store names it; the root folder itself when the store names that.
    // Callers keep it.
    FolderRef TopFolder();
    // The item of a node identifier, or null when the file has none.
    PffItemPtr ItemById(quint32 id);
    // The name of named property id (0x8000 and up) from the file's map of
    // names; readable is set false when the map cannot be read.
    std::optional<NamedProp> NamedProperty(quint16 id, bool& readable);
    // The code page for 8-bit strings that name none.
    int CodePage() const { return FCodePage; }
    // Prefix of entry identifiers: four flag bytes and the store's record key.
    const QByteArray& EntryIdPrefix() const { return FEntryIdPrefix; }
    // "hex of the entry identifier" of the item of node nid.
    QString EntryIdOf(quint32 nid) const;

    // The file's own block reader, opened when first asked for; null when the
    // file's format is not one it reads.
    std::shared_ptr<BlockFile> Blocks();

    // libpff's file, opened when first needed; raises when it cannot be.
    libpff_file_t* Pff();
    // Takes ownership of an item libpff handed out for this file.
    PffItemPtr Wrap(libpff_item_t* item);
    // Frees every item and closes the file.
    void Close();

private:
    friend class PffItem;
    explicit Store(QString path) : FPath(std::move(path)) {}
    // Opens libpff's file; false with FOpenError set when it cannot.
    bool OpenPff();
    void ReadMessageStore(PropertyBag& bag);
    void ReadNames();
    PffItemPtr FindTopFolderByName(const PffItemPtr& root);
    // The same search by the own reader: the folder's node, the root's when no
    // folder has such a name; null when a folder on the way cannot be read.
    std::optional<quint32> OwnTopFolderByName();

    QString FPath;
    QString FOpenError;
    QString FDisplayName;
    bool FHasIpmSubtreeId = false;
    QByteArray FEntryIdPrefix;
    int FCodePage = 1252;
    libpff_file_t* FFile = nullptr;
    quint32 FIpmSubtreeId = 0;
    std::list<PffItem*> FItems; // in the order they were handed out
    std::shared_ptr<BlockFile> FBlocks;
    bool FBlocksOpened = false;
    bool FOwnOpen = false;
    bool FClosed = false;
    bool FNamesRead = false;
    bool FNamesReadable = false;
    std::unordered_map<quint16, NamedProp> FNames;
};
using StorePtr = std::shared_ptr<Store>;

} // namespace OutlookPst
