// Loading the component's string-table resources as host text.
#ifndef KANDREL_RESOURCE_STRINGS_H
#define KANDREL_RESOURCE_STRINGS_H

#include <cstdint>

#include "host_interface.h"
#include "platform.h"

namespace kandrel::resources {

// The module the strings are loaded from: stored once when the component is
// attached to the process.
platform::ModuleHandle module() noexcept;
void remember_module(platform::ModuleHandle module) noexcept;

// Loads string id into characters (at most capacity of them, at most
// capacity - 1 UTF-16 units of the resource) and answers the count, after the
// host's string service has seen the text. 0 without a module or string.
std::int32_t load(platform::ModuleHandle module, unsigned id, HostChar* characters,
                  std::int32_t capacity) noexcept;

// Loads string id into text, up to its capacity.
void load(platform::ModuleHandle module, unsigned id, HostShortString& text) noexcept;

}  // namespace kandrel::resources

#endif
