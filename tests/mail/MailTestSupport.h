// Shared pieces of the mail writer tests: a fixture with its own temporary and
// output folders and the C locale's separators, and the Python check of .eml files.
#pragma once

#include "fake/FakeAutomation.h"
#include "outlook/MailItem.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace MailTest {

class MailFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A mail item of the fake Outlook.
    Outlook::TMailItem Item(const Fake::MailSpec& spec, const QString& id = QStringLiteral("m"));
    // The fake object of the mail's attachment at a 1-based index.
    static Fake::FakePtr Attachment(const Outlook::TMailItem& item, qint32 index);

    static void Write(const QString& path, const QByteArray& data);
    static QByteArray Read(const QString& path);
    static QStringList Entries(const QString& dir);

    Fake::FakeOutlook Fake;
    QString Out; // where the tests write their files
    QString Tmp; // the user's temporary folder during the test

private:
    QTemporaryDir FRoot;
    QByteArray FOldTmp;
    bool FHadTmp = false;
};

// Runs check_eml.py on the cases; the result holds its complaints, empty when none.
QString CheckWithPython(const QJsonArray& cases);

// A header field's unfolded value in a written file, "" when absent.
QString HeaderField(const QByteArray& file, const QByteArray& name);

} // namespace MailTest
