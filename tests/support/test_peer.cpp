#include "test_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <memory>
#include <stdexcept>

#include "ldap_owners.h"

namespace testpeer {

namespace {

constexpr ber_tag_t kBindRequest = 0x60;
constexpr ber_tag_t kBindResponse = 0x61;
constexpr ber_tag_t kUnbindRequest = 0x42;
constexpr ber_tag_t kSearchRequest = 0x63;
constexpr ber_tag_t kSearchResultDone = 0x65;
constexpr ber_tag_t kAbandonRequest = 0x50;
// Standard update requests and their responses.
constexpr std::pair<ber_tag_t, ber_tag_t> kUpdates[] = {{0x68, 0x69}, {0x4A, 0x6B}, {0x66, 0x67}, {0x6C, 0x6D}};
constexpr ber_tag_t kExtendedRequest = 0x77;
constexpr ber_tag_t kExtendedResponse = 0x78;
constexpr ber_tag_t kIntermediateResponse = 0x79;
constexpr ber_tag_t kRequestName = 0x80;
constexpr ber_tag_t kRequestValue = 0x81;
constexpr ber_tag_t kControls = 0xA0;

using Ber = ldapc::BerPtr;

void send_all(int fd, const char* data, std::size_t length)
{
    while (length > 0) {
        ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR)
                continue;
            return;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
}

void send_ber(int fd, BerElement* ber)
{
    berval* flat = nullptr;
    if (ber_flatten(ber, &flat) == -1)
        throw std::runtime_error("test peer: ber_flatten failed");
    send_all(fd, flat->bv_val, flat->bv_len);
    ber_bvfree(flat);
}

void put_optional(BerElement* ber, ber_tag_t tag, const std::optional<std::string>& text)
{
    if (text)
        ber_printf(ber, "to", tag, text->data(), static_cast<ber_len_t>(text->size()));
}

// Length of a complete BER element at the start of data, or 0 when more
// bytes are needed.
std::size_t complete_element(const std::string& data)
{
    if (data.size() < 2)
        return 0;
    auto first = static_cast<unsigned char>(data[1]);
    std::size_t header = 2;
    std::size_t length = first;
    if (first & 0x80) {
        std::size_t count = first & 0x7F;
        if (data.size() < 2 + count)
            return 0;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = (length << 8) | static_cast<unsigned char>(data[2 + i]);
        header += count;
    }
    return data.size() >= header + length ? header + length : 0;
}

}  // namespace

Reply Reply::success_named(std::string name, std::optional<std::string> value)
{
    Reply reply;
    reply.name = std::move(name);
    reply.value = std::move(value);
    return reply;
}

Reply Reply::error(int code)
{
    Reply reply;
    reply.result_code = code;
    return reply;
}

std::string paired_name(const std::string& request_name)
{
    auto dot = request_name.rfind('.');
    int arc = std::stoi(request_name.substr(dot + 1));
    return request_name.substr(0, dot + 1) + std::to_string(arc + 1);
}

TestPeer::TestPeer()
{
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 8) != 0)
        throw std::runtime_error("test peer: cannot listen on 127.0.0.1");
    socklen_t size = sizeof address;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (::pipe(wake_fd_) != 0)
        throw std::runtime_error("test peer: pipe failed");
    thread_ = std::thread([this] { serve(); });
}

TestPeer::~TestPeer()
{
    char stop = 'x';
    (void)!::write(wake_fd_[1], &stop, 1);
    thread_.join();
    ::close(listen_fd_);
    ::close(wake_fd_[0]);
    ::close(wake_fd_[1]);
}

std::string TestPeer::uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

void TestPeer::reply(Reply reply)
{
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(reply));
}

