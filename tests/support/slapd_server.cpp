#include "slapd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef SLAPD_PROGRAM
#define SLAPD_PROGRAM "/usr/sbin/slapd"
#endif
#ifndef SLAPADD_PROGRAM
#define SLAPADD_PROGRAM "/usr/sbin/slapadd"
#endif
#ifndef OPENSSL_PROGRAM
#define OPENSSL_PROGRAM "/usr/bin/openssl"
#endif

namespace slapd {
namespace {

using namespace std::chrono_literals;

constexpr int kPortAttempts = 20;
constexpr auto kStartTimeout = 15s;
constexpr auto kStopGrace = 10s;

std::filesystem::path make_folder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "slapd-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for slapd");
    }
    return pattern;
}

// Starts program with arguments, its output appended to log. In the child,
// the process dies with the thread that started it.
pid_t spawn(const std::vector<std::string>& arguments, const std::filesystem::path& log)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const std::string log_path = log.string();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        // The caller may block signals it waits for (private_slapd blocks
        // SIGTERM); slapd must not inherit that, or it cannot be stopped.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int out = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int in = open("/dev/null", O_RDONLY);
        if (out >= 0 && in >= 0) {
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        throw std::runtime_error("cannot start " + arguments.front());
    }
    return pid;
}

// Waits for pid up to timeout; answers its wait status, or -1 when it still
// runs.
int wait_for(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return status;
        }
        if (done < 0 && errno != EINTR) {
            return 0;
        }
        if (std::chrono::steady_clock::now() >= until) {
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
}

// A port on 127.0.0.1 that nothing listens on at this moment.
int free_port()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        throw std::runtime_error("cannot open a socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    if (port == 0) {
        throw std::runtime_error("cannot find a free port");
    }
    return port;
}

bool accepts_connections(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

std::string first_rdn_value(const std::string& dn)
{
    const auto equals = dn.find('=');
    const auto comma = dn.find(',');
    return dn.substr(equals + 1, comma == std::string::npos ? std::string::npos : comma - equals - 1);
}

}  // namespace

Server::Server(Options options) : options_(std::move(options)), folder_(make_folder()) {}

Server::~Server()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string Server::uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

std::string Server::ldaps_uri() const { return "ldaps://127.0.0.1:" + std::to_string(ldaps_port_); }

std::string Server::ldapi_uri() const
{
    std::string uri = "ldapi://";
    for (char c : (folder_ / "ldapi").string()) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.') {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        }
    }
    return uri;
}

