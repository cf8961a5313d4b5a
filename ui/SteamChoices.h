#pragma once

#include <span>

class QComboBox;

// The regions of the Steam master server and the app ids of the Half-Life
// games, as the list dialogs offer them.
struct SteamChoice {
    int value;
    const char* label;
};

// "All regions" (0xFF) first, then the master's region numbers 0 to 7.
std::span<const SteamChoice> SteamRegions();
// "None" (-1) first, then the app ids of Half-Life and its mods.
std::span<const SteamChoice> SteamAppIds();

// Fills a selection-only combo box with the choices and selects the one of
// the given value; a value the list does not have (set by another program or
// by hand in the settings file) gets an item of its own, so that it is kept.
void FillSteamChoices(QComboBox* combo, std::span<const SteamChoice> choices, int current);
// The value of the selected item.
int SteamChoiceValue(const QComboBox* combo);