void TestPeer::set_responder(std::function<Reply(const Request&)> responder)
{
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<Request> TestPeer::requests()
{
    std::lock_guard lock(mutex_);
    return requests_;
}

Request TestPeer::last_request()
{
    std::lock_guard lock(mutex_);
    if (requests_.empty())
        throw std::runtime_error("test peer: no extended request arrived");
    return requests_.back();
}

bool TestPeer::wait_for_requests(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

Reply Reply::with_value(std::string value)
{
    Reply reply;
    reply.value = std::move(value);
    reply.pair_name = true;
    return reply;
}

void TestPeer::serve()
{
    std::map<int, std::string> clients;  // socket -> bytes received, not yet handled
    for (;;) {
        std::vector<pollfd> watched{{wake_fd_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        for (auto& [fd, pending] : clients)
            watched.push_back({fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (watched[0].revents)
            break;
        if (watched[1].revents & POLLIN) {
            int fd = ::accept(listen_fd_, nullptr, nullptr);
            if (fd >= 0)
                clients[fd];
        }
        for (std::size_t i = 2; i < watched.size(); ++i) {
            if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            int fd = watched[i].fd;
            char buffer[4096];
            ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
            bool keep = received > 0;
            if (keep) {
                std::string& pending = clients[fd];
                pending.append(buffer, static_cast<std::size_t>(received));
                while (keep) {
                    std::size_t length = complete_element(pending);
                    if (length == 0)
                        break;
                    std::string message = pending.substr(0, length);
                    pending.erase(0, length);
                    keep = handle_message(fd, message);
                }
            }
            if (!keep) {
                ::close(fd);
                clients.erase(fd);
                {
                    std::lock_guard lock(mutex_);
                    ++closed_connections_;
                }
                arrived_.notify_all();
            }
        }
    }
    for (auto& [fd, pending] : clients)
        ::close(fd);
}

// Answers one LDAPMessage; false closes the connection.
bool TestPeer::handle_message(int fd, const std::string& message)
{
    berval bytes{static_cast<ber_len_t>(message.size()), const_cast<char*>(message.data())};
    Ber ber(ber_init(&bytes));
    ber_int_t message_id = 0;
    ber_tag_t operation = 0;
    ber_len_t length = 0;
    if (ber_scanf(ber.get(), "{i", &message_id) == LBER_ERROR)
        return false;
    operation = ber_peek_tag(ber.get(), &length);
    {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation{message_id, operation, message});
    }
    arrived_.notify_all();
    if (operation == kUnbindRequest)
        return false;
    if (operation == kSearchRequest) {
        {
            std::lock_guard lock(mutex_);
            if (!answer_searches_)
                return true;
        }
        Ber answer(ber_alloc_t(LBER_USE_DER));
        ber_printf(answer.get(), "{it{ess}}", message_id, kSearchResultDone, 0, "", "");
        send_ber(fd, answer.get());
        return true;
    }
    if (operation == kBindRequest) {
        // [APPLICATION 0] { version, name, [0] simple password }
        ber_int_t version = 0;
        berval name{}, password{};
        if (ber_scanf(ber.get(), "{im", &version, &name) != LBER_ERROR) {
            if (ber_peek_tag(ber.get(), &length) == 0x80)
                ber_scanf(ber.get(), "m", &password);
            std::lock_guard lock(mutex_);
            binds_.emplace_back(std::string(name.bv_val, name.bv_len),
                                std::string(password.bv_val != nullptr ? password.bv_val : "", password.bv_len));
        }
        Ber answer(ber_alloc_t(LBER_USE_DER));
        ber_printf(answer.get(), "{it{ess}}", message_id, kBindResponse, 0, "", "");
        send_ber(fd, answer.get());
        return true;
    }
    if (operation == kAbandonRequest) {
        ber_int_t abandoned = 0;
        if (ber_scanf(ber.get(), "i", &abandoned) != LBER_ERROR) {
            std::lock_guard lock(mutex_);
            abandoned_.push_back(abandoned);
        }
        return true;
    }
    for (auto [request, response] : kUpdates) {
        if (operation != request)
            continue;
        std::unique_lock lock(mutex_);
        if (!answer_updates_)
            return true;
        ++updates_answered_;
        lock.unlock();
        Ber answer(ber_alloc_t(LBER_USE_DER));
        ber_printf(answer.get(), "{it{ess}}", message_id, response, 0, "", "");
        send_ber(fd, answer.get());
        return true;
    }
    if (operation != kExtendedRequest)
        return true;  // anything else: no answer

    Request request;
    request.message_id = message_id;
    ber_skip_tag(ber.get(), &length);
    berval field{};
    if (ber_peek_tag(ber.get(), &length) == kRequestName && ber_scanf(ber.get(), "m", &field) != LBER_ERROR)
        request.name.assign(field.bv_val, field.bv_len);
    if (ber_peek_tag(ber.get(), &length) == kRequestValue && ber_scanf(ber.get(), "m", &field) != LBER_ERROR)
        request.value = std::string(field.bv_val, field.bv_len);
    request.had_controls = ber_peek_tag(ber.get(), &length) == kControls;

    answer_extended(fd, message_id, request);
    return true;
}

void TestPeer::answer_extended(int fd, int message_id, const Request& request)
{
    Reply reply;
    bool scripted = false;
    {
        // Recorded before answering: once the client has its answer, the
        // request is there for the test to look at.
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (!script_.empty()) {
            reply = std::move(script_.front());
            script_.pop_front();
            scripted = true;
        } else if (responder_) {
            reply = responder_(request);
            scripted = true;
        }
    }
    arrived_.notify_all();
    if (!scripted || reply.pair_name)
        reply.name = paired_name(request.name);

    for (const Intermediate& intermediate : reply.intermediates) {
        Ber answer(ber_alloc_t(LBER_USE_DER));
        ber_printf(answer.get(), "{it{", message_id, kIntermediateResponse);
        put_optional(answer.get(), 0x80, intermediate.name);
        put_optional(answer.get(), 0x81, intermediate.value);
        ber_printf(answer.get(), "}}");
        send_ber(fd, answer.get());
    }
    if (reply.raw_message) {
        send_all(fd, reply.raw_message->data(), reply.raw_message->size());
    } else if (!reply.close_connection) {
        Ber answer(ber_alloc_t(LBER_USE_DER));
        ber_printf(answer.get(), "{it{ess", message_id, kExtendedResponse, reply.result_code,
                   reply.matched_dn.c_str(), reply.diagnostic.c_str());
        put_optional(answer.get(), 0x8A, reply.name);
        put_optional(answer.get(), 0x8B, reply.value);
        ber_printf(answer.get(), "}}");
        send_ber(fd, answer.get());
    }
    if (reply.close_connection)
        ::shutdown(fd, SHUT_RDWR);
}

bool TestPeer::wait_for_closed_connections(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return closed_connections_ >= count; });
}

void TestPeer::answer_searches(bool answer)
{
    std::lock_guard lock(mutex_);
    answer_searches_ = answer;
}

std::vector<Operation> TestPeer::operations()
{
    std::lock_guard lock(mutex_);
    return operations_;
}

LDAP* TestPeer::connect()
{
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, uri().c_str()) != LDAP_SUCCESS)
        throw std::runtime_error("test peer: ldap_initialize failed");
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    timeval timeout{10, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    int rc = ldap_simple_bind_s(ld, "cn=admin", "secret");
    if (rc != LDAP_SUCCESS) {
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        throw std::runtime_error(std::string("test peer: bind failed: ") + ldap_err2string(rc));
    }
    return ld;
}

void TestPeer::answer_updates(bool on)
{
    std::lock_guard lock(mutex_);
    answer_updates_ = on;
}

std::size_t TestPeer::updates_answered()
{
    std::lock_guard lock(mutex_);
    return updates_answered_;
}

std::vector<int> TestPeer::abandoned()
{
    std::lock_guard lock(mutex_);
    return abandoned_;
}

std::vector<std::pair<std::string, std::string>> TestPeer::binds()
{
    std::lock_guard lock(mutex_);
    return binds_;
}

LdapHandle::~LdapHandle()
{
    if (ld != nullptr)
        ldap_unbind_ext_s(ld, nullptr, nullptr);
}

int handle_error(LDAP* ld)
{
    int code = -12345;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    return code;
}

void set_handle_error(LDAP* ld, int code) { ldap_set_option(ld, LDAP_OPT_RESULT_CODE, &code); }

}  // namespace testpeer
