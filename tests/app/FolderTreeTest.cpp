#include "app/FolderTree.h"
#include "fake/FakeAutomation.h"
#include "outlook/Folder.h"
#include "outlook/Outlook.h"

#include <gtest/gtest.h>

namespace {

QStringList Describe(const TFolderTree& tree)
{
    QStringList out;
    for (TFolderNode* node : tree.Nodes())
        out << QStringLiteral("%1 %2/%3").arg(GetFolderPath(node)).arg(node->ImageIndex).arg(node->SelectedIndex);
    return out;
}

} // namespace

TEST(FolderTreeTest, BuildsTheTreeAsTheWindowShowsIt)
{
    Fake::FakeOutlook fake;
    auto& personal = fake.AddFolder(nullptr, QStringLiteral("Personal"));
    auto& inbox = fake.AddFolder(&personal, QStringLiteral("Inbox"));
    fake.AddFolder(&inbox, QStringLiteral("Sub"));
    auto& calendar = fake.AddFolder(&personal, QStringLiteral("Calendar"), 1);
    fake.AddFolder(&calendar, QStringLiteral("Hidden"));
    auto& archive = fake.AddFolder(nullptr, QStringLiteral("Archive"));
    fake.AddFolder(&archive, QStringLiteral("Old"));
    TOutlook session{Automation::OleRef(fake.App)};

    TFolderTree tree;
    TMailSelections selections;
    tree.Build(session.GetFolders(), selections);

    // Later top-level folders hang below the first root, after its own
    // sub-folders, but their paths start at themselves.
    EXPECT_EQ(Describe(tree), QStringList({
                                  QStringLiteral("\\Personal 1/2"),
                                  QStringLiteral("\\Personal\\Inbox 1/2"),
                                  QStringLiteral("\\Personal\\Inbox\\Sub 1/2"),
                                  QStringLiteral("\\Personal\\Calendar 0/0"),
                                  QStringLiteral("\\Archive 1/2"),
                                  QStringLiteral("\\Archive\\Old 1/2"),
                              }));
    ASSERT_EQ(tree.Roots().size(), 1u);
    EXPECT_EQ(tree.Roots()[0]->Children.back()->Text, QStringLiteral("Archive"));
    // Every mail folder has a fully ticked selection; the calendar has none.
    EXPECT_EQ(selections.size(), 5u);
    EXPECT_EQ(selections.count(QStringLiteral("\\Personal\\Calendar")), 0u);
    EXPECT_EQ(selections[QStringLiteral("\\Archive\\Old")].GetState(), ssAll);

    // Every path of the tree resolves to the node's own folder.
    for (TFolderNode* node : tree.Nodes())
        EXPECT_EQ(session.FindFolder(GetFolderPath(node)), node->Folder) << GetFolderPath(node).toStdString();
    EXPECT_EQ(tree.FindNode(QStringLiteral("\\Archive\\Old"))->Text, QStringLiteral("Old"));
    EXPECT_EQ(tree.FindNode(QStringLiteral("\\Personal\\Archive")), nullptr);
}

TEST(FolderTreeTest, EmptySessionGivesAnEmptyTree)
{
    Fake::FakeOutlook fake;
    TOutlook session{Automation::OleRef(fake.App)};
    TFolderTree tree;
    TMailSelections selections;
    tree.Build(session.GetFolders(), selections);
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.FirstNode(), nullptr);
    EXPECT_TRUE(selections.empty());
}

TEST(FolderTreeTest, KnownPathsKeepTheirSelection)
{
    Fake::FakeOutlook fake;
    fake.AddFolder(nullptr, QStringLiteral("Personal"));
    TOutlook session{Automation::OleRef(fake.App)};
    TMailSelections selections;
    selections[QStringLiteral("\\Personal")].SetState(ssNone);
    TFolderTree tree;
    tree.Build(session.GetFolders(), selections);
    EXPECT_EQ(selections[QStringLiteral("\\Personal")].GetState(), ssNone);
}

TEST(FolderTreeTest, UnreadableFoldersAreLeftOutAndListed)
{
    Fake::FakeOutlook fake;
    auto& broken = fake.AddFolder(nullptr, QStringLiteral("Broken"));
    broken.Object->Fail(QStringLiteral("Name"), QStringLiteral("データファイルを開けません"));
    auto& personal = fake.AddFolder(nullptr, QStringLiteral("Personal"));
    auto& bad = fake.AddFolder(&personal, QStringLiteral("Bad"));
    bad.Object->Fail(QStringLiteral("Folders"), QStringLiteral("壊れています"));
    fake.AddFolder(&personal, QStringLiteral("Good"));
    TOutlook session{Automation::OleRef(fake.App)};
    TFolderTree tree;
    TMailSelections selections;
    tree.Build(session.GetFolders(), selections);
    EXPECT_EQ(Describe(tree), QStringList({QStringLiteral("\\Personal 1/2"), QStringLiteral("\\Personal\\Bad 1/2"),
                                           QStringLiteral("\\Personal\\Good 1/2")}));
    ASSERT_EQ(tree.Problems().size(), 2u);
    EXPECT_TRUE(tree.Problems()[0].Message.contains(QStringLiteral("データファイルを開けません")));
    EXPECT_EQ(tree.Problems()[1].FolderPath, QStringLiteral("\\Personal\\Bad"));
}
