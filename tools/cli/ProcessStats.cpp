#include "tools/cli/ProcessStats.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

ProcessStats ProcessStats::Read() {
    ProcessStats stats;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmRSS: %ld kB", &stats.rssKb) == 1)
                break;
        std::fclose(status);
    }
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return stats;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        ++stats.fds;
        char target[64] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (::readlink(path.c_str(), target, sizeof target - 1) > 0 &&
            std::strncmp(target, "socket:", 7) == 0)
            ++stats.sockets;
    }
    ::closedir(dir);
    return stats;
}
