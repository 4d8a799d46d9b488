// glibc's iconv as the reference of the host text conversions, for their
// differential test, fuzz target and benchmark. Host text is UTF-32 in the
// machine's byte order.
#ifndef TESTS_SUPPORT_ICONV_CONVERTER_H
#define TESTS_SUPPORT_ICONV_CONVERTER_H

#include <iconv.h>

#include <bit>
#include <cstddef>
#include <optional>
#include <string>

inline constexpr const char* kHostCharset = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

class IconvConverter {
public:
    IconvConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvConverter()
    {
        if (open()) {
            iconv_close(cd_);
        }
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool open() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all in_bytes into out; false when iconv stops before the end
    // (invalid, unmappable or cut-off input, or no room). *written: the bytes
    // it wrote.
    bool convert(const void* in, std::size_t in_bytes, void* out, std::size_t out_bytes, std::size_t* written)
    {
        char* source = static_cast<char*>(const_cast<void*>(in));
        char* target = static_cast<char*>(out);
        const std::size_t room = out_bytes;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        const bool whole = iconv(cd_, &source, &in_bytes, &target, &out_bytes) != static_cast<std::size_t>(-1);
        *written = room - out_bytes;
        return whole;
    }

    // The whole input converted, or nothing when iconv stops before its end.
    std::optional<std::string> operator()(const void* in, std::size_t in_bytes)
    {
        std::string out(4 * in_bytes + 16, '\0');
        std::size_t written = 0;
        if (!convert(in, in_bytes, out.data(), out.size(), &written)) {
            return std::nullopt;
        }
        out.resize(written);
        return out;
    }

private:
    iconv_t cd_;
};

#endif
