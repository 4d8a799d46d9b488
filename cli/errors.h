// How the command fails: its error types and the exit statuses it names
// itself. Every other exit status is a result code (output.h: exit_status).
#ifndef CLI_ERRORS_H
#define CLI_ERRORS_H

#include <stdexcept>

namespace cli {

// A command-line mistake: reported with a pointer to --help, nothing sent.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Bad input (a file that cannot be read or does not have the expected form):
// reported as it is, nothing sent.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// An operation that did not succeed; already reported on the output.
struct Failed {
    int code;
};

// The command's own exit statuses, each the classic number of its meaning.
inline constexpr int kExitOther = 80;           // a failure with no result code of its own
inline constexpr int kExitDecodingError = 84;   // a notification that could not be decoded
inline constexpr int kExitUserCancelled = 88;   // a load interrupted with Ctrl-C
inline constexpr int kExitBadParameter = 89;    // a command-line mistake or bad input: nothing sent

class Output;

// Reports the exception being handled (call it from a catch block) and
// answers the exit status for it: a usage error or bad input 89 (with a
// pointer to --help for a usage error), a failure already reported its code,
// memory running out 90, anything else an internal error, 80. Nothing ends
// the command without a word.
int report_exception(Output& output) noexcept;

}  // namespace cli

#endif
