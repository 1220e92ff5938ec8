// The converter's operations against a recording stand-in library: the option
// each operation passes, the form of its input and of its result, the order of
// the library calls and every failure message.
#include "TestSupport.h"
#include "support/Nkf.h"

#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Result {
    char kind; // b: bytes, r: byte string, t: text
    QByteArray bytes;
};
Result R(const TBytes& b)
{
    return {'b', b};
}
Result R(const RawByteString& s)
{
    return {'r', s.Data};
}
Result R(const QString& t)
{
    return {'t', t.toUtf8()};
}

class NkfOperationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QByteArray path =
            (TestSupport::BinaryDir() + QStringLiteral("/libfakenkf.so")).toUtf8();
        nkf = CreateNkf(QString::fromUtf8(path));
        ASSERT_TRUE(nkf->GetEnabled());
        handle = dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(handle, nullptr);
        reset = reinterpret_cast<void (*)(int)>(dlsym(handle, "FakeNkfReset"));
        log = reinterpret_cast<const char* (*)()>(dlsym(handle, "FakeNkfLog"));
        ASSERT_TRUE(reset && log);
        reset(0);
    }
    void TearDown() override
    {
        if (handle)
            dlclose(handle);
    }
    QByteArray Log() const { return QByteArray(log()); }
    QString FailureOf(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const ENkfException& e) {
            return e.Message();
        }
        return QString();
    }

    INkfPtr nkf;
    void* handle = nullptr;
    void (*reset)(int) = nullptr;
    const char* (*log)() = nullptr;
};

