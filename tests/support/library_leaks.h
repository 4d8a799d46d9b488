// libldap 2.5 leaks blocks of its own while it reads what a server sends in
// ldap_result() (and so in ldap_extended_operation_s()): when the server gives
// notice of disconnection, and when a message is malformed. Code that makes
// it do so on purpose holds a LibraryLeaksIgnored for that call, so that the
// leak checker of the sanitizer builds keeps reporting every other leak.
// Without the leak checker it does nothing.
#ifndef TESTS_SUPPORT_LIBRARY_LEAKS_H
#define TESTS_SUPPORT_LIBRARY_LEAKS_H

#if defined(__SANITIZE_ADDRESS__)
#define TESTS_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESTS_LEAK_CHECKER 1
#endif
#endif

#ifdef TESTS_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>

// Allocations made by this thread while one exists are not reported.
class LibraryLeaksIgnored {
public:
    LibraryLeaksIgnored() { __lsan_disable(); }
    ~LibraryLeaksIgnored() { __lsan_enable(); }
    LibraryLeaksIgnored(const LibraryLeaksIgnored&) = delete;
    LibraryLeaksIgnored& operator=(const LibraryLeaksIgnored&) = delete;
};
#else
class LibraryLeaksIgnored {
public:
    LibraryLeaksIgnored() {}  // not trivial: holding one is no unused variable
    ~LibraryLeaksIgnored() {}
    LibraryLeaksIgnored(const LibraryLeaksIgnored&) = delete;
    LibraryLeaksIgnored& operator=(const LibraryLeaksIgnored&) = delete;
};
#endif

#endif
