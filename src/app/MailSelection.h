// Which mails of a folder are ticked, remembered per folder path.
#pragma once

#include <QString>
#include <map>
#include <set>

enum TSelectionState : qint32 {
    ssIndividual = 0, // exactly the indices in the set are ticked
    ssAll = 1,        // every mail is ticked
    ssNone = 2,       // no mail is ticked
};

class TMailSelection {
public:
    TSelectionState GetState() const { return State; }
    // Switching to ssAll or ssNone empties the set; to ssIndividual keeps it.
    void SetState(TSelectionState state);
    // ssIndividual with the indices 0 .. count - 1.
    void SelectRange(int count);
    bool IsSelected(int index) const;
    void SetSelected(int index, bool selected);
    // 0 for ssNone and, before conversion, for ssAll.
    int SelectedCount() const;
    const std::set<qint32>& GetIndices() const { return Indices; }

private:
    TSelectionState State = ssAll;
    std::set<qint32> Indices;
};

// Folder path to its selection, in ordinal order of the paths.
using TMailSelections = std::map<QString, TMailSelection>;

// The rows of a mail list on screen, in the folder's item order: row i shows item i.
class IMailRows {
public:
    virtual ~IMailRows() = default;
    virtual int RowCount() const = 0;
    virtual bool IsRowChecked(int row) const = 0;
    virtual void SetRowChecked(int row, bool checked) = 0;
};

// Records the ticks on screen under the path. Mails beyond the rows shown (a load
// cancelled part way) keep the state they had: ticked when the folder was fully
// ticked, unticked when none was, as they were otherwise. No rows: unchanged.
void SaveChecks(TMailSelections& selections, const QString& path, const IMailRows& rows,
                int folderItemCount);

// Sets every row's tick from the selection recorded under the path.
void RestoreChecks(TMailSelections& selections, const QString& path, IMailRows& rows);
