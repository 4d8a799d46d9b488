#include "output.h"

#include <ldap.h>

#include "classic_codes.h"
#include "errors.h"

namespace cli {

namespace {

constexpr const char* kProgram = "tervane";

// Valid UTF-8 without C0 controls other than tab (which the text form could
// not show on one line).
bool is_printable_utf8(const unsigned char* p, std::size_t length)
{
    std::size_t i = 0;
    while (i < length) {
        unsigned char c = p[i];
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return false;
            ++i;
            continue;
        }
        std::size_t extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
        if (extra == 0 || c == 0xC0 || c == 0xC1 || c > 0xF4 || length - i <= extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

std::string base64(const unsigned char* p, std::size_t length)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (std::size_t i = 0; i < length; i += 3) {
        unsigned long group = static_cast<unsigned long>(p[i]) << 16;
        if (i + 1 < length)
            group |= static_cast<unsigned long>(p[i + 1]) << 8;
        if (i + 2 < length)
            group |= p[i + 2];
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < length ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < length ? kDigits[group & 63] : '=';
    }
    return out;
}

bool is_binary(const Json& value) { return value.is_object() && value.size() == 1 && value.contains("base64"); }

std::string scalar_text(const Json& value)
{
    if (value.is_string())
        return value.get<std::string>();
    return value.dump();
}

void render(const Json& doc, const std::string& indent, std::string& out)
{
    for (const auto& [key, value] : doc.items()) {
        if (value.is_null())
            continue;
        if (is_binary(value)) {
            out += indent + key + ":: " + value["base64"].get<std::string>() + "\n";
        } else if (value.is_object()) {
            out += indent + key + ":\n";
            render(value, indent + "  ", out);
        } else if (value.is_array()) {
            bool numbers = !value.empty();
            for (const Json& element : value)
                numbers = numbers && element.is_number();
            if (numbers) {
                std::string line;
                for (const Json& element : value)
                    line += (line.empty() ? "" : " ") + element.dump();
                out += indent + key + ": " + line + "\n";
                continue;
            }
            for (const Json& element : value) {
                if (element.is_object() && !is_binary(element)) {
                    out += indent + key + ":\n";
                    render(element, indent + "  ", out);
                } else if (is_binary(element)) {
                    out += indent + key + ":: " + element["base64"].get<std::string>() + "\n";
                } else if (!element.is_null()) {
                    out += indent + key + ": " + scalar_text(element) + "\n";
                } else {
                    out += indent + key + ":\n";
                }
            }
        } else {
            out += indent + key + ": " + scalar_text(value) + "\n";
        }
    }
}

std::string dump(const Json& doc, int indent)
{
    // Server strings that are not UTF-8 never reach here unescaped
    // (bytes_value), but a replacement character beats an exception.
    return doc.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

Json bytes_value(const char* data, std::size_t length)
{
    auto bytes = reinterpret_cast<const unsigned char*>(data);
    if (data == nullptr)
        return Json();
    if (is_printable_utf8(bytes, length))
        return std::string(data, length);
    return Json{{"base64", base64(bytes, length)}};
}

Json text_value(const char* text)
{
    if (text == nullptr)
        return Json();
    return bytes_value(text, std::char_traits<char>::length(text));
}

std::string render_text(const Json& doc)
{
    std::string out;
    render(doc, "", out);
    return out;
}

void Output::document(const Json& doc, const std::string& text_override)
{
    if (format_ == Format::json) {
        Json full{{"result", 0}};
        full.update(doc);
        std::fprintf(out_, "%s\n", dump(full, 2).c_str());
    } else {
        std::string text = text_override.empty() ? render_text(doc) : text_override;
        std::fputs(text.c_str(), out_);
    }
    std::fflush(out_);
}

void Output::done(const Json& doc)
{
    if (format_ == Format::json)
        document(doc);
}

void Output::item(const Json& doc)
{
    if (format_ == Format::json)
        std::fprintf(out_, "%s\n", dump(doc, -1).c_str());
    else
        std::fprintf(out_, "%s\n", render_text(doc).c_str());
    std::fflush(out_);
}

void Output::failure(std::string_view what, int code, std::string_view diagnostic)
{
    std::string text = result_text(code);
    std::fprintf(err_, "%s: %.*s: %s (%d)\n", kProgram, static_cast<int>(what.size()), what.data(), text.c_str(),
                 code);
    if (!diagnostic.empty())
        std::fprintf(err_, "\tadditional info: %.*s\n", static_cast<int>(diagnostic.size()), diagnostic.data());
    if (format_ == Format::json) {
        // The number the command exits with; the client library's own
        // (negative) number as well when it differs.
        Json doc{{"result", classic_code(code)}, {"error", text}};
        if (classic_code(code) != code)
            doc["library_code"] = code;
        if (!diagnostic.empty())
            doc["diagnostic"] = std::string(diagnostic);
        std::fprintf(out_, "%s\n", dump(doc, streaming_ ? -1 : 2).c_str());
        std::fflush(out_);
    }
}

void Output::error(std::string_view message)
{
    std::fprintf(err_, "%s: %.*s\n", kProgram, static_cast<int>(message.size()), message.data());
}

void Output::refusal(std::string_view message, int code)
{
    error(message);
    if (format_ == Format::json) {
        std::fprintf(out_, "%s\n", dump(Json{{"result", code}, {"error", std::string(message)}}, streaming_ ? -1 : 2).c_str());
        std::fflush(out_);
    }
}

void Output::verbose(std::string_view message)
{
    if (verbose_)
        std::fprintf(err_, "%.*s\n", static_cast<int>(message.size()), message.data());
}

std::string result_text(int code)
{
    // Tervane gives its own failures the classic positive numbers, which
    // libldap knows only by their negative values.
    return ldap_err2string(classic_codes::to_library(code));
}

int classic_code(int code) { return classic_codes::from_library(code); }

int exit_status(int code)
{
    code = classic_code(code);
    return code < 0 || code > 255 ? kExitOther : code;
}

}  // namespace cli
