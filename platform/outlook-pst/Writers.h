// Saving mail items and attachments to files.
#pragma once

#include "Objects.h"

namespace OutlookPst {

// An Outlook message file (.msg): an OLE compound file of the message's
// properties, recipients, attachments and named-property mapping. With
// omissions, a recipient table or an attachment that cannot be read is left
// out, the rest is written, and a sentence for each part left out is added to
// omissions; without, any failure fails the save.
void WriteMsgFile(MessageSource& message, const QString& path, QStringList* omissions = nullptr);

// The text format: header lines, a blank line and the body, in UTF-8. Recipients
// and attachment names that cannot be read are left out and noted in omissions.
void WriteTextFile(MailItemObject& item, const QString& path, QStringList& omissions);

// The sentences that name a part left out of a saved message.
QString RecipientsOmitted(const QString& reason);
QString AttachmentsOmitted(const QString& reason);
QString AttachmentOmitted(int index, const QString& reason);

// The content of an attachment; an embedded message is written as .msg.
void SaveAttachmentFile(AttachmentSource& attachment, const QString& path);

} // namespace OutlookPst
