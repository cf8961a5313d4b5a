#pragma once

#include <QString>

namespace lab {

class Fleet;
struct LabOptions;

// Writes what the lab serves as JSON, for tests and benchmarks to compare
// with what a client shows. Strings that may hold non-ASCII bytes appear
// twice: as text read as Latin-1, and as hex of the raw bytes ("nameHex").
// Content is as the lab starts: draining servers lose players later.
namespace ManifestWriter {

bool Write(const Fleet& fleet, const LabOptions& options, const QString& path, QString& error);

} // namespace ManifestWriter

} // namespace lab
