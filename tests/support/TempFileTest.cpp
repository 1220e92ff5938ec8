#include "support/TempFile.h"
#include "runtime/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points TMPDIR (the user's temporary folder) at a fresh folder for one test.
class TempFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FRoot.isValid());
        Root = FRoot.path();
        Tmp = Root + QStringLiteral("/tmp");
        ASSERT_TRUE(QDir().mkdir(Tmp));
        const char* old = std::getenv("TMPDIR");
        FHadOld = old != nullptr;
        if (old)
            FOld = old;
        setenv("TMPDIR", QFile::encodeName(Tmp).constData(), 1);
    }
    void TearDown() override
    {
        if (FHadOld)
            setenv("TMPDIR", FOld.constData(), 1);
        else
            unsetenv("TMPDIR");
    }

    static void Write(const QString& path, const QByteArray& data)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList Entries(const QString& dir) const
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                   QDir::NoDotAndDotDot);
    }

    QTemporaryDir FRoot;
    QString Root;
    QString Tmp;
    QByteArray FOld;
    bool FHadOld = false;
};

} // namespace

TEST_F(TempFileTest, TempFilesAreNewEmptyAndUniquelyNamed)
{
    const QString a = TFileUtils::CreateTempFileName(Root, QStringLiteral("abcdef"));
    const QString b = TFileUtils::CreateTempFileName(Root, QStringLiteral("abcdef"));
    EXPECT_NE(a, b);
    const QRegularExpression form(QStringLiteral("^abc[0-9A-F]+\\.tmp$"));
    for (const QString& path : {a, b}) {
        const QFileInfo info(path);
        EXPECT_EQ(info.path(), Root);
        EXPECT_TRUE(info.isFile());
        EXPECT_EQ(info.size(), 0);
        EXPECT_TRUE(form.match(info.fileName()).hasMatch()) << path.toStdString();
    }
    const QFileInfo plain(TFileUtils::CreateTempFileName(QString(), QString()));
    EXPECT_EQ(plain.path(), Tmp);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^tmp[0-9A-F]+\\.tmp$"))
                    .match(plain.fileName())
                    .hasMatch());
    const QFileInfo noPrefix(TFileUtils::CreateTempFileName(Root + QLatin1Char('/'), QString()));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]+\\.tmp$"))
                    .match(noPrefix.fileName())
                    .hasMatch());
    EXPECT_EQ(QFileInfo(TFileUtils::CreateTempFileName(QString(), QStringLiteral("x"))).path(),
              Tmp);
}

TEST_F(TempFileTest, FailuresNameTheFolder)
{
    const QString missing = Root + QStringLiteral("/missing");
    try {
        TFileUtils::CreateTempFileName(missing, QString());
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("一時ファイルの作成に失敗しました。") +
                                   SysErrorMessage(ENOENT) + QStringLiteral("\r\n") + missing);
    }
    EXPECT_THROW(TFileUtils::CreateTempDirectory(missing, QString()), EInOutError);
    ASSERT_TRUE(QDir(Tmp).removeRecursively());
    try {
        TFileUtils::CreateTempFileName(QString(), QString());
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), SysErrorMessage(ENOENT));
    }
}

TEST_F(TempFileTest, TempDirectoryGoesWithEverythingInItButNothingOutside)
{
    const QString outside = Root + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkdir(outside));
    Write(outside + QStringLiteral("/keep.txt"), "keep");
    QString path;
    {
        ITempDirectoryPtr dir = TUtility::CreateTempDirectory(false);
        path = dir->GetPath();
        EXPECT_TRUE(path.endsWith(QLatin1Char('/')));
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^tmp[0-9A-F]+\\.tmp$"))
                        .match(QFileInfo(path.chopped(1)).fileName())
                        .hasMatch());
        EXPECT_EQ(QFileInfo(path.chopped(1)).path(), Tmp);
        EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
        Write(TFileUtils::CreateTempFileName(path, QString()), "attachment");
        ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("sub/deeper")));
        Write(path + QStringLiteral("sub/deeper/file"), "x");
        ASSERT_TRUE(QFile::link(outside, path + QStringLiteral("link-to-folder")));
        ASSERT_TRUE(QFile::link(outside + QStringLiteral("/keep.txt"),
                                path + QStringLiteral("sub/link-to-file")));
        ITempDirectoryPtr copy = dir;
        dir.reset();
        EXPECT_TRUE(QFileInfo::exists(path)); // a reference is left
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(Entries(Tmp).isEmpty());
    EXPECT_EQ(Read(outside + QStringLiteral("/keep.txt")), "keep");

    // The second form makes the folder in the given one, without a prefix.
    {
        ITempDirectoryPtr dir = TUtility::CreateTempDirectory(false, Root);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]+\\.tmp$"))
                        .match(QFileInfo(dir->GetPath().chopped(1)).fileName())
                        .hasMatch());
        EXPECT_EQ(QFileInfo(dir->GetPath().chopped(1)).path(), Root);
    }
    EXPECT_EQ(Entries(Root), (QStringList{QStringLiteral("outside"), QStringLiteral("tmp")}));
}

