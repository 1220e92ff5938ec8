#include "app/MailSelection.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

class Rows : public IMailRows {
public:
    explicit Rows(std::vector<bool> checks) : FChecks(std::move(checks)) {}
    int RowCount() const override { return static_cast<int>(FChecks.size()); }
    bool IsRowChecked(int row) const override { return FChecks[static_cast<std::size_t>(row)]; }
    void SetRowChecked(int row, bool checked) override { FChecks[static_cast<std::size_t>(row)] = checked; }
    std::vector<bool> FChecks;
};

std::vector<int> Selected(const TMailSelection& s, int upTo)
{
    std::vector<int> out;
    for (int i = 0; i < upTo; ++i)
        if (s.IsSelected(i))
            out.push_back(i);
    return out;
}

} // namespace

TEST(MailSelectionTest, States)
{
    TMailSelection s;
    EXPECT_EQ(s.GetState(), ssAll);
    EXPECT_TRUE(s.IsSelected(1000));
    EXPECT_EQ(s.SelectedCount(), 0); // callers convert ssAll first
    s.SelectRange(3);
    EXPECT_EQ(s.GetState(), ssIndividual);
    EXPECT_EQ(s.SelectedCount(), 3);
    s.SetSelected(1, false);
    EXPECT_EQ(Selected(s, 5), (std::vector<int>{0, 2}));
    s.SetState(ssIndividual); // unchanged state keeps the set
    EXPECT_EQ(s.SelectedCount(), 2);
    s.SetState(ssNone);
    EXPECT_EQ(s.SelectedCount(), 0);
    EXPECT_TRUE(s.GetIndices().empty());
    s.SetSelected(4, true);
    EXPECT_EQ(Selected(s, 6), (std::vector<int>{4}));
    s.SelectRange(0);
    EXPECT_EQ(s.SelectedCount(), 0);
}

TEST(MailSelectionTest, SaveAndRestoreChecks)
{
    TMailSelections selections;
    const QString path = QStringLiteral("\\P\\Inbox");
    Rows rows({true, false, true});
    SaveChecks(selections, path, rows, 3);
    EXPECT_EQ(selections[path].GetState(), ssIndividual);
    EXPECT_EQ(Selected(selections[path], 10), (std::vector<int>{0, 2}));

    Rows shown({false, false, false});
    RestoreChecks(selections, path, shown);
    EXPECT_EQ(shown.FChecks, (std::vector<bool>{true, false, true}));

    // No rows on screen: the entry is left as it was.
    Rows none({});
    selections[QStringLiteral("\\Empty")].SetState(ssNone);
    SaveChecks(selections, QStringLiteral("\\Empty"), none, 0);
    EXPECT_EQ(selections[QStringLiteral("\\Empty")].GetState(), ssNone);
}

TEST(MailSelectionTest, CancelledLoadKeepsTheMailsBeyondTheRowsShown)
{
    TMailSelections selections;
    const QString all = QStringLiteral("\\All");
    Rows partial({true, false}); // two of five mails were listed
    SaveChecks(selections, all, partial, 5);
    EXPECT_EQ(Selected(selections[all], 10), (std::vector<int>{0, 2, 3, 4}));

    const QString none = QStringLiteral("\\None");
    selections[none].SetState(ssNone);
    Rows ticked({false, true});
    SaveChecks(selections, none, ticked, 5);
    EXPECT_EQ(Selected(selections[none], 10), (std::vector<int>{1}));

    const QString some = QStringLiteral("\\Some");
    selections[some].SelectRange(0);
    selections[some].SetSelected(4, true);
    Rows first({true});
    SaveChecks(selections, some, first, 5);
    EXPECT_EQ(Selected(selections[some], 10), (std::vector<int>{0, 4}));
}
