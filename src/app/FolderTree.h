// The folder tree the main window shows and the exports walk: one node per
// Outlook folder, built from the session's folders.
#pragma once

#include "ErrorMail.h"
#include "MailSelection.h"

#include <QString>
#include <memory>
#include <vector>

namespace Outlook {
class TFolder;
}

// Image indices of the folder images.
enum TFolderImage {
    fiOtherFolder = 0, // a folder that holds no mail; its sub-folders are not shown
    fiMailFolder = 1,
    fiMailFolderSelected = 2,
};

class TFolderNode {
public:
    QString Text;
    Outlook::TFolder* Folder = nullptr; // owned by the Outlook session
    int ImageIndex = fiOtherFolder;
    int SelectedIndex = fiOtherFolder;
    // The node stands for one of the session's top-level folders; its path starts
    // at it even where the tree hangs it below the first root.
    bool TopLevel = false;
    TFolderNode* Parent = nullptr;
    std::vector<std::unique_ptr<TFolderNode>> Children;

    // Position among the parent's children (or among the roots).
    int Row() const { return FRow; }

private:
    friend class TFolderTree;
    int FRow = 0;
};

class TFolderTree {
public:
    // Adds the folder as the last child of parent (a root when parent is null) and,
    // for a mail folder, its whole sub-tree; records a fully ticked selection for
    // every mail folder whose path is new. Raises what reading the folder's name
    // raises; a sub-folder that cannot be read is left out and listed in Problems.
    TFolderNode* AddFolderNode(Outlook::TFolder* folder, TFolderNode* parent,
                               TMailSelections& selections, bool topLevel = false);

    // Builds the tree from the session's top-level folders: the first becomes the
    // root, every later one the last child of that root. A folder that cannot be
    // read (a damaged data file) is left out and listed in Problems; the others
    // are still shown.
    void Build(const std::vector<Outlook::TFolder*>& topFolders, TMailSelections& selections);

    // The folders left out of the tree, as records of the folder above them (or of
    // the folder itself when only its contents failed), with the error text.
    const std::vector<TErrorMail>& Problems() const { return FProblems; }

    void Clear()
    {
        FRoots.clear();
        FProblems.clear();
    }
    bool IsEmpty() const { return FRoots.empty(); }
    // The tree's first node, or null for an empty tree.
    TFolderNode* FirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }
    const std::vector<std::unique_ptr<TFolderNode>>& Roots() const { return FRoots; }

    // The node with this folder path, or null.
    TFolderNode* FindNode(const QString& path) const;
    // Every node, in tree order (depth first).
    std::vector<TFolderNode*> Nodes() const;

private:
    std::vector<std::unique_ptr<TFolderNode>> FRoots;
    std::vector<TErrorMail> FProblems;
};

// "\" and the text of every node from the path's start down to the node. A path
// starts at the nearest node that stands for a top-level folder, so \Archive\Inbox
// for a second data file, which the session's lookup by path resolves.
QString GetFolderPath(const TFolderNode* node);