TEST_F(TempFileTest, TargetTempFileReplacesTheTargetOnlyOnCommit)
{
    const QString target = Root + QStringLiteral("/メール.eml");
    Write(target, "old");
    {
        TTargetTempFile temp(target);
        EXPECT_EQ(QFileInfo(temp.GetPath()).path(), Root);
        EXPECT_TRUE(temp.GetPath().endsWith(QStringLiteral(".tmp")));
        temp.Write("half");
        EXPECT_EQ(Read(target), "old");
    }
    EXPECT_EQ(Entries(Root), (QStringList{QStringLiteral("tmp"), QStringLiteral("メール.eml")}));
    EXPECT_EQ(Read(target), "old");
    {
        TTargetTempFile temp(target);
        temp.Write("new ");
        temp.Write("content");
        temp.Commit();
    }
    EXPECT_EQ(Read(target), "new content");
    EXPECT_EQ(Entries(Root).size(), 2);
    // Written by another writer through the path.
    {
        TTargetTempFile temp(target);
        Write(temp.GetPath(), "by path");
        temp.Commit();
    }
    EXPECT_EQ(Read(target), "by path");
    // A target that cannot be replaced: the error names it, the temporary file goes.
    const QString folder = Root + QStringLiteral("/folder.eml");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inside")));
    try {
        TTargetTempFile temp(folder);
        temp.Write("x");
        temp.Commit();
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.Message().contains(folder)) << e.what();
    }
    EXPECT_EQ(Entries(Root).size(), 3);
    EXPECT_THROW(TTargetTempFile(Root + QStringLiteral("/missing/a.eml")), EInOutError);
}

// A file written only through Write has no name until it is committed, and is
// then given its name without a temporary name beside it where it can be.
TEST_F(TempFileTest, TargetTempFileWrittenOnlyThroughWriteAppearsOnlyOnCommit)
{
    // Unnamed files need the file system's support, and /proc to name them.
    const int probe =
        ::open(QFile::encodeName(Root).constData(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
    if (probe >= 0)
        ::close(probe);
    if (probe < 0 || ::access("/proc/self/fd", X_OK) != 0)
        GTEST_SKIP() << "no unnamed files here";
    const QString taken = Root + QStringLiteral("/件名.eml");
    const QString free = Root + QStringLiteral("/件名(2).eml");
    Write(taken, "old");
    const QStringList before = Entries(Root);
    {
        TTargetTempFile temp(taken, TTargetTempFile::TUse::ByWrite);
        temp.Write("half");
        EXPECT_EQ(Entries(Root), before);
    }
    EXPECT_EQ(Entries(Root), before);
    {
        TTargetTempFile temp(taken, TTargetTempFile::TUse::ByWrite);
        temp.Write("new ");
        EXPECT_FALSE(temp.CommitNew(taken));
        EXPECT_EQ(Read(taken), "old");
        temp.Write("mail");
        EXPECT_TRUE(temp.CommitNew(free));
    }
    EXPECT_EQ(Read(free), "new mail");
    EXPECT_EQ(Read(taken), "old");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(QFileInfo(free).permissions() & 0x0FFF,
              QFileInfo(taken).permissions() & 0x0FFF); // both made with 0666 less the umask
    {
        TTargetTempFile temp(taken, TTargetTempFile::TUse::ByWrite);
        temp.Write("replaced");
        temp.Commit();
    }
    EXPECT_EQ(Read(taken), "replaced");
    EXPECT_EQ(Entries(Root).size(), before.size() + 1);
    const QString folder = Root + QStringLiteral("/folder.eml");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inside")));
    try {
        TTargetTempFile temp(folder, TTargetTempFile::TUse::ByWrite);
        temp.Write("x");
        temp.Commit();
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.Message().contains(folder)) << e.what();
    }
    EXPECT_EQ(Entries(Root).size(), before.size() + 2);
    EXPECT_THROW(
        TTargetTempFile(Root + QStringLiteral("/missing/a.eml"), TTargetTempFile::TUse::ByWrite),
        EInOutError);
}

TEST_F(TempFileTest, TempDirectoryCanGoToTheTrash)
{
    const QString data = Root + QStringLiteral("/data"); // made by the trash move
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    QString path;
    {
        ITempDirectoryPtr dir = TUtility::CreateTempDirectory(true);
        path = dir->GetPath().chopped(1);
        Write(dir->GetPath() + QStringLiteral("a.txt"), "a");
    }
    if (old.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", old);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(Read(data + QStringLiteral("/Trash/files/") + QFileInfo(path).fileName() +
                   QStringLiteral("/a.txt")),
              "a");
}
