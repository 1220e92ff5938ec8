// An Outlook mail item with its recipients and attachments. All three are values
// that share one reference to their Outlook object.
#pragma once

#include "automation/Dispatch.h"
#include "runtime/DateTime.h"
#include "support/EMail.h"

#include <optional>
#include <vector>

namespace Outlook {

class TRecipient {
public:
    explicit TRecipient(const Automation::OleRef& item) : Item(item) {}
    virtual ~TRecipient() = default;
    QString GetName() const;
    QString GetAddress() const;

private:
    Automation::OleRef Item;
};

// The content of an attachment read in pieces, from a stream object of the
// automation server.
class TAttachmentData {
public:
    explicit TAttachmentData(const Automation::OleRef& stream) : Stream(stream) {}
    // The next bytes, at most maxBytes (at least 1); empty at the end. Raises
    // EOleException when the content cannot be read.
    QByteArray Read(qint32 maxBytes) const;

private:
    Automation::OleRef Stream;
};

class TAttachment {
public:
    explicit TAttachment(const Automation::OleRef& item) : Item(item) {}
    virtual ~TAttachment() = default;
    QString GetFileName() const;
    // Outlook writes the attachment's content to the file at path.
    void SaveAsFile(const QString& path) const;
    // The attachment's content as a stream, when the server offers one for it
    // (a member beyond Outlook's model). Null when it does not, or not for this
    // attachment (an embedded item, a reference): SaveAsFile is the way then.
    std::optional<TAttachmentData> OpenData() const;

private:
    Automation::OleRef Item;
};

class TMailItem {
public:
    explicit TMailItem(const Automation::OleRef& item) : Item(item) {}
    virtual ~TMailItem() = default;

    QString GetEntryID() const;
    QString GetSubject() const;
    QString GetBody() const;
    QString GetReplyRecipientNames() const;
    TDateTime GetSentOn() const;
    TDateTime GetReceivedTime() const;

    // The sender's name and address. When Outlook cannot tell them, the first
    // recipient of a reply stands in; they never raise.
    QString GetSenderName() const;
    QString GetSenderEmailAddress() const;
    // The sender as one mailbox text.
    QString GetFrom() const;

    TMailItem Reply() const;
    std::vector<TRecipient> GetRecipients() const;
    std::vector<TAttachment> GetAttachments() const;

    // The To, CC and BCC recipients as (name, address) pairs, split once per item.
    std::vector<IMailAddressPairPtr> GetToList();
    std::vector<IMailAddressPairPtr> GetCcList();
    std::vector<IMailAddressPairPtr> GetBccList();
    QString GetTo();
    QString GetCc();
    QString GetBcc();

    // "Low", "Normal", "High" or empty.
    QString GetImportance() const;
    // "Personal", "Private", "Company-Confidential" or empty.
    QString GetSensitivity() const;

    // Outlook saves the item in format n (0 to 7; 3 is .msg, 0 plain text). Any
    // other n does nothing.
    void SaveAs(const QString& path, qint32 n) const;
    // What the last SaveAs left out because it could not be read, one sentence
    // per line; empty when nothing was, or when the server does not say.
    QString GetSaveOmissions() const;

    const Automation::OleRef& GetItem() const { return Item; }

private:
    void SplitRecipients();

    Automation::OleRef Item;
    bool SplitDone = false;
    std::vector<std::vector<IMailAddressPairPtr>> AddressLists;
};

} // namespace Outlook