TEST_F(NkfOperationsTest, EachOperationPassesItsOptionAndInputForm)
{
    const QString text = QStringLiteral("かなｶﾅ");
    const QByteArray utf8 = text.toUtf8();
    const TBytes bytes("\x82\xa9\x82\xc8");
    const RawByteString raw(bytes);
    struct Row {
        const char* name;
        std::function<Result()> call;
        char kind;
        QByteArray option;
        QByteArray input;
    } rows[] = {
        {"ConvertToBytes", [&] { return R(nkf->ConvertToBytes(bytes, "-x")); }, 'b', "-x", bytes},
        {"ConvertToRawByteString", [&] { return R(nkf->ConvertToRawByteString(bytes, "-x")); }, 'r',
         "-x", bytes},
        {"ConvertToString(text)", [&] { return R(nkf->ConvertToString(text, "-x")); }, 't', "-x",
         utf8},
        {"ConvertToString(bytes)", [&] { return R(nkf->ConvertToString(bytes, "-x")); }, 't', "-x",
         bytes},
        {"ToHiragana", [&] { return R(nkf->ToHiragana(text)); }, 't', "-wWx --hiragana", utf8},
        {"ToKatakana", [&] { return R(nkf->ToKatakana(text)); }, 't', "-wWx --katakana", utf8},
        {"ToHankakuKatakana", [&] { return R(nkf->ToHankakuKatakana(text)); }, 't', "-wW -Z4",
         utf8},
        {"ToZenkakuKatakana", [&] { return R(nkf->ToZenkakuKatakana(text)); }, 't', "-wW -X", utf8},
        {"ToHankaku", [&] { return R(nkf->ToHankaku(text)); }, 't', "-wW -Z1", utf8},
        {"ToSjisBytes", [&] { return R(nkf->ToSjisBytes(bytes)); }, 'b', "-s", bytes},
        {"ToSjisString(bytes)", [&] { return R(nkf->ToSjisString(bytes)); }, 'r', "-s", bytes},
        {"ToSjisString(raw)", [&] { return R(nkf->ToSjisString(raw)); }, 'r', "-s", bytes},
        {"ToSjisString(text)", [&] { return R(nkf->ToSjisString(text)); }, 'r', "-Ws", utf8},
        {"ToJisBytes", [&] { return R(nkf->ToJisBytes(bytes)); }, 'b', "-j", bytes},
        {"ToJisString(bytes)", [&] { return R(nkf->ToJisString(bytes)); }, 'r', "-j", bytes},
        {"ToJisString(text)", [&] { return R(nkf->ToJisString(text)); }, 'r', "-Wj --ms-ucs-map",
         utf8},
        {"ToEucBytes", [&] { return R(nkf->ToEucBytes(bytes)); }, 'b', "-e", bytes},
        {"ToEucString(bytes)", [&] { return R(nkf->ToEucString(bytes)); }, 'r', "-e", bytes},
        {"ToEucString(text)", [&] { return R(nkf->ToEucString(text)); }, 'r', "-We --ms-ucs-map",
         utf8},
        {"ToUTF8Bytes", [&] { return R(nkf->ToUTF8Bytes(bytes)); }, 'b', "-w", bytes},
        {"ToUTF8String(bytes)", [&] { return R(nkf->ToUTF8String(bytes)); }, 'r', "-w", bytes},
        {"ToUTF8String(text)", [&] { return R(nkf->ToUTF8String(text)); }, 'r', "-Ww --ms-ucs-map",
         utf8},
        {"ToUnicodeString(bytes)", [&] { return R(nkf->ToUnicodeString(bytes)); }, 't', "-w",
         bytes},
        {"ToUnicodeString(raw)", [&] { return R(nkf->ToUnicodeString(raw)); }, 't', "-w", bytes},
        {"B64DecodeToBytes", [&] { return R(nkf->B64DecodeToBytes(text)); }, 'b', "-mB", utf8},
        {"B64DecodeToRawByteString", [&] { return R(nkf->B64DecodeToRawByteString(text)); }, 'r',
         "-mB", utf8},
        {"QPDecodeToBytes", [&] { return R(nkf->QPDecodeToBytes(text)); }, 'b', "-mQ", utf8},
        {"QPDecodeToRawByteString", [&] { return R(nkf->QPDecodeToRawByteString(text)); }, 'r',
         "-mQ", utf8},
        {"B64HeaderEncodeJisBytes", [&] { return R(nkf->B64HeaderEncodeJisBytes(text)); }, 'b',
         "-MWj --ms-ucs-map", utf8},
        {"B64HeaderEncodeJisString", [&] { return R(nkf->B64HeaderEncodeJisString(text)); }, 'r',
         "-MWj --ms-ucs-map", utf8},
        {"B64HeaderEncodeUtf8Bytes", [&] { return R(nkf->B64HeaderEncodeUtf8Bytes(text)); }, 'b',
         "-MWw", utf8},
        {"B64HeaderEncodeUtf8String", [&] { return R(nkf->B64HeaderEncodeUtf8String(text)); }, 'r',
         "-MWw", utf8},
        {"B64HeaderDecodeString(text)", [&] { return R(nkf->B64HeaderDecodeString(text)); }, 't',
         "-mWw --ms-ucs-map", utf8},
        {"B64HeaderDecodeString(raw)", [&] { return R(nkf->B64HeaderDecodeString(raw)); }, 't',
         "-mw --ms-ucs-map", bytes},
    };
    for (const Row& row : rows) {
        reset(0);
        const Result result = row.call();
        EXPECT_EQ(result.kind, row.kind) << row.name;
        const QByteArray echoed = row.option + "|" + row.input;
        // A text result is the echo read as UTF-8.
        EXPECT_EQ(result.bytes, row.kind == 't' ? QString::fromUtf8(echoed).toUtf8() : echoed)
            << row.name;
        EXPECT_EQ(Log(), "S:" + row.option + ";C:null:0;S:" + row.option + ";C:buf:" +
                             QByteArray::number(row.option.size() + 1 + row.input.size()) + ";")
            << row.name;
    }
}

TEST_F(NkfOperationsTest, CodePageChoosesTheInputOption)
{
    const TBytes bytes("abc");
    const struct {
        int codePage;
        QByteArray option;
    } cases[] = {{932, "-wS"},   {1200, "-wW16L"}, {1201, "-wW16B"}, {20932, "-wE"}, {50220, "-wJ"},
                 {65001, "-wW"}, {0, "-w"},        {437, "-w"},      {1252, "-w"}};
    for (const auto& c : cases) {
        EXPECT_EQ(nkf->ToUnicodeString(bytes, c.codePage), QString::fromUtf8(c.option + "|abc"))
            << c.codePage;
        EXPECT_EQ(nkf->ToUnicodeString(RawByteString(bytes), c.codePage),
                  QString::fromUtf8(c.option + "|abc"))
            << c.codePage;
        EXPECT_EQ(IsEnabledCodePage(c.codePage), c.option != "-w") << c.codePage;
    }
    // The header encoders take the ISO-2022-JP form for 50220 only.
    for (int codePage : {65001, 932, 0, 20932}) {
        EXPECT_EQ(nkf->B64HeaderEncodeBytes(QStringLiteral("x"), codePage), TBytes("-MWw|x"))
            << codePage;
        EXPECT_EQ(nkf->B64HeaderEncodeString(QStringLiteral("x"), codePage),
                  RawByteString("-MWw|x"))
            << codePage;
    }
    EXPECT_EQ(nkf->B64HeaderEncodeBytes(QStringLiteral("x"), 50220), TBytes("-MWj --ms-ucs-map|x"));
    EXPECT_EQ(nkf->B64HeaderEncodeString(QStringLiteral("x"), 50220),
              RawByteString("-MWj --ms-ucs-map|x"));
}

