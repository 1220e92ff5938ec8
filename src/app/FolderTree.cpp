#include "FolderTree.h"

#include "outlook/Folder.h"
#include "runtime/Exception.h"

#include <functional>

TFolderNode* TFolderTree::AddFolderNode(Outlook::TFolder* folder, TFolderNode* parent,
                                        TMailSelections& selections, bool topLevel)
{
    auto node = std::make_unique<TFolderNode>();
    node->Text = folder->GetName();
    node->Folder = folder;
    node->TopLevel = topLevel;
    node->Parent = parent;
    auto& siblings = parent ? parent->Children : FRoots;
    node->FRow = static_cast<int>(siblings.size());
    siblings.push_back(std::move(node));
    TFolderNode* added = siblings.back().get();
    const QString path = GetFolderPath(added);

    std::vector<Outlook::TFolder*> children;
    try {
        if (folder->GetDefaultItemType() != 0)
            return added; // not a mail folder: image 0 and no children
        added->ImageIndex = fiMailFolder;
        added->SelectedIndex = fiMailFolderSelected;
        selections.try_emplace(path);
        children = folder->GetFolders();
    } catch (const Exception& e) {
        FProblems.push_back({path, -1, e.Message()});
        return added;
    }
    for (Outlook::TFolder* child : children) {
        try {
            AddFolderNode(child, added, selections);
        } catch (const Exception& e) {
            FProblems.push_back({path, -1, e.Message()});
        }
    }
    return added;
}

void TFolderTree::Build(const std::vector<Outlook::TFolder*>& topFolders, TMailSelections& selections)
{
    for (Outlook::TFolder* folder : topFolders) {
        try {
            AddFolderNode(folder, FirstNode(), selections, true);
        } catch (const Exception& e) {
            FProblems.push_back({QString(), -1, e.Message()});
        }
    }
}

TFolderNode* TFolderTree::FindNode(const QString& path) const
{
    for (TFolderNode* node : Nodes()) {
        if (GetFolderPath(node) == path)
            return node;
    }
    return nullptr;
}

std::vector<TFolderNode*> TFolderTree::Nodes() const
{
    std::vector<TFolderNode*> out;
    std::function<void(TFolderNode*)> walk = [&](TFolderNode* node) {
        out.push_back(node);
        for (const auto& child : node->Children)
            walk(child.get());
    };
    for (const auto& root : FRoots)
        walk(root.get());
    return out;
}

QString GetFolderPath(const TFolderNode* node)
{
    QString path;
    for (; node; node = node->Parent) {
        path.prepend(QLatin1Char('\\') + node->Text);
        if (node->TopLevel)
            break;
    }
    return path;
}
