// The read-only text view of one mail: a header table, the body as lines and the
// attachments' file names.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

// Header key ("SUBJECT:") to its values; keys in ordinal order of their UTF-16 code units.
using THeaderTable = std::map<QString, QStringList>;

class TBasicMail {
public:
    virtual THeaderTable GetHeaders() = 0;
    // GetHeaders with one more key, "[添付ファイル名]:", holding the attachment
    // names in order; the key is absent when there are none.
    virtual THeaderTable GetHeadersWithAttachments();
    virtual QStringList GetBodyLines() = 0;
    // The mail as one text; empty where the view has no such text.
    virtual QString GetRawText() = 0;
    virtual ~TBasicMail() = default;
    // An HTML form of the body; empty here.
    virtual QString GetHtmlBody();
    virtual QStringList GetAttachmentNames() = 0;
    // The attachments' contents; empty here.
    virtual std::vector<QByteArray> GetAttachmentData();

    // "[添付ファイル名]:"
    static const QString& AttachmentKey();
};
