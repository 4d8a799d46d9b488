// Object backup and restore, to and from files.
//
// A backup file is a short text header and the object's bytes:
//   tervane-object-backup 1
//   dn: <DN backed up>
//   extra: <EXTRA sent>
//   sizes: <count;size;...;>
//   length: <bytes>
//   state: <n+m>
//   <empty line>
//   <length bytes of object data>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "command.h"
#include "tervane_owners.h"

namespace cli {
namespace {

constexpr const char* kMagic = "tervane-object-backup 1";

struct BackupFile {
    std::map<std::string, std::string> header;
    std::string data;
};

// Writes the file next to its final name and renames it into place, so that
// a failed backup never leaves a truncated file where an older one was.
void write_backup(const std::string& path, const BackupFile& backup)
{
    std::string temporary = path + ".partial";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file)
            throw InputError(temporary + ": " + std::strerror(errno));
        file << kMagic << "\n";
        for (const char* key : {"dn", "extra", "sizes", "length", "state"})
            if (auto it = backup.header.find(key); it != backup.header.end())
                file << key << ": " << it->second << "\n";
        file << "\n";
        file.write(backup.data.data(), static_cast<std::streamsize>(backup.data.size()));
        if (!file.flush())
            throw InputError(temporary + ": write failed");
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        std::remove(temporary.c_str());
        throw InputError(path + ": " + std::strerror(error));
    }
}

BackupFile read_backup(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw InputError(path + ": " + std::strerror(errno));
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto bad = [&](const std::string& why) { return InputError(path + ": not a backup file: " + why); };
    BackupFile backup;
    std::size_t p = 0;
    auto next_line = [&]() -> std::string {
        std::size_t end = content.find('\n', p);
        if (end == std::string::npos)
            throw bad("the header has no end");
        std::string line = content.substr(p, end - p);
        p = end + 1;
        return line;
    };
    if (next_line() != kMagic)
        throw bad("the first line is not '" + std::string(kMagic) + "'");
    for (std::string line = next_line(); !line.empty(); line = next_line()) {
        std::size_t colon = line.find(": ");
        if (colon == std::string::npos)
            throw bad("header line '" + line + "' is not 'name: value'");
        backup.header[line.substr(0, colon)] = line.substr(colon + 2);
    }
    for (const char* key : {"sizes", "length"})
        if (backup.header.count(key) == 0)
            throw bad(std::string("no '") + key + "' line");
    int length = -1;
    try {
        length = parse_int(backup.header["length"], "length");
    } catch (const UsageError&) {
        throw bad("the length is not a number");
    }
    if (length < 0 || static_cast<std::size_t>(length) != content.size() - p)
        throw bad("the length says " + backup.header["length"] + " bytes but " + std::to_string(content.size() - p) +
                  " follow the header");
    const std::string& sizes = backup.header["sizes"];
    if (sizes.empty() || sizes.find_first_not_of("0123456789;") != std::string::npos ||
        sizes.find_first_of("0123456789") == std::string::npos)
        throw bad("the size list '" + sizes + "' is not 'count;size;...;'");
    backup.data = content.substr(p);
    return backup;
}

// Whether two DNs name the same entry, as far as this side can tell: equal
// once libldap has normalised their form and the case of their letters.
bool same_dn(const std::string& a, const std::string& b)
{
    auto normal = [](const std::string& dn) {
        char* text = nullptr;
        if (ldap_dn_normalize(dn.c_str(), LDAP_DN_FORMAT_LDAPV3, &text, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
            return dn;
        std::string copy = text;
        ldap_memfree(text);
        for (char& c : copy)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return copy;
    };
    return normal(a) == normal(b);
}

int backup(Invocation& call)
{
    std::string dn = call.arg(0), path = call.arg(1);
    std::string extra = call.value("extra");
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    // A first call: the library stores the state text for a following call,
    // which this command reports but cannot hand back in a later run (the
    // library takes back only texts it allocated itself).
    TervaneString state_text;
    TervaneString data, sizes;
    int length = 0;
    call.check(ldap_backup_object(ld, dn.data(), call.has("extra") ? extra.data() : nullptr, out(state_text),
                                  out(data), out(sizes), &length),
               "ldap_backup_object");
    BackupFile file;
    file.header = {{"dn", dn},
                   {"extra", extra},
                   {"sizes", sizes.get()},
                   {"length", std::to_string(length)},
                   {"state", state_text ? state_text.get() : ""}};
    file.data.assign(data.get(), static_cast<std::size_t>(length));
    write_backup(path, file);
    call.out().document(Json{{"dn", dn},
                             {"file", path},
                             {"length", length},
                             {"sizes", sizes.get()},
                             {"state", state_text ? state_text.get() : ""}});
    return 0;
}

int restore(Invocation& call)
{
    std::string dn = call.arg(0), path = call.arg(1);
    BackupFile file = read_backup(path);
    // The object's data names the entry it was copied from; it goes back
    // there, and a server refuses it under another name.
    if (!same_dn(dn, file.header["dn"]))
        throw InputError("restore: " + path + " holds the object " + file.header["dn"] + ", not " + dn +
                         "; nothing was sent");
    std::string extra = call.has("extra") ? call.value("extra") : file.header["extra"];
    std::string sizes = file.header["sizes"];
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_restore_object(ld, dn.data(), extra.data(), file.data.data(), sizes.data(),
                                   static_cast<int>(file.data.size())),
               "ldap_restore_object");
    call.out().done(Json{{"dn", dn}, {"file", path}, {"length", file.data.size()}, {"sizes", sizes}});
    return 0;
}

const OptionSpec kExtra{"extra", "TEXT", "the text sent after the DN (default: empty; restore: the file's)"};

const Command kCommands[] = {
    {"backup", nullptr, "DN FILE", "copy the object DN out of the server into FILE", 2, 2,
     {kExtra}, backup},
    {"restore", nullptr, "DN FILE", "put the object in FILE back as DN", 2, 2, {kExtra}, restore},
};

}  // namespace

std::span<const Command> backup_commands() { return kCommands; }

}  // namespace cli
