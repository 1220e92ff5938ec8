// Attachment content streamed by the block reader, against what libpff saves,
// and the reader's handling of a damaged file image.
#include "Blocks.h"
#include "PstTestSupport.h"
#include "TestSupport.h"
#include "automation/ComObj.h"
#include "runtime/Exception.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using Automation::OleRef;
using namespace PstTest;

namespace {

class BlocksTest : public ::testing::Test {
protected:
    void TearDown() override { Automation::ClearRunningObjects(); }
};

QByteArray ReadStream(const OleRef& stream, qint32 piece)
{
    QByteArray data;
    for (;;) {
        const QString text = stream.GetText(QStringLiteral("Read"), {piece});
        if (text.isEmpty())
            return data;
        data += text.toLatin1();
    }
}

} // namespace

TEST_F(BlocksTest, StreamedContentEqualsWhatSaveAsFileWrites)
{
    QTemporaryDir dir;
    const OleRef ns = NewNamespace({SamplePath()});
    int streamed = 0, multiBlock = 0, notStreamed = 0;
    Walk(Elements(ns, QStringLiteral("Folders")).front(), QString(),
         [&](const OleRef& folder, const QString& path) {
             for (const OleRef& item : Elements(folder, QStringLiteral("Items"))) {
                 for (const OleRef& attachment : Elements(item, QStringLiteral("Attachments"))) {
                     const QString file = dir.filePath(QStringLiteral("a"));
                     attachment.Call(QStringLiteral("SaveAsFile"), {file});
                     OleRef stream;
                     try {
                         stream = attachment.CallObject(QStringLiteral("OpenData"));
                     } catch (const EOleException&) {
                         ++notStreamed; // embedded items
                         continue;
                     }
                     // A piece size that is no divisor of the block size.
                     const QByteArray data = ReadStream(stream, 5000);
                     EXPECT_EQ(data, ReadFile(file)) << path.toStdString();
                     ++streamed;
                     if (data.size() > 8176)
                         ++multiBlock;
                 }
             }
         });
    EXPECT_GT(streamed, 0);
    EXPECT_GT(multiBlock, 0); // data trees of more than one block were read
    EXPECT_EQ(streamed + notStreamed, 70);
}

TEST_F(BlocksTest, ADamagedImageIsRefusedOrReportedNeverMisread)
{
    const QByteArray image = ReadFile(SamplePath());
    ASSERT_GT(image.size(), 4096);
    auto over = [](const QByteArray& bytes) {
        return [bytes](quint64 offset, char* buffer, qsizetype size) {
            if (offset > quint64(bytes.size()) || quint64(size) > bytes.size() - offset)
                return false;
            memcpy(buffer, bytes.constData() + offset, size_t(size));
            return true;
        };
    };
    EXPECT_NE(OutlookPst::BlockFile::Open(over(image)), nullptr);
    QByteArray header = image;
    header[100] = char(header[100] ^ 1); // inside the header's checksummed range
    EXPECT_EQ(OutlookPst::BlockFile::Open(over(header)), nullptr);
    EXPECT_EQ(OutlookPst::BlockFile::Open(over(image.left(300))), nullptr);
    QByteArray ansi = image;
    ansi[10] = 14; // the 8-bit format's version
    EXPECT_EQ(OutlookPst::BlockFile::Open(over(ansi)), nullptr);
}
