#pragma once

// Raises the process's soft limit of open files to its hard limit, so that
// a refresh with thousands of queries in flight is not refused sockets at
// the default 1024. Returns the soft limit now in force (-1 where the
// system has no such limit).
long RaiseOpenFileLimit();
