// Document files as people pass them around.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/ScwFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    ScwContents contents;
    const bool ok = ReadScwFile(file, ScwHasHeader(file), contents);
    if (!ok && (!contents.servers.empty() || !contents.queries.empty()))
        __builtin_trap(); // a failed read leaves nothing behind
    if (ok) {
        // What was read writes again without trouble.
        OwningServerList list;
        for (auto& server : contents.servers)
            list.Append(std::move(server));
        (void)WriteScwFile(list, contents.queries, contents.filter, contents.masterFilter,
                           contents.findQuery);
    }
    return 0;
}
