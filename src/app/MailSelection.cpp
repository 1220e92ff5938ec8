#include "MailSelection.h"

void TMailSelection::SetState(TSelectionState state)
{
    if (state == State)
        return;
    State = state;
    if (state == ssAll || state == ssNone)
        Indices.clear();
}

void TMailSelection::SelectRange(int count)
{
    SetState(ssIndividual);
    Indices.clear();
    for (int i = 0; i < count; ++i)
        Indices.insert(i);
}

bool TMailSelection::IsSelected(int index) const
{
    switch (State) {
    case ssAll:
        return true;
    case ssNone:
        return false;
    case ssIndividual:
        break;
    }
    return Indices.count(index) > 0;
}

void TMailSelection::SetSelected(int index, bool selected)
{
    SetState(ssIndividual);
    if (selected)
        Indices.insert(index);
    else
        Indices.erase(index);
}

int TMailSelection::SelectedCount() const
{
    return State == ssNone ? 0 : static_cast<int>(Indices.size());
}

void SaveChecks(TMailSelections& selections, const QString& path, const IMailRows& rows,
                int folderItemCount)
{
    TMailSelection& selection = selections[path];
    const int count = rows.RowCount();
    if (count <= 0)
        return;
    if (selection.GetState() == ssAll && folderItemCount > count)
        selection.SelectRange(folderItemCount);
    for (int i = 0; i < count; ++i)
        selection.SetSelected(i, rows.IsRowChecked(i));
}

void RestoreChecks(TMailSelections& selections, const QString& path, IMailRows& rows)
{
    const TMailSelection& selection = selections[path];
    for (int i = 0; i < rows.RowCount(); ++i)
        rows.SetRowChecked(i, selection.IsSelected(i));
}
