#include "ui/SteamChoices.h"

#include <QComboBox>

namespace {

constexpr SteamChoice kRegions[] = {
    {0xFF, "All regions"}, {0, "US east"},     {1, "US west"},
    {2, "South America"},  {3, "Europe"},      {4, "Asia"},
    {5, "Australia"},      {6, "Middle East"}, {7, "Africa"},
};

constexpr SteamChoice kAppIds[] = {
    {-1, "None"},
    {70, "Half-Life (70)"},
    {10, "Counter-Strike (10)"},
    {20, "Team Fortress Classic (20)"},
    {30, "Day of Defeat (30)"},
    {40, "Deathmatch Classic (40)"},
    {50, "Opposing Force (50)"},
    {60, "Ricochet (60)"},
    {80, "Condition Zero (80)"},
};

} // namespace

std::span<const SteamChoice> SteamRegions() {
    return kRegions;
}
std::span<const SteamChoice> SteamAppIds() {
    return kAppIds;
}

void FillSteamChoices(QComboBox* combo, std::span<const SteamChoice> choices, int current) {
    combo->clear();
    for (const SteamChoice& choice : choices)
        combo->addItem(QString::fromLatin1(choice.label), choice.value);
    int index = combo->findData(current);
    if (index < 0) {
        combo->addItem(QString::number(current), current);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

int SteamChoiceValue(const QComboBox* combo) {
    return combo->currentData().toInt();
}
