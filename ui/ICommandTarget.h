#pragma once

// A pane that takes part in command routing: the main window offers each
// command to the active pane first, then handles it itself.
class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // True when the command was handled here.
    virtual bool OnCommand(int id) = 0;
    // True when this pane decides the command's state (enabled, checked).
    virtual bool OnUpdateCommand(int id, bool& enabled, bool& checked) {
        (void)id;
        (void)enabled;
        (void)checked;
        return false;
    }
};
