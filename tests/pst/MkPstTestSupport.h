// Data files written at test time by tidewell-mkpst from JSON descriptions, and
// the independent checks run on them.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace MkPstTest {

// tests/pst/<name> in the source tree.
QString SourceFile(const QString& name);

// Runs tidewell-mkpst; its exit code, with its standard error in *err.
int MkPst(const QStringList& args, QByteArray* err = nullptr);

// Writes the description into dir and the data file beside it; the data file's path.
QString Write(const QString& dir, const QString& name, const QJsonObject& description,
              const QStringList& options = {});

// What the structure check and the comparison with pffexport and readpst
// report for a data file written from a description; empty when all agrees.
QString Check(const QString& description, const QString& dataFile, const QString& work);

// A mail of a description.
QJsonObject Mail(const QString& subject, const QString& sent, const QString& body);

} // namespace MkPstTest
