// Saving mail items and attachments to files.
#pragma once

#include "Objects.h"

namespace OutlookPst {

// An Outlook message file (.msg): an OLE compound file of the message's
// properties, recipients, attachments and named-property mapping.
void WriteMsgFile(MessageSource& message, const QString& path);

// The text format: header lines, a blank line and the body, in UTF-8.
void WriteTextFile(MailItemObject& item, const QString& path);

// The content of an attachment; an embedded message is written as .msg.
void SaveAttachmentFile(AttachmentSource& attachment, const QString& path);

} // namespace OutlookPst
