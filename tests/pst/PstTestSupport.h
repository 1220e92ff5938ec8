// Shared helpers of the stand-in's tests: the sample data file, what pffexport
// (an independent reader) finds in it, and automation shortcuts.
#pragma once

#include "automation/Dispatch.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace PstTest {

QString SamplePath();

struct ExportedRecipient {
    QString Name;
    QString Address;
    QString Type; // "To", "CC", "BCC"
};

struct ExportedAttachment {
    QString Name; // as pffexport names the file, without its number
    QByteArray Data;
};

struct ExportedMessage {
    QString Folder;                 // path below the IPM subtree, "\"-separated
    int Index = 0;                  // from 1
    QMap<QString, QString> Headers; // OutlookHeaders.txt: "Subject", "Sender name", ...
    std::vector<ExportedRecipient> Recipients;
    std::vector<ExportedAttachment> Attachments;
};

struct Exported {
    QStringList Folders; // every folder path below the IPM subtree, sorted
    std::vector<ExportedMessage> Messages;
};

// Runs pffexport on a data file once and parses what it wrote.
const Exported& PffExport(const QString& dataFile);

// "Aug 23, 2001 22:49:51.000000000 UTC" as pffexport prints times.
QDateTime ParsePffTime(const QString& text);

// File names compared the way pffexport writes them.
QString ExportName(const QString& name);

// A new application of the stand-in over the given data files.
Automation::OleRef NewNamespace(const QStringList& stores);

// Elements of a collection property.
std::vector<Automation::OleRef> Elements(const Automation::OleRef& object, const QString& member);

// The folder at a path below the namespace ("\Top\Sub"), or null.
Automation::OleRef FolderAt(const Automation::OleRef& ns, const QString& path);

// Walks every folder below a folder, with its path.
void Walk(const Automation::OleRef& folder, const QString& path,
          const std::function<void(const Automation::OleRef&, const QString&)>& visit);

QByteArray ReadFile(const QString& path);

} // namespace PstTest

#include "TestSupport.h"
