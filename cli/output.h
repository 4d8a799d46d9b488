// What the command prints: documents and stream items for people (text) or
// for programs (JSON), the error lines on standard error, and the mapping of
// result codes to exit statuses.
#ifndef CLI_OUTPUT_H
#define CLI_OUTPUT_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace cli {

using Json = nlohmann::ordered_json;

enum class Format { text, json };

// Bytes from the server as a JSON value: a string when they are valid UTF-8
// without control characters, otherwise {"base64": "..."}, which the text form
// prints LDIF-style as "name:: ...".
Json bytes_value(const char* data, std::size_t length);
Json text_value(const char* text);  // null for NULL

class Output {
public:
    explicit Output(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}

    Format format() const { return format_; }
    void set_format(Format format) { format_ = format; }

    // The one result document of a command. text_override, when not empty,
    // replaces the generic text form (for output meant to be fed back in).
    void document(const Json& doc, const std::string& text_override = std::string());
    // The document of a command that returns no data: printed in JSON
    // mode only (text mode stays silent on success, as ldapmodify does).
    void done(const Json& doc);
    // One item of a stream: a JSON line, or a text block followed by a blank
    // line.
    void item(const Json& doc);
    // A failed step: "tervane: what: text (code)" and the server's additional
    // information on standard error; in JSON mode also a document on standard
    // output.
    void failure(std::string_view what, int code, std::string_view diagnostic = {});
    // A message on standard error, prefixed with the program name.
    void error(std::string_view message);
    // A mistake found before anything was sent (a usage error, bad input):
    // the message, and with -o json a document {"result": code, "error"}.
    void refusal(std::string_view message, int code);
    // A -v line on standard error.
    void verbose(std::string_view message);
    void set_verbose(bool on) { verbose_ = on; }
    // A command whose output is a stream: its JSON failure documents are one
    // line each, like its items.
    void set_streaming(bool on) { streaming_ = on; }
    bool is_verbose() const { return verbose_; }

    std::FILE* stream() const { return out_; }
    std::FILE* error_stream() const { return err_; }

private:
    Format format_ = Format::text;
    bool verbose_ = false;
    bool streaming_ = false;
    std::FILE* out_;
    std::FILE* err_;
};

// The text of a result code: the client library's text, with Tervane's own
// classic codes (81 to 97) given the text of their negative equivalents.
std::string result_text(int code);
// A negative client-side code as its classic number (-1 is 81, -9 is 89);
// any other code as it is. JSON documents report this number.
int classic_code(int code);
// The exit status for a result code: its classic number, 80 for what does
// not fit in an exit status.
int exit_status(int code);

// The generic text form of a document: "key: value" lines, nested objects
// indented, arrays of numbers on one line, arrays of strings one line each.
std::string render_text(const Json& doc);

}  // namespace cli

#endif
