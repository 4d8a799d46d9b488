#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace clitest {

std::string command_path() { return TERVANE_COMMAND; }

Process::Process(const std::vector<std::string>& arguments, const ProcessOptions& options) : input_(options.input)
{
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr)
            environment.emplace(std::string(*entry, static_cast<std::size_t>(equals - *entry)), std::string(equals + 1));
    }
    // The machine's ldap.conf stays out of the tests unless a test asks.
    environment["LDAPNOINIT"].assign(1, '1');
    for (const auto& [name, value] : options.environment) {
        if (value)
            environment[name] = *value;
        else
            environment.erase(name);
    }
    std::vector<std::string> env_text;
    for (const auto& [name, value] : environment)
        env_text.push_back(name + "=" + value);
    std::vector<char*> envp, argv;
    for (std::string& entry : env_text)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string path = options.program.empty() ? command_path() : options.program;
    argv.push_back(path.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2], err[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    bool controlling = options.controlling_terminal;
    if (options.terminal_stderr || controlling) {
        if (::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        if (controlling) {
            ::setsid();
            ::ioctl(err[1], TIOCSCTTY, 0);
        }
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
    in_fd_ = in[1];
    ::fcntl(in_fd_, F_SETFL, O_NONBLOCK);
    if (input_.empty()) {
        ::close(in_fd_);
        in_fd_ = -1;
    }
}

Process::~Process()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {out_fd_, err_fd_, in_fd_})
        if (fd >= 0)
            ::close(fd);
}

// One round of reading and writing; false once both outputs ended.
bool Process::pump(int timeout_ms)
{
    std::vector<pollfd> fds;
    if (out_fd_ >= 0)
        fds.push_back({out_fd_, POLLIN, 0});
    if (err_fd_ >= 0)
        fds.push_back({err_fd_, POLLIN, 0});
    if (in_fd_ >= 0)
        fds.push_back({in_fd_, POLLOUT, 0});
    if (out_fd_ < 0 && err_fd_ < 0)
        return false;
    if (::poll(fds.data(), fds.size(), timeout_ms) <= 0)
        return true;
    for (const pollfd& entry : fds) {
        if (entry.revents == 0)
            continue;
        if (entry.fd == in_fd_) {
            ssize_t sent = ::write(in_fd_, input_.data() + input_sent_, input_.size() - input_sent_);
            if (sent > 0)
                input_sent_ += static_cast<std::size_t>(sent);
            if (sent < 0 || input_sent_ == input_.size()) {
                ::close(in_fd_);
                in_fd_ = -1;
            }
            continue;
        }
        char buffer[65536];
        ssize_t got = ::read(entry.fd, buffer, sizeof buffer);
        if (got > 0) {
            (entry.fd == out_fd_ ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            // A pseudo-terminal reports EIO once the child closed its side.
            int& fd = entry.fd == out_fd_ ? out_fd_ : err_fd_;
            ::close(fd);
            fd = -1;
        }
    }
    return true;
}

bool Process::wait_for(std::string ProcessResult::*stream, const std::string& text,
                       std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while ((result_.*stream).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || !pump(50))
            return (result_.*stream).find(text) != std::string::npos;
    }
    return true;
}

bool Process::wait_for_output(const std::string& text, std::chrono::milliseconds timeout)
{
    return wait_for(&ProcessResult::out, text, timeout);
}

bool Process::wait_for_error(const std::string& text, std::chrono::milliseconds timeout)
{
    return wait_for(&ProcessResult::err, text, timeout);
}

void Process::type(const std::string& text) { (void)!::write(err_fd_, text.data(), text.size()); }

void Process::signal(int number) { ::kill(pid_, number); }

ProcessResult Process::finish(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pump(50)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            break;
        }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    result_.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result_;
}

}  // namespace clitest
