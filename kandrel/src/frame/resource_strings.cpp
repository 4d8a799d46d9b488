#include "resource_strings.h"

#include <atomic>
#include <cstdlib>
#include <memory>

#include "host_services.h"
#include "text_conversion.h"

namespace kandrel::resources {
namespace {
std::atomic<platform::ModuleHandle> stored_module{nullptr};
constexpr std::int32_t kStackUnits = 256;
}  // namespace

platform::ModuleHandle module() noexcept { return stored_module.load(std::memory_order_acquire); }

void remember_module(platform::ModuleHandle module) noexcept
{
    platform::ModuleHandle none = nullptr;
    stored_module.compare_exchange_strong(none, module, std::memory_order_acq_rel);
}

std::int32_t load(platform::ModuleHandle module, unsigned id, HostChar* characters,
                  std::int32_t capacity) noexcept
{
    if (module == nullptr || characters == nullptr || capacity < 1) {
        return 0;
    }
    char16_t stack_units[kStackUnits];
    std::unique_ptr<char16_t[]> heap_units;
    char16_t* units = stack_units;
    if (capacity > kStackUnits) {
        heap_units.reset(new (std::nothrow) char16_t[static_cast<std::size_t>(capacity)]);
        if (!heap_units) {
            return 0;
        }
        units = heap_units.get();
    }
    const int loaded = platform::load_string(module, id, units, capacity);
    const std::size_t count =
        text::host_from_wide(units, loaded > 0 ? static_cast<std::size_t>(loaded) : 0, characters,
                             static_cast<std::size_t>(capacity));
    if (count == 0) {
        return 0;
    }
    const std::int32_t answered =
        host::string_loaded(characters, capacity, static_cast<std::int32_t>(count));
    // The host's answer is the final count; keep it inside the area.
    if (answered < 0) {
        return 0;
    }
    return answered < capacity ? answered : capacity;
}

void load(platform::ModuleHandle module, unsigned id, HostShortString& text) noexcept
{
    text.length = load(module, id, text.text, text.capacity);
    text.text[text.length] = 0;
}

}  // namespace kandrel::resources
