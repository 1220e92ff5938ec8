// One Outlook mail written to one file: .msg and .txt by Outlook, .eml without or
// with attachments by the system's own MIME composer. Also the text view of the mail.
#pragma once

#include "BasicMail.h"
#include "MimeComposer.h"
#include "outlook/MailItem.h"

#include <functional>
#include <memory>

// Answers the composer's question for the header encoding and character set.
class TInitializeISO {
public:
    TInitializeISO(QChar headerEncoding, const QString& charSet)
        : HeaderEncoding(headerEncoding), CharSet(charSet)
    {
    }
    // Sets both arguments to this object's values, whatever was proposed.
    void InitializeISO(QChar& VHeaderEncoding, QString& VCharSet) const
    {
        VHeaderEncoding = HeaderEncoding;
        VCharSet = CharSet;
    }

private:
    QChar HeaderEncoding;
    QString CharSet;
};

class TOutlookMail : public TBasicMail {
public:
    explicit TOutlookMail(Outlook::TMailItem mailItem) : MailItem(std::move(mailItem)) {}
    ~TOutlookMail() override = default;

    // Writes the mail in an export type: 0 .msg and 1 .txt through Outlook, 2 .eml
    // without and 3 with attachments; any other type writes nothing. The file
    // appears complete or not at all: it is written beside the target under a
    // temporary name and renamed over the target at the end, so that on an error
    // an existing target stays as it was. Every error passes to the caller.
    void Save(const QString& fileName, int exportType) { Save(fileName, exportType, {}); }

    // Asked for another file name when the one being written to is taken.
    using TNextName = std::function<QString()>;
    // As above, but with nextName the file never replaces another: when a file of
    // that name appears before the rename, the mail takes the name nextName gives
    // (and so on). Returns the name written.
    QString Save(const QString& fileName, int exportType, const TNextName& nextName);

    // The parts of the mail the last save had to leave out because they could not
    // be read (recipients, attachments), one sentence each. The mail itself was
    // written; empty when nothing was left out.
    const QStringList& GetOmissions() const { return Omissions; }

    // With attachments, they are saved into a temporary folder that is deleted
    // afterwards, also on an error.
    void SaveEml(const QString& fileName, bool withAttachments, const QString& charSet,
                 const QString& transferEncoding);
    void WriteEml(const QString& fileName, const QString& attachmentDir, const QString& charSet,
                  const QString& transferEncoding);
    // Reads the mail item and builds the message; with an attachment folder and
    // attachments, each attachment is saved by Outlook into a new file there.
    std::unique_ptr<Mime::TMimeMessage> ComposeMessage(const QString& attachmentDir,
                                                       const QString& charSet,
                                                       const QString& transferEncoding);

    // The text view.
    THeaderTable GetHeaders() override;
    QStringList GetBodyLines() override;
    QString GetRawText() override { return QString(); }
    QStringList GetAttachmentNames() override;

    // "Sun, 05 Jan 2014 09:03:07 +0900", the zone text fixed, the value unconverted.
    static QString FormatHeaderDate(TDateTime value);

private:
    // Gives the folder for attachment files, making it when first asked.
    using TAttachmentFolder = std::function<QString()>;
    // Raised by a streamed attachment that breaks off part-way through.
    struct TStreamFailed {};

    QString WriteEmlWithAttachments(const QString& fileName, const QString& charSet,
                                    const QString& transferEncoding, const TNextName& nextName);
    QString WriteEmlFile(const QString& fileName, const TAttachmentFolder& attachmentDir,
                         bool stream, const QString& charSet, const QString& transferEncoding,
                         const TNextName& nextName);
    // Without an attachment folder (empty function) the mail is written without
    // attachments. With stream, attachments the server streams are not saved.
    std::unique_ptr<Mime::TMimeMessage> Compose(const TAttachmentFolder& attachmentDir,
                                                bool stream, const QString& charSet,
                                                const QString& transferEncoding);
    QString SaveThroughOutlook(const QString& fileName, qint32 format, const TNextName& nextName);
    QString WriteEmlFile(const QString& fileName, const QString& attachmentDir,
                         const QString& charSet, const QString& transferEncoding,
                         const TNextName& nextName);
    // Reads one part of the mail; when it cannot be read, notes omitted(reason)
    // and gives the fallback.
    template <typename T, typename Read, typename Omitted>
    T Salvage(Read read, Omitted omitted, T fallback);

    Outlook::TMailItem MailItem;
    QStringList Omissions;
    THeaderTable Headers;
    QStringList BodyLines;
};
