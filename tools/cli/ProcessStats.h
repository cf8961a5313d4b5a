#pragma once

// What a long run watches for growth: resident memory, open file
// descriptors and, among them, sockets (Linux /proc; zeros elsewhere).
struct ProcessStats {
    long rssKb = 0;
    int fds = 0;
    int sockets = 0;

    static ProcessStats Read();
};
