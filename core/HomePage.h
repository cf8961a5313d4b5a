#pragma once

// Where the program lives on the web, and the read-me file that comes with it.
inline constexpr const char kHomePageUrl[] = "https://scoutwire.example.org/";
inline constexpr const char kReadMeFile[] = "README.md";
