#include "debug_log.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace kandrel::log {
namespace {

std::atomic<bool> debug_flag{false};

// Fills each "%s" of format with the next argument (an absent argument reads
// as the empty text); every other character, "%" included, is copied. The
// result is cut to fit the line area.
void fill(char (&line)[kLineArea], const char* format, const char* first, const char* second)
{
    const char* arguments[2] = {first, second};
    std::size_t used = 0;
    std::size_t next_argument = 0;
    auto append = [&](const char* text, std::size_t length) {
        const std::size_t room = kLineArea - 1 - used;
        const std::size_t take = length < room ? length : room;
        std::memcpy(line + used, text, take);
        used += take;
    };
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's' && next_argument < 2) {
            const char* argument = arguments[next_argument++];
            if (argument != nullptr) {
                append(argument, std::strlen(argument));
            }
            ++p;
        } else {
            append(p, 1);
        }
    }
    line[used] = '\0';
}

void emit(const char* format, const char* first, const char* second, bool fill_in) noexcept
{
    if (!enabled() || format == nullptr) {
        return;
    }
    char line[kLineArea];
    if (fill_in) {
        fill(line, format, first, second);
    } else {
        const std::size_t length = std::strlen(format);
        const std::size_t take = length < kLineArea - 1 ? length : kLineArea - 1;
        std::memcpy(line, format, take);
        line[take] = '\0';
    }
    std::FILE* file = std::fopen(kFileName, "a");
    if (file == nullptr) {
        return;
    }
    std::fprintf(file, "%s\n", line);
    std::fclose(file);
}

}  // namespace

bool enabled() noexcept { return debug_flag.load(std::memory_order_relaxed); }
void set_enabled(bool on) noexcept { debug_flag.store(on, std::memory_order_relaxed); }

void write(const char* text) noexcept { emit(text, nullptr, nullptr, false); }
void write(const char* format, const char* first) noexcept { emit(format, first, nullptr, true); }
void write(const char* format, const char* first, const char* second) noexcept
{
    emit(format, first, second, true);
}

}  // namespace kandrel::log
