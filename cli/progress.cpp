#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace cli {

namespace {

std::string duration_text(double seconds)
{
    auto total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

int terminal_width(std::FILE* terminal)
{
    winsize size{};
    if (::ioctl(fileno(terminal), TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        return size.ws_col;
    return 80;
}

}  // namespace

Progress::Progress(std::FILE* terminal, unsigned long total, bool enabled)
    : terminal_(terminal), total_(total), enabled_(enabled && ::isatty(fileno(terminal)) != 0),
      start_(std::chrono::steady_clock::now())
{
}

Progress::~Progress() { clear(); }

std::string Progress::line(unsigned long done, unsigned long total, double seconds, int width)
{
    double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char counts[96];
    if (total > 0) {
        double left = rate > 0 ? static_cast<double>(total - std::min(done, total)) / rate : 0;
        std::snprintf(counts, sizeof counts, " %lu/%lu records  %.0f/s  %s left", done, total, rate,
                      rate > 0 ? duration_text(left).c_str() : "-:--:--");
    } else {
        std::snprintf(counts, sizeof counts, "%lu records  %.0f/s  %s", done, rate, duration_text(seconds).c_str());
    }
    std::string text = counts;
    if (total > 0) {
        int bar = std::max(10, width - static_cast<int>(text.size()) - 3);
        int filled = static_cast<int>(static_cast<double>(bar) * static_cast<double>(std::min(done, total)) /
                                      static_cast<double>(total));
        text = "[" + std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(bar - filled), ' ') + "]" + text;
    }
    if (static_cast<int>(text.size()) > width - 1)
        text.resize(static_cast<std::size_t>(width - 1));
    return text;
}

void Progress::update(unsigned long done)
{
    if (!enabled_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_draw_ < std::chrono::milliseconds(100) && done != total_)
        return;
    last_draw_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(terminal_, "\r%s\033[K", line(done, total_, seconds, terminal_width(terminal_)).c_str());
    std::fflush(terminal_);
    shown_ = true;
}

void Progress::clear()
{
    if (!shown_)
        return;
    std::fprintf(terminal_, "\r\033[K");
    std::fflush(terminal_);
    shown_ = false;
}

}  // namespace cli
