#include "interrupt.h"

#include <csignal>

namespace cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void note_interrupt(int) { g_interrupted = 1; }

}  // namespace

void catch_interrupts()
{
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    // Reads and writes go on where they were; the command polls the flag.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

}  // namespace cli
