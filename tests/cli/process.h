// Runs the tervane command as a child process: arguments, environment and
// standard input in; exit status, standard output and standard error out.
#ifndef TESTS_CLI_PROCESS_H
#define TESTS_CLI_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace clitest {

struct ProcessResult {
    int exit_code = -1;  // 128 + signal when killed by one
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string input;
    // Added to (or, with an empty value, removed from) the environment.
    std::map<std::string, std::optional<std::string>> environment;
    // Standard error on a pseudo-terminal instead of a pipe.
    bool terminal_stderr = false;
    // That terminal is also the child's controlling terminal (/dev/tty).
    bool controlling_terminal = false;
    // Another program to run instead of the command (a full path).
    std::string program;
};

class Process {
public:
    Process(const std::vector<std::string>& arguments, const ProcessOptions& options = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Reads standard output (or error) until it holds text; false on
    // time-out or end.
    bool wait_for_output(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool wait_for_error(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Types on the child's terminal (with terminal_stderr).
    void type(const std::string& text);
    void signal(int number);
    // Waits for the end (killing the child after the time-out).
    ProcessResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

private:
    bool pump(int timeout_ms);
    bool wait_for(std::string ProcessResult::*stream, const std::string& text,
                  std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int out_fd_ = -1, err_fd_ = -1, in_fd_ = -1;
    std::string input_;
    std::size_t input_sent_ = 0;
    ProcessResult result_;
};

// The command's path, from the build.
std::string command_path();

inline ProcessResult run(const std::vector<std::string>& arguments, const ProcessOptions& options = {})
{
    return Process(arguments, options).finish();
}

}  // namespace clitest

#endif
