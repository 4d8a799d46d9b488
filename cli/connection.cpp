#include "connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "errors.h"
#include "tervane_owners.h"

namespace cli {

namespace {

// Reads one line from the terminal with echo off, as OpenLDAP's tools do for
// -W; the terminal's settings are restored whatever happens.
std::string prompt_on_terminal(const char* prompt)
{
    int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        throw InputError("-W: cannot open the terminal to ask for the password");
    termios saved{};
    bool restore = ::tcgetattr(tty, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    (void)!::write(tty, prompt, std::strlen(prompt));
    std::string line;
    char c = 0;
    ssize_t got = 0;
    while ((got = ::read(tty, &c, 1)) == 1 && c != '\n')
        line += c;
    bool interrupted = got < 0;
    if (restore)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (interrupted)
        throw InputError("-W: the password could not be read");
    return line;
}

// StartTLS as ldap_start_tls_s does it, but without reading the response
// name: the client library aborts the process on a name that is empty, and
// the result code alone says whether the server is ready for the handshake.
int start_tls(LDAP* ld)
{
    int msgid = 0;
    if (int rc = ldap_start_tls(ld, nullptr, nullptr, &msgid); rc != LDAP_SUCCESS)
        return rc;
    for (;;) {
        LDAPMessage* raw = nullptr;
        int type = ldap_result(ld, msgid, LDAP_MSG_ALL, nullptr, &raw);
        MessagePtr message(raw);
        if (type <= 0 || !message) {
            int code = LDAP_SERVER_DOWN;
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
            return code != LDAP_SUCCESS ? code : LDAP_SERVER_DOWN;
        }
        if (type == LDAP_RES_INTERMEDIATE)
            continue;
        int code = LDAP_OTHER;
        if (int rc = ldap_parse_result(ld, message.get(), &code, nullptr, nullptr, nullptr, nullptr, 0);
            rc != LDAP_SUCCESS)
            return rc;
        return code != LDAP_SUCCESS ? code : ldap_install_tls(ld);
    }
}

}  // namespace

Session::~Session()
{
    if (ld_ != nullptr)
        ldap_unbind_ext_s(ld_, nullptr, nullptr);
}

std::string read_password(const ConnectionOptions& options)
{
    if (options.password)
        return *options.password;
    if (options.password_file) {
        std::ifstream file(*options.password_file, std::ios::binary);
        if (!file)
            throw InputError("-y " + *options.password_file + ": " + std::strerror(errno));
        // As ldap-utils do: a password others may read is worth a word.
        struct stat status {};
        if (::stat(options.password_file->c_str(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
            std::fprintf(stderr, "tervane: warning: the password file %s is readable or writable by others\n",
                         options.password_file->c_str());
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (options.prompt_password)
        return prompt_on_terminal("Enter LDAP Password: ");
    return std::string();
}

Session open_session(const ConnectionOptions& options, Output& output)
{
    std::string password = read_password(options);
    const char* uri = options.uri ? options.uri->c_str() : nullptr;
    output.verbose("ldap_initialize( " + (uri != nullptr ? std::string(uri) : std::string("<DEFAULT>")) + " )");
    LDAP* ld = nullptr;
    int rc = ldap_initialize(&ld, uri);
    Session session(ld);
    if (rc != LDAP_SUCCESS) {
        output.failure("ldap_initialize", rc);
        throw Failed{rc};
    }
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // A signal (Ctrl-C, which long commands catch) must not end a wait for
    // the server as if the server were gone: the wait goes on and the
    // command looks at the signal itself.
    ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON);
    if (options.network_timeout >= 0) {
        timeval timeout{options.network_timeout, 0};
        ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    }
    auto fail = [&](const char* what, int code) {
        char* diagnostic = nullptr;
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic);
        output.failure(what, code, diagnostic != nullptr ? diagnostic : "");
        ldap_memfree(diagnostic);
        throw Failed{code};
    };
    if (options.start_tls > 0) {
        rc = start_tls(ld);
        if (rc != LDAP_SUCCESS) {
            // A server that refuses StartTLS leaves the connection as it was;
            // a failure on this side (the handshake, the certificate) does
            // not, and going on would only fail later: -Z stops then too, as
            // ldap-utils do.
            if (options.start_tls > 1 || rc < 0)
                fail("ldap_start_tls", rc);
            output.error(std::string("ldap_start_tls: ") + ldap_err2string(rc) + " (" + std::to_string(rc) +
                         "); going on without TLS");
        }
    }
    berval credentials{static_cast<ber_len_t>(password.size()), password.data()};
    // Without -D the client library's default applies (BINDDN in .ldaprc,
    // LDAPBINDDN), as for ldap-utils.
    const char* dn = options.bind_dn ? options.bind_dn->c_str() : nullptr;
    rc = ldap_sasl_bind_s(ld, dn, LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
    std::fill(password.begin(), password.end(), '\0');
    if (rc != LDAP_SUCCESS)
        fail("ldap_sasl_bind(SIMPLE)", rc);
    return session;
}

}  // namespace cli