void Server::make_certificate() const
{
    const pid_t pid = spawn({OPENSSL_PROGRAM, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                             "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                             (folder_ / "key.pem").string(), "-out", certificate().string()},
                            folder_ / "slapd.log");
    if (wait_for(pid, std::chrono::minutes(1)) != 0) {
        throw std::runtime_error("openssl could not make a certificate:\n" + output());
    }
}

std::string Server::output() const
{
    std::ifstream in(folder_ / "slapd.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Server::write_configuration() const
{
    std::filesystem::create_directories(folder_ / "db");
    std::ofstream conf(folder_ / "slapd.conf");
    for (const std::string& schema : options_.schemas) {
        conf << "include /etc/ldap/schema/" << schema << ".schema\n";
    }
    conf << "modulepath /usr/lib/ldap\n"
         << "moduleload back_mdb\n"
         << "pidfile " << (folder_ / "slapd.pid").string() << "\n"
         << "argsfile " << (folder_ / "slapd.args").string() << "\n";
    for (const std::string& line : options_.global_config) {
        conf << line << "\n";
    }
    if (options_.tls) {
        conf << "TLSCertificateFile " << certificate().string() << "\n"
             << "TLSCertificateKeyFile " << (folder_ / "key.pem").string() << "\n";
    }
    if (!options_.config_password.empty()) {
        conf << "database config\n"
             << "rootdn \"cn=config\"\n"
             << "rootpw " << options_.config_password << "\n";
    }
    conf << "database mdb\n"
         << "maxsize 1073741824\n"
         << "suffix \"" << options_.suffix << "\"\n"
         << "rootdn \"" << options_.root_dn << "\"\n"
         << "rootpw " << options_.root_password << "\n"
         << "directory " << (folder_ / "db").string() << "\n";
    for (const std::string& line : options_.database_config) {
        conf << line << "\n";
    }
    for (std::size_t i = 0; i < options_.more_databases.size(); ++i) {
        const Options::Database& database = options_.more_databases[i];
        const std::filesystem::path directory = folder_ / ("db" + std::to_string(i + 2));
        std::filesystem::create_directories(directory);
        conf << "database mdb\n"
             << "maxsize 1073741824\n"
             << "suffix \"" << database.suffix << "\"\n"
             << "rootdn \"" << database.root_dn << "\"\n"
             << "rootpw " << database.root_password << "\n"
             << "directory " << directory.string() << "\n";
    }
    if (!conf) {
        throw std::runtime_error("cannot write the slapd configuration");
    }
}

void Server::load_seed() const
{
    const std::filesystem::path seed = folder_ / "seed.ldif";
    {
        std::ofstream out(seed);
        out << (options_.seed_ldif.empty() ? suffix_entry(options_.suffix) : options_.seed_ldif);
    }
    const pid_t pid = spawn({SLAPADD_PROGRAM, "-q", "-f", (folder_ / "slapd.conf").string(), "-l",
                             seed.string()},
                            folder_ / "slapd.log");
    const int status = wait_for(pid, std::chrono::minutes(5));
    if (status != 0) {
        if (status < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        throw std::runtime_error("slapadd failed:\n" + output());
    }
}

bool Server::launch(int port)
{
    const int ldaps_port = options_.tls ? free_port() : 0;
    std::string url = "ldap://127.0.0.1:" + std::to_string(port) + "/";
    if (options_.tls) {
        url += " ldaps://127.0.0.1:" + std::to_string(ldaps_port) + "/";
    }
    if (options_.ldapi) {
        url += " " + ldapi_uri();
    }
    // -d keeps slapd in the foreground, so its process id is the one we hold;
    // SLAPD_DEBUG in the environment sets its level (256: every operation).
    const char* debug = std::getenv("SLAPD_DEBUG");
    std::vector<std::string> arguments = {SLAPD_PROGRAM, "-d", debug != nullptr ? debug : "0", "-h", url,
                                          "-f", (folder_ / "slapd.conf").string()};
    if (!options_.config_password.empty()) {
        // slapd converts the file into the empty directory and runs from it.
        const std::filesystem::path directory = folder_ / "slapd.d";
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        arguments.insert(arguments.end(), {"-F", directory.string()});
    }
    const pid_t pid = spawn(arguments, folder_ / "slapd.log");
    const auto until = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < until) {
        if (wait_for(pid, 0ms) >= 0) {
            return false;  // it ended: most likely the port was taken
        }
        if (accepts_connections(port) && (!options_.tls || accepts_connections(ldaps_port))) {
            pid_ = pid;
            port_ = port;
            ldaps_port_ = ldaps_port;
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    throw std::runtime_error("slapd did not answer in time:\n" + output());
}

void Server::start()
{
    if (running()) {
        return;
    }
    if (options_.tls) {
        make_certificate();
    }
    write_configuration();
    load_seed();
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        if (launch(free_port())) {
            return;
        }
    }
    throw std::runtime_error("slapd could not be started:\n" + output());
}

void Server::stop() noexcept
{
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    if (wait_for(pid_, std::chrono::duration_cast<std::chrono::milliseconds>(kStopGrace)) < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

std::string suffix_entry(const std::string& suffix)
{
    const std::string name = first_rdn_value(suffix);
    return "dn: " + suffix + "\nobjectClass: dcObject\nobjectClass: organization\ndc: " + name +
           "\no: " + name + "\n\n";
}

std::string people(const std::string& suffix, int count)
{
    std::ostringstream out;
    out << "dn: ou=people," << suffix << "\nobjectClass: organizationalUnit\nou: people\n\n";
    char number[16];
    for (int n = 1; n <= count; ++n) {
        std::snprintf(number, sizeof number, "%05d", n);
        out << "dn: cn=Person " << number << ",ou=people," << suffix << "\n"
            << "objectClass: inetOrgPerson\n"
            << "cn: Person " << number << "\n"
            << "sn: Person\n"
            << "uid: person" << number << "\n"
            << "mail: person" << number << "@example.com\n\n";
    }
    return out.str();
}

}  // namespace slapd
