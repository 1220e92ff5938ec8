// Truncated and byte-damaged copies of the sample data file: every access
// either works or raises an automation error; nothing crashes or hangs.
#include "OutlookPst.h"
#include "PstTestSupport.h"
#include "automation/ComObj.h"
#include "runtime/Exception.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Automation::OleRef;
using namespace PstTest;

namespace {

struct Outcome {
    int Reads = 0;
    int Errors = 0;
};

// Runs one access; an automation error counts, anything else fails the test.
template <typename F>
void Try(Outcome& outcome, F access)
{
    ++outcome.Reads;
    try {
        access();
    } catch (const EOleException&) {
        ++outcome.Errors;
    } catch (const EInOutError&) {
        ++outcome.Errors;
    }
}

void WalkItems(const OleRef& folder, const QString& dir, Outcome& o, int depth)
{
    if (depth > 64)
        return;
    Try(o, [&] { folder.GetText(QStringLiteral("Name")); });
    Try(o, [&] { folder.GetInt(QStringLiteral("DefaultItemType")); });
    Try(o, [&] {
        const OleRef items = folder.GetObject(QStringLiteral("Items"));
        const qint32 count = items.GetInt(QStringLiteral("Count"));
        for (qint32 i = 1; i <= count; ++i) {
            Try(o, [&] {
                const OleRef item = items.GetObject(QStringLiteral("Item"), {i});
                for (const char* member : {"EntryID", "Subject", "Body", "ReplyRecipientNames", "SenderName",
                                           "SenderEmailAddress", "To", "CC", "BCC"})
                    Try(o, [&] { item.GetText(QLatin1String(member)); });
                Try(o, [&] { item.GetDateTime(QStringLiteral("SentOn")); });
                Try(o, [&] { item.GetDateTime(QStringLiteral("ReceivedTime")); });
                Try(o, [&] { item.GetInt(QStringLiteral("Importance")); });
                Try(o, [&] { item.GetInt(QStringLiteral("Sensitivity")); });
                Try(o, [&] {
                    for (const OleRef& r : Elements(item, QStringLiteral("Recipients"))) {
                        Try(o, [&] { r.GetText(QStringLiteral("Name")); });
                        Try(o, [&] { r.GetText(QStringLiteral("Address")); });
                    }
                });
                Try(o, [&] {
                    for (const OleRef& a : Elements(item, QStringLiteral("Attachments"))) {
                        Try(o, [&] { a.GetText(QStringLiteral("FileName")); });
                        Try(o, [&] { a.Call(QStringLiteral("SaveAsFile"), {dir + QStringLiteral("/att")}); });
                    }
                });
                Try(o, [&] { item.Call(QStringLiteral("SaveAs"), {dir + QStringLiteral("/m.msg"), 3}); });
                Try(o, [&] { item.Call(QStringLiteral("SaveAs"), {dir + QStringLiteral("/m.txt"), 0}); });
                Try(o, [&] { item.CallObject(QStringLiteral("Reply")).GetText(QStringLiteral("Subject")); });
            });
        }
    });
    Try(o, [&] {
        for (const OleRef& child : Elements(folder, QStringLiteral("Folders")))
            WalkItems(child, dir, o, depth + 1);
    });
}

Outcome WalkFile(const QString& path, const QString& dir)
{
    Outcome o;
    Try(o, [&] {
        const OleRef ns = NewNamespace({path});
        Try(o, [&] { ns.CallObject(QStringLiteral("GetDefaultFolder"), {6}).Call(QStringLiteral("Display")); });
        for (const OleRef& top : Elements(ns, QStringLiteral("Folders")))
            WalkItems(top, dir, o, 0);
    });
    Automation::ClearRunningObjects();
    return o;
}

struct Damage {
    QString Name;
    qint64 Truncate = -1; // new size, or -1
    qint64 Offset = 0;    // start of overwritten bytes
    qint64 Length = 0;
};

quint64 Le64(const QByteArray& bytes, qint64 at)
{
    quint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<uchar>(bytes[at + i]);
    return v;
}

// Offsets of the pages of the two B-trees of a Unicode data file (the node and
// the block index): the roots and the pages one level below them.
std::vector<qint64> IndexPages(const QByteArray& pst)
{
    std::vector<qint64> pages;
    for (qint64 rootAt : {qint64(224), qint64(240)}) {
        const qint64 root = static_cast<qint64>(Le64(pst, rootAt));
        if (root <= 0 || root + 512 > pst.size())
            continue;
        pages.push_back(root);
        const int count = static_cast<uchar>(pst[root + 488]);
        const int entrySize = static_cast<uchar>(pst[root + 490]);
        const int level = static_cast<uchar>(pst[root + 491]);
        if (level == 0 || entrySize != 24)
            continue;
        for (int i = 0; i < count && i * 24 + 24 <= 488; ++i) {
            const qint64 child = static_cast<qint64>(Le64(pst, root + i * 24 + 16));
            if (child > 0 && child + 512 <= pst.size())
                pages.push_back(child);
        }
    }
    return pages;
}

std::vector<Damage> Cases(const QByteArray& pst)
{
    const qint64 size = pst.size();
    std::vector<Damage> cases;
    for (qint64 at : {qint64(0), qint64(16), qint64(512), qint64(4096), qint64(65536), size / 8, size / 4,
                      size / 3, size / 2, size * 2 / 3, size * 3 / 4, size - 4096, size - 1})
        cases.push_back({QStringLiteral("truncated at %1").arg(at), at});
    // Fixed ranges: the header, the first pages of the indexes, and spread over the file.
    for (qint64 at : {qint64(0), qint64(8), qint64(172), qint64(512), qint64(4096), qint64(16384)})
        cases.push_back({QStringLiteral("overwritten at %1").arg(at), -1, at, 256});
    for (int k = 1; k <= 7; ++k) {
        const qint64 at = size * k / 8 + k * 137;
        cases.push_back({QStringLiteral("overwritten at %1").arg(at), -1, at, k % 2 ? 512 : 8192});
    }
    // The index pages: part of a page, or all of it.
    const std::vector<qint64> pages = IndexPages(pst);
    EXPECT_GE(pages.size(), 4u);
    for (std::size_t i = 0; i < pages.size() && i < 24; ++i) {
        const qint64 at = pages[i] + static_cast<qint64>((i * 53) % 440);
        cases.push_back({QStringLiteral("index page at %1, bytes at %2").arg(pages[i]).arg(at), -1, at, 48});
        if (i < 4)
            cases.push_back({QStringLiteral("index page at %1").arg(pages[i]), -1, pages[i], 512});
    }
    return cases;
}

} // namespace

