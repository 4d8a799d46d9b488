// BER for tests, independent of liblber: render received bytes as readable
// text (lengths normalised, so the default encoder's long-form lengths and
// minimal DER lengths read the same), and build server values in DER.
//
// Text form: INTEGER "int 5", ENUMERATED "enum 0", BOOLEAN "true"/"false",
// OCTET STRING 'text' (bytes outside printable ASCII as \xNN), SEQUENCE
// "{...}", SET "set{...}", other constructed elements "[a0]{...}", other
// primitive elements "[80]'text'"; elements separated by ", ". Bytes that do
// not form elements render as "<bad: hex>".
#ifndef TESTS_SUPPORT_BER_TEXT_H
#define TESTS_SUPPORT_BER_TEXT_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace bertext {

std::string render(std::string_view bytes);
std::string hex(std::string_view bytes);

}  // namespace bertext

namespace der {

std::string element(std::uint8_t tag, std::string_view content);
std::string integer(long long value, std::uint8_t tag = 0x02);
std::string enumerated(long long value);
std::string boolean(bool value);
std::string octets(std::string_view bytes, std::uint8_t tag = 0x04);
std::string sequence(std::initializer_list<std::string> parts, std::uint8_t tag = 0x30);
std::string set(std::initializer_list<std::string> parts);
std::string concat(std::initializer_list<std::string> parts);

}  // namespace der

#endif
