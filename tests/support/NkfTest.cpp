#include "support/Nkf.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

TEST(NkfTest, DefaultNameStandsForTheLibraryBesideTheExecutable)
{
    const QString resolved = TNkfDllAutoHandle::ResolveLibraryPath(QString());
    EXPECT_EQ(QFileInfo(resolved).fileName(), QStringLiteral("libnkf32.so"));
    EXPECT_TRUE(QFileInfo::exists(resolved)) << resolved.toStdString();
    EXPECT_EQ(TNkfDllAutoHandle::ResolveLibraryPath(QStringLiteral("nkf32.dll")), resolved);

    INkfPtr nkf = CreateNkf(QString());
    EXPECT_TRUE(nkf->GetEnabled());
    EXPECT_EQ(nkf->Init(), 0);
    EXPECT_EQ(nkf->GetNkfVersion(), QStringLiteral("2.1.5"));
}

TEST(NkfTest, MissingLibraryGivesInitMinusOneAndRaisesNothing)
{
    INkfPtr nkf;
    ASSERT_NO_THROW(nkf = CreateNkf(QStringLiteral("/nonexistent/libnkf32.so")));
    EXPECT_FALSE(nkf->GetEnabled());
    EXPECT_EQ(nkf->Init(), -1);
    EXPECT_EQ(nkf->GetNkfVersion(), QString());
    // Empty input needs no library; anything else names the missing library.
    EXPECT_EQ(nkf->ConvertToBytes(QByteArray(), "-s"), QByteArray());
    try {
        nkf->ConvertToBytes("abc", "-s");
        FAIL();
    } catch (const ENkfException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("NKF32.DLL not found."));
    }
}

TEST(NkfTest, LibraryWithoutTheFunctionsIsReported)
{
    // Any shared library without the converter's functions will do.
    INkfPtr nkf = CreateNkf(QStringLiteral("libdl.so.2"));
    ASSERT_TRUE(nkf->GetEnabled());
    try {
        nkf->ConvertToBytes("abc", "-s");
        FAIL();
    } catch (const ENkfException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("GetProcAddress(SetNkfOption) error."));
    }
}

TEST(NkfTest, SingletonLoadsOnce)
{
    TNkfSingleton* a = TNkfSingleton::GetInstance();
    EXPECT_EQ(a, TNkfSingleton::GetInstance());
    INkfPtr first = a->GetNkf();
    EXPECT_EQ(first, a->GetNkf());
    EXPECT_EQ(first->Init(), 0);
}

TEST(NkfTest, ConversionsAgreeWithDebiansNkf)
{
    INkfPtr nkf = CreateNkf(QString());
    // Shift_JIS with the Microsoft mapping holds half-width katakana and the
    // vendor characters; EUC-JP and ISO-2022-JP are tried on JIS X 0208 text.
    const QByteArray full = QStringLiteral("日本語のテキスト、ｶﾀｶﾅ ①髙 ABC\n").toUtf8();
    const QByteArray common =
        QStringLiteral("日本語のテキスト、カタカナ「ＡＢＣ」～ ABC\n").toUtf8();
    struct Case {
        QByteArray option;
        QStringList nkfArgs;
        QByteArray utf8;
    } cases[] = {
        {"-Ws -x", {QStringLiteral("-Ws"), QStringLiteral("-x")}, full},
        {"-We -x", {QStringLiteral("-We"), QStringLiteral("-x")}, common},
        {"-Wj -x", {QStringLiteral("-Wj"), QStringLiteral("-x")}, common},
    };
    for (const Case& c : cases) {
        const QByteArray& utf8 = c.utf8;
        int rc = 0;
        const QByteArray expected =
            TestSupport::Run(QStringLiteral("nkf"), c.nkfArgs, &rc, nullptr, utf8);
        ASSERT_EQ(rc, 0);
        const QByteArray converted = nkf->ConvertToBytes(utf8, c.option);
        EXPECT_EQ(converted.toHex(), expected.toHex()) << c.option.constData();
        // And back to Unicode with the input encoding detected, half-width
        // katakana widened and the JIS code of ～ read as the wave dash.
        const QByteArray back = TestSupport::Run(QStringLiteral("nkf"), {QStringLiteral("-w")}, &rc,
                                                 nullptr, converted);
        EXPECT_EQ(nkf->ConvertToString(converted, "-w"), QString::fromUtf8(back))
            << c.option.constData();
    }
}

TEST(NkfTest, RefusedOptionsAndConversions)
{
    INkfPtr nkf = CreateNkf(QString());
    try {
        nkf->ConvertToBytes("abc", "-q");
        FAIL();
    } catch (const ENkfException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("SetNkfOption error."));
    }
    try {
        nkf->ConvertToBytes("abc", "-w --no-such-option");
        FAIL();
    } catch (const ENkfException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("SetNkfOption error."));
    }
    // The converter stays usable after a refusal.
    EXPECT_EQ(nkf->ConvertToString(QStringLiteral("テスト"), "-Ww"), QStringLiteral("テスト"));
}
