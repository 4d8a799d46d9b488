#include "ldif_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "command.h"

namespace cli {

ParsedRecord::ParsedRecord(RecordText text) : text_(std::move(text)) {}

ParsedRecord::~ParsedRecord()
{
    if (parsed_)
        ldap_ldif_record_done(&record_);
}

bool ParsedRecord::parse(const char* program)
{
    berval buffer{static_cast<ber_len_t>(text_.length), text_.text.get()};
    // Plain entries are adds; change records keep their changetype.
    parsed_ = true;
    return ldap_parse_ldif_record(&buffer, text_.first_line, &record_, program, LDIF_DEFAULT_ADD) == 0;
}

std::string ParsedRecord::dn() const
{
    return record_.lr_dn.bv_val != nullptr ? std::string(record_.lr_dn.bv_val, record_.lr_dn.bv_len) : std::string();
}

LdifReader::LdifReader(const std::string& path)
{
    if (path == "-") {
        standard_input_.fp = stdin;
        file_ = &standard_input_;
        return;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw InputError(path + ": " + std::strerror(errno));
    if (S_ISDIR(status.st_mode))
        throw InputError(path + ": is a directory");
    file_ = ldif_open(path.c_str(), "r");
    if (file_ == nullptr)
        throw InputError(path + ": " + std::strerror(errno));
    rereadable_ = S_ISREG(status.st_mode);
}

LdifReader::~LdifReader()
{
    ber_memfree(buffer_);
    if (file_ != nullptr && file_ != &standard_input_)
        ldif_close(file_);
}

bool LdifReader::next(RecordText& into)
{
    unsigned long before = line_;
    int rc = ldif_read_record(file_, &line_, &buffer_, &buffer_size_);
    if (rc <= 0 || buffer_ == nullptr)
        return false;
    std::size_t length = std::strlen(buffer_);
    // The reader counts every line it consumed, the blank line that ended
    // the record included (none at the end of the input); the text holds
    // the record's own lines, comments included.
    std::size_t lines = 0;
    for (std::size_t i = 0; i < length; ++i)
        lines += buffer_[i] == '\n';
    if (length > 0 && buffer_[length - 1] != '\n')
        ++lines;
    bool ended_by_blank = file_->fp != nullptr && !std::feof(file_->fp);
    unsigned long first = line_ - lines - (ended_by_blank ? 1 : 0) + 1;
    if (first <= before || first > line_)
        first = before + 1;
    unsigned long dn_line = first;
    for (const char* p = buffer_; *p == '#';) {
        const char* end = std::strchr(p, '\n');
        if (end == nullptr)
            break;
        p = end + 1;
        ++dn_line;
    }
    into.first_line = first;
    into.dn_line = dn_line;
    into.text.reset(new char[length + 1]);
    std::memcpy(into.text.get(), buffer_, length + 1);
    into.length = length;
    return true;
}

}  // namespace cli
