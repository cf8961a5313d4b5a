#pragma once

#include <QString>
#include <string>

// Record strings hold bytes as received or stored. For display, text that is
// valid UTF-8 is read as UTF-8 and anything else as Windows-1252, the code
// page the game's servers and the old files used.
QString DisplayText(const std::string& bytes);

// The other way, for text typed by the user: Windows-1252 where every
// character fits, otherwise UTF-8.
std::string StoredText(const QString& text);
