#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/ServerList.h"
#include "search/Query.h"
#include "search/SearchQuery.h"
#include "search/ServerFilter.h"

// The .scw document file: the bytes of the object archive the program has
// always written (little-endian integers, length-prefixed strings, class
// records and references). Reading and writing are pure functions over bytes
// so that they can be tested and fuzzed without files.

// What a file holds. A part that an older file lacks is absent (has* false)
// and keeps the document's current value.
struct ScwContents {
    std::vector<std::unique_ptr<ServerInfo>> servers; // in the file's order
    std::vector<std::unique_ptr<SearchQuery>> queries;
    bool hasFilter = false;
    ServerFilter filter;
    bool hasMasterFilter = false;
    ServerFilter masterFilter;
    bool hasFindQuery = false;
    Query findQuery;
};

// The format check made before opening: false when the file does not begin
// with the document's class record (the early form without it), true
// otherwise, including when it is too short to tell.
bool ScwHasHeader(std::span<const uint8_t> fileStart);

// The whole file as the program writes it: document schema 3 while every
// server speaks the old protocol, else schema 4, which appends each server's
// protocol and true group bits after the parts of schema 3 (a reader that
// knows only schema 3 skips them and sees Steam servers as WON ones).
// Schema 5, written only when some query or server is watched, appends the
// watch marks after that (a reader of schema 4 skips them).
std::vector<uint8_t> WriteScwFile(const OwningServerList& servers,
                                  const std::vector<std::unique_ptr<SearchQuery>>& queries,
                                  const ServerFilter& filter, const ServerFilter& masterFilter,
                                  const Query& findQuery);

// False for a damaged or foreign file ("Unexpected file format."); the
// contents are then empty. Never allocates more than the file could hold.
// Null tags and references to earlier objects count as damage (the program
// never writes them). So do bytes after the last part, except after a
// document schema above knownDocSchema, whose writer may have added parts
// of its own. UTF-16 strings are converted to Windows-1252, '?' for what it
// lacks. knownDocSchema reads a file the way an older program would.
constexpr uint16_t kScwDocSchema = 5;
bool ReadScwFile(std::span<const uint8_t> file, bool hasHeader, ScwContents& contents,
                 uint16_t knownDocSchema = kScwDocSchema);

// The join password as stored: byte i XOR (kScrambleMultiplier * i +
// kScrambleOffset) mod 256. The same call unscrambles. The stored text keeps
// the password's length even where a scrambled byte is 0. The multiplier is
// odd, so the key bytes repeat only every 256 positions. Files are readable
// only with these two values: never change them.
constexpr uint8_t kScrambleMultiplier = 0xA7;
constexpr uint8_t kScrambleOffset = 0x5C;
std::string ScramblePassword(const std::string& password);

// Replaces the file at path only once the whole new content is written
// (a temporary file beside it, then a rename), keeping its permissions. In a
// folder where no file can be added, an existing file the user may write is
// written in place.
bool SaveFileAtomically(const std::string& path, std::span<const uint8_t> bytes);
