// Ctrl-C (SIGINT) and SIGTERM as a flag that long-running commands poll, so
// that they end their stream cleanly instead of dying mid-way.
#ifndef CLI_INTERRUPT_H
#define CLI_INTERRUPT_H

namespace cli {

void catch_interrupts();
bool interrupted();

}  // namespace cli

#endif