TEST_F(NkfOperationsTest, DecodeToStringReadsTheDecodedBytesWithTheCodePage)
{
    EXPECT_EQ(nkf->B64DecodeToString(QStringLiteral("QQ=="), 932), QStringLiteral("-wS|-mB|QQ=="));
    EXPECT_EQ(nkf->QPDecodeToString(QStringLiteral("=41"), 50220), QStringLiteral("-wJ|-mQ|=41"));
    // Code page 0: no code page, the library detects the encoding.
    reset(0);
    EXPECT_EQ(nkf->B64DecodeToString(QStringLiteral("QQ=="), 0), QStringLiteral("-w|-mB|QQ=="));
    EXPECT_EQ(QByteArray(log()), "S:-mB;C:null:0;S:-mB;C:buf:8;S:-w;C:null:0;S:-w;C:buf:11;");
}

TEST_F(NkfOperationsTest, ResultKeepsTheMeasuredSizeAndTextLosesTrailingNuls)
{
    // Mode 5 measures three bytes more than it writes.
    reset(5);
    EXPECT_EQ(nkf->ConvertToBytes(TBytes("a\0b", 3), "-w"), TBytes("a\0b\0\0\0", 6));
    reset(5);
    EXPECT_EQ(nkf->ConvertToRawByteString("ab", "-w"), RawByteString(TBytes("ab\0\0\0", 5)));
    reset(5);
    const QString text = nkf->ConvertToString(TBytes("a\0b", 3), "-w");
    EXPECT_EQ(text, QString::fromUtf8("a\0b", 3)); // a NUL inside the text stays
    reset(5);
    EXPECT_EQ(nkf->B64DecodeToString(QStringLiteral("xy"), 0), QStringLiteral("xy"));
    reset(5);
    EXPECT_EQ(nkf->QPDecodeToString(QStringLiteral("xy"), 65001), QStringLiteral("xy"));
}

TEST_F(NkfOperationsTest, EachFailureHasItsMessageAndLeavesTheConverterUsable)
{
    const struct {
        int mode;
        const char* message;
        const char* log;
    } cases[] = {
        {1, "SetNkfOption error.", "S:-s;"},
        {2, "SetNkfOption error.", "S:-s;C:null:0;S:-s;"},
        {3, "NkfConvertSafe error.", "S:-s;C:null:0;"},
        {4, "NkfConvertSafe error.", "S:-s;C:null:0;S:-s;C:buf:6;"},
    };
    for (const auto& c : cases) {
        reset(c.mode);
        EXPECT_EQ(FailureOf([&] { nkf->ToSjisBytes("abc"); }), QString::fromUtf8(c.message))
            << c.mode;
        EXPECT_EQ(Log(), QByteArray(c.log)) << c.mode;
    }
    reset(0);
    EXPECT_EQ(nkf->ToSjisBytes("abc"), TBytes("-s|abc"));
    // Empty input makes no call at all.
    reset(3);
    EXPECT_EQ(nkf->ToHiragana(QString()), QString());
    EXPECT_EQ(nkf->B64DecodeToString(QString(), 932), QString());
    EXPECT_EQ(Log(), QByteArray());
}

TEST(NkfFreeFunctionsTest, BytesToRawByteStringCopiesEveryByte)
{
    const TBytes bytes("\x00\xff\x1b$B", 5);
    EXPECT_EQ(BytesToRawByteString(bytes).Data, bytes);
    EXPECT_EQ(BytesToRawByteString(TBytes()).Data, TBytes());
}

} // namespace
