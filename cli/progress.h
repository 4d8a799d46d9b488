// A one-line progress bar on standard error while records are loaded:
// records done, records per second and, when the total is known, a bar and
// the time left. Shown only on a terminal; on a pipe it prints nothing.
#ifndef CLI_PROGRESS_H
#define CLI_PROGRESS_H

#include <chrono>
#include <cstdio>
#include <string>

namespace cli {

class Progress {
public:
    // total 0: unknown. enabled false: never draws.
    Progress(std::FILE* terminal, unsigned long total, bool enabled);
    ~Progress();

    void update(unsigned long done);
    // Removes the line (before other output, and at the end).
    void clear();

    // The line for a state, at most width columns; public for the tests.
    static std::string line(unsigned long done, unsigned long total, double seconds, int width);

private:
    std::FILE* terminal_;
    unsigned long total_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace cli

#endif