TEST(DamageTest, DamagedCopiesOfTheSampleRaiseErrorsAndNeverCrash)
{
    const QByteArray original = ReadFile(SamplePath());
    ASSERT_GT(original.size(), 1000000);
    OutlookPst::RegisterOutlookApplication();
    QTemporaryDir dir;
    int damagedReads = 0;
    for (const Damage& d : Cases(original)) {
        SCOPED_TRACE(d.Name.toStdString());
        QByteArray bytes = d.Truncate >= 0 ? original.left(d.Truncate) : original;
        QRandomGenerator random(static_cast<quint32>(d.Offset + d.Length));
        for (qint64 i = d.Offset; i < d.Offset + d.Length && i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(random.bounded(256));
        const QString path = dir.filePath(QStringLiteral("damaged.pst"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        QElapsedTimer timer;
        timer.start();
        const Outcome o = WalkFile(path, dir.path());
        EXPECT_LT(timer.elapsed(), 30000) << "walking took too long";
        damagedReads += o.Errors;
    }
    // The damage shows as errors somewhere, not as silently lost data only.
    EXPECT_GT(damagedReads, 0);
}

TEST(DamageTest, TheUndamagedSampleReadsWithoutErrors)
{
    OutlookPst::RegisterOutlookApplication();
    QTemporaryDir dir;
    const Outcome o = WalkFile(SamplePath(), dir.path());
    EXPECT_EQ(o.Errors, 0);
    EXPECT_GT(o.Reads, 71 * 20);
}
