// LDIF records from a file or standard input, read and parsed by libldap's
// own LDIF reader (ldif_read_record, ldap_parse_ldif_record): change records
// and plain entries (taken as adds).
#ifndef CLI_LDIF_READER_H
#define CLI_LDIF_READER_H

#include <cstdio>
#include <memory>
#include <string>

#include "ldap_client.h"

#include <ldif.h>

namespace cli {

// One record's text as read: where it starts and the line of its "dn:".
struct RecordText {
    unsigned long first_line = 0;
    unsigned long dn_line = 0;
    std::unique_ptr<char[]> text;  // NUL-terminated; parsing writes into it
    std::size_t length = 0;
};

// A parsed record. Its fields point into the text it was parsed from, which
// it owns, so it never moves.
class ParsedRecord {
public:
    explicit ParsedRecord(RecordText text);
    ~ParsedRecord();
    ParsedRecord(const ParsedRecord&) = delete;
    ParsedRecord& operator=(const ParsedRecord&) = delete;

    // Parses the text; false when it is not a valid LDIF record (libldap has
    // then written its reason, prefixed with program, on standard error).
    bool parse(const char* program);
    // A record that holds only "version: 1".
    bool is_version() const { return record_.lr_op == 0; }
    const LDIFRecord& record() const { return record_; }
    unsigned long line() const { return text_.dn_line; }
    std::string dn() const;

private:
    RecordText text_;
    LDIFRecord record_{};
    bool parsed_ = false;
};

class LdifReader {
public:
    // path "-" reads standard input.
    explicit LdifReader(const std::string& path);
    ~LdifReader();
    LdifReader(const LdifReader&) = delete;
    LdifReader& operator=(const LdifReader&) = delete;

    // The next record's text, or false at the end of the input.
    bool next(RecordText& into);
    // Whether the input is a regular file, which can be read twice.
    bool rereadable() const { return rereadable_; }

private:
    LDIFFP* file_ = nullptr;
    LDIFFP standard_input_{};
    bool rereadable_ = false;
    unsigned long line_ = 0;
    char* buffer_ = nullptr;
    int buffer_size_ = 0;
};

}  // namespace cli

#endif
