#pragma once

#include "ui/TreeItemData.h"

// Told of every new selection in the server tree.
class ITreeSelectionListener {
public:
    virtual ~ITreeSelectionListener() = default;
    virtual void OnTreeSelection(const TreeItemData& item) = 0;
};
