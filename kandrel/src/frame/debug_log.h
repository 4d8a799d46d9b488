// The debug log: one line per event appended to "ldap.log" in the current
// directory while the process-wide debug flag is on. The file is opened and
// closed for every line, so it can be read or removed at any moment.
#ifndef KANDREL_DEBUG_LOG_H
#define KANDREL_DEBUG_LOG_H

#include <cstddef>

namespace kandrel::log {

// A line holds at most this many characters before its line end; longer
// lines are cut there.
inline constexpr std::size_t kLineArea = 1024;

inline constexpr const char kFileName[] = "ldap.log";

// The process-wide debug flag behind the $debug property; false at load.
bool enabled() noexcept;
void set_enabled(bool on) noexcept;

// Writes text as one line, unchanged (a per cent sign stays as it is).
void write(const char* text) noexcept;
// Writes format with each "%s" filled in by first, then second.
void write(const char* format, const char* first) noexcept;
void write(const char* format, const char* first, const char* second) noexcept;

// The lines other parts of the component write.
inline constexpr const char kSessionInitialized[] = "    LDAP session initialized";
inline constexpr const char kSessionInitFailed[] = "    LDAP session initialization failed";
inline constexpr const char kBinding[] = "    Binding to the directory...";
inline constexpr const char kBindFailed[] = "ldap_simple_bind_s: %s";
inline constexpr const char kCompareTrue[] = "Compare:OK.";
inline constexpr const char kCompareFalse[] = "Compare:False.";
inline constexpr const char kCompareNoAttribute[] = "Compare:No such attribute.";
inline constexpr const char kCompareNoObject[] = "Compare:No such object.";
inline constexpr const char kBadReference[] = "Bad pointer type. Required %s but passed %s.";
inline constexpr const char kMissingFunction[] = "Failed to find function %s";

}  // namespace kandrel::log

#endif
