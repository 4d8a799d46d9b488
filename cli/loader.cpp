// Bulk loading: LDIF records sent as one bulk-update stream in batches,
// several batches in flight, a progress bar on a terminal, a report of every
// failed record and a closing summary.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "interrupt.h"
#include "ldif_reader.h"
#include "progress.h"
#include "tervane_owners.h"

namespace cli {
namespace {

constexpr const char* kProgram = "tervane load";
constexpr int kDefaultBatch = 500;
constexpr int kDefaultWindow = 4;

// One operation of a batch and whatever it points to beyond the record.
struct BatchOperation {
    lburp_operation operation{};
    lburp_rename rename{};  // what an extended rename points to
};

// The bulk-stream operation for one parsed LDIF record; false for a change
// type the stream does not carry. Renames are the only records whose shape
// depends on the library's rename fields: this is the one place that knows
// them.
bool to_operation(const LDIFRecord& record, BatchOperation& into)
{
    lburp_operation& op = into.operation;
    op = lburp_operation{};
    op.dn = record.lr_dn.bv_val;
    op.controls = record.lr_ctrls;
    switch (record.lr_op) {
    case LDAP_REQ_ADD:
        op.type = LBURP_OP_ADD;
        op.specific = record.lrop_mods;
        return true;
    case LDAP_REQ_MODIFY: {
        // A modify of nothing is valid LDIF (and LDAP); libldap gives it no
        // list at all, the stream an empty one.
        static LDAPMod* no_changes[] = {nullptr};
        op.type = LBURP_OP_MODIFY;
        op.specific = record.lrop_mods != nullptr ? record.lrop_mods : no_changes;
        return true;
    }
    case LDAP_REQ_DELETE:
        op.type = LBURP_OP_DELETE;
        return true;
    case LDAP_REQ_MODRDN:
        // The LDIF record always says what becomes of the old RDN and may
        // name a new parent: the extended rename carries both.
        into.rename = lburp_rename{record.lrop_newrdn.bv_val, record.lrop_delold, record.lrop_newsup.bv_val};
        op.type = LBURP_OP_RENAME_EXTENDED;
        op.specific = &into.rename;
        return true;
    default:
        return false;
    }
}

struct SentRecord {
    unsigned long number;
    unsigned long line;
    std::string dn;
};

struct Batch {
    int sequence = 0;
    std::vector<SentRecord> records;
};

struct Settings {
    std::string path;
    int batch_size = kDefaultBatch;
    int window = kDefaultWindow;
    unsigned long continue_from = 1;
    bool check_first = true;
};

// Where failed records are reported: the --report file or standard output.
class FailureReport {
public:
    FailureReport(Output& output, const std::string& path) : output_(output)
    {
        if (!path.empty()) {
            file_ = std::fopen(path.c_str(), "w");
            if (file_ == nullptr)
                throw InputError(path + ": " + std::strerror(errno));
        }
    }
    ~FailureReport()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    FailureReport(const FailureReport&) = delete;
    FailureReport& operator=(const FailureReport&) = delete;

    void add(const SentRecord& record, int code, const std::string& message)
    {
        std::FILE* to = file_ != nullptr ? file_ : output_.stream();
        if (output_.format() == Format::json) {
            Json line{{"record", record.number}, {"line", record.line}, {"dn", text_value(record.dn.c_str())},
                      {"result", code},          {"error", result_text(code)}, {"message", message}};
            std::fprintf(to, "%s\n", line.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        } else {
            std::fprintf(to, "line %lu: %s: %s (%d)%s%s\n", record.line, record.dn.c_str(), result_text(code).c_str(),
                         code, message.empty() ? "" : ": ", message.c_str());
        }
        std::fflush(to);
    }

private:
    Output& output_;
    std::FILE* file_ = nullptr;
};

const char* change_name(const LDIFRecord& record)
{
    switch (record.lr_op) {
    case LDAP_REQ_ADD: return "add";
    case LDAP_REQ_MODIFY: return "modify";
    case LDAP_REQ_DELETE: return "delete";
    case LDAP_REQ_MODRDN: return "modrdn";
    default: return "unknown";
    }
}

// Reads the whole input once without sending anything: the number of
// records, or InputError at the first record that is not valid LDIF. Each
// record is shown to visit, with its number, when there is one.
unsigned long check_input(const std::string& path,
                          const std::function<void(unsigned long, const ParsedRecord&)>& visit = {})
{
    LdifReader reader(path);
    RecordText text;
    unsigned long records = 0;
    while (reader.next(text)) {
        ParsedRecord record(std::move(text));
        BatchOperation operation;
        // libldap has written the reason with the offending line.
        if (!record.parse(kProgram))
            throw InputError(path + ": not a valid LDIF record (the line above); nothing was sent");
        if (record.is_version())
            continue;
        if (!to_operation(record.record(), operation))
            throw InputError(path + ": line " + std::to_string(record.line()) +
                             ": a change type the bulk stream does not carry; nothing was sent");
        ++records;
        if (visit)
            visit(records, record);
    }
    return records;
}

class Loader {
public:
    Loader(Invocation& call, LDAP* ld, const Settings& settings, FailureReport& report, unsigned long total)
        : call_(call), ld_(ld), settings_(settings), report_(report),
          progress_(call.out().error_stream(), total, true)
    {
    }

    int run();

private:
    MessagePtr wait(int msgid, bool give_up_on_interrupt);
    void start();
    void stream();
    void send(std::vector<std::unique_ptr<ParsedRecord>>& pending);
    void receive_one();
    void settle(const Batch& batch, LDAPMessage* message);
    void stop(int code, const std::string& text, const Batch* batch);
    void end();
    int summary();

    Invocation& call_;
    LDAP* ld_;
    const Settings& settings_;
    FailureReport& report_;
    Progress progress_;
    std::map<int, Batch> in_flight_;  // by message id
    int next_sequence_ = 1;
    unsigned long sent_ = 0, succeeded_ = 0, failed_ = 0, unconfirmed_ = 0, skipped_ = 0;
    int first_failure_code_ = 0;
    bool stopped_ = false;
    int stop_code_ = 0;
    std::string stop_text_;
    unsigned long resume_from_ = 0;
    bool input_error_ = false;
    bool connection_lost_ = false;
    int batch_size_ = settings_.batch_size;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// The answer with msgid (LDAP_RES_ANY: any), polling for interrupts; null
// when interrupted (if asked to give up then) or when the connection failed,
// which stops the stream. The bulk stream has no intermediate responses: one
// that a server sends anyway is dropped unread, as the answer follows it.
MessagePtr Loader::wait(int msgid, bool give_up_on_interrupt)
{
    for (;;) {
        timeval poll{0, 200000};
        LDAPMessage* raw = nullptr;
        int type = ldap_result(ld_, msgid, LDAP_MSG_ONE, &poll, &raw);
        MessagePtr message(raw);
        if (type == LDAP_RES_INTERMEDIATE)
            continue;
        if (type > 0)
            return message;
        if (type < 0) {
            int code = LDAP_SERVER_DOWN;
            ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &code);
            connection_lost_ = true;
            stop(code != LDAP_SUCCESS ? code : LDAP_SERVER_DOWN, "no answer from the server", nullptr);
            return nullptr;
        }
        if (give_up_on_interrupt && interrupted())
            return nullptr;
    }
}

void Loader::start()
{
    int msgid = 0;
    call_.check(ldap_lburp_start_request(ld_, &msgid), "ldap_lburp_start_request");
    MessagePtr message = wait(msgid, true);
    if (!message) {
        call_.out().failure("starting the bulk stream", stop_code_ != 0 ? stop_code_ : kExitUserCancelled);
        throw Failed{stop_code_ != 0 ? stop_code_ : kExitUserCancelled};
    }
    int code = 0, start_value = 0;
    LdapString text;
    call_.check(ldap_parse_lburp_start_response(ld_, message.get(), &code, out(text), &start_value, 0),
                "ldap_parse_lburp_start_response");
    if (code != LDAP_SUCCESS) {
        call_.out().failure("starting the bulk stream", code, text ? text.get() : "");
        throw Failed{code};
    }
    call_.out().verbose("bulk stream started (server value " + std::to_string(start_value) + ")");
    // The start answer holds the most operations a batch may hold: larger
    // batches are cut to it.
    if (start_value > 0 && start_value < batch_size_) {
        call_.out().verbose("batches of " + std::to_string(start_value) + " records, the most the server takes, not " +
                            std::to_string(batch_size_));
        batch_size_ = start_value;
    }
}

void Loader::stop(int code, const std::string& text, const Batch* batch)
{
    if (!stopped_) {
        stopped_ = true;
        stop_code_ = code;
        stop_text_ = text;
    }
    if (batch != nullptr && !batch->records.empty()) {
        unconfirmed_ += batch->records.size();
        unsigned long first = batch->records.front().number;
        resume_from_ = resume_from_ == 0 ? first : std::min(resume_from_, first);
    }
}

void Loader::send(std::vector<std::unique_ptr<ParsedRecord>>& pending)
{
    if (pending.empty())
        return;
    std::vector<BatchOperation> operations(pending.size());
    std::vector<lburp_operation*> list;
    Batch batch;
    batch.sequence = next_sequence_++;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        to_operation(pending[i]->record(), operations[i]);
        list.push_back(&operations[i].operation);
        batch.records.push_back({sent_ + skipped_ + i + 1, pending[i]->line(), pending[i]->dn()});
    }
    list.push_back(nullptr);
    int msgid = 0;
    int rc = ldap_lburp_operation_request(ld_, batch.sequence, list.data(), &msgid);
    sent_ += pending.size();
    pending.clear();  // the request holds its own copy of everything
    if (rc != LDAP_SUCCESS) {
        connection_lost_ = connection_lost_ || rc == LDAP_SERVER_DOWN;
        stop(rc, "the batch could not be sent", &batch);
        return;
    }
    in_flight_.emplace(msgid, std::move(batch));
    while (!stopped_ && in_flight_.size() >= static_cast<std::size_t>(settings_.window))
        receive_one();
}

void Loader::settle(const Batch& batch, LDAPMessage* message)
{
    int code = 0, count = 0;
    LdapString text;
    TervanePtr<lburp_operation_result> results;
    int rc = ldap_parse_lburp_operation_response(ld_, message, &code, out(text), &count, out(results), 0);
    if (rc != LDAP_SUCCESS) {
        stop(rc, "the answer to batch " + std::to_string(batch.sequence) + " could not be read", &batch);
        return;
    }
    if (code != LDAP_SUCCESS && count == 0) {
        stop(code, text ? text.get() : "", &batch);
        return;
    }
    unsigned long failures = 0;
    for (int i = 0; i < count; ++i) {
        lburp_operation_result& result = results.get()[i];
        std::string message_text = result.error_message != nullptr ? result.error_message : "";
        ldap_memfree(result.error_message);
        result.error_message = nullptr;
        if (result.result_code == LDAP_SUCCESS)
            continue;
        ++failures;
        if (first_failure_code_ == 0)
            first_failure_code_ = result.result_code;
        // The server numbers the operations of a batch from 1.
        int number = result.operation_number;
        SentRecord unknown{0, 0, "(operation " + std::to_string(number) + " of batch " +
                                     std::to_string(batch.sequence) + ")"};
        const SentRecord& record = number >= 1 && static_cast<std::size_t>(number) <= batch.records.size()
                                       ? batch.records[static_cast<std::size_t>(number - 1)]
                                       : unknown;
        progress_.clear();
        report_.add(record, result.result_code, message_text);
    }
    failures = std::min<unsigned long>(failures, batch.records.size());
    failed_ += failures;
    succeeded_ += batch.records.size() - failures;
    progress_.update(succeeded_ + failed_);
}

void Loader::receive_one()
{
    MessagePtr message = wait(LDAP_RES_ANY, false);
    if (!message) {
        for (auto& [msgid, batch] : in_flight_)
            stop(stop_code_, stop_text_, &batch);
        in_flight_.clear();
        return;
    }
    auto found = in_flight_.find(ldap_msgid(message.get()));
    if (found == in_flight_.end())
        return;
    settle(found->second, message.get());
    in_flight_.erase(found);
}

void Loader::stream()
{
    LdifReader reader(settings_.path);
    std::vector<std::unique_ptr<ParsedRecord>> pending;
    RecordText text;
    unsigned long number = 0;
    while (!stopped_ && !interrupted() && reader.next(text)) {
        auto record = std::make_unique<ParsedRecord>(std::move(text));
        BatchOperation check;
        // Only unchecked input (standard input, --no-check) gets here.
        if (!record->parse(kProgram)) {
            call_.out().error(settings_.path + ": record " + std::to_string(sent_ + skipped_ + pending.size() + 1) +
                              " is not valid LDIF (the line above); stopping");
            input_error_ = true;
            break;
        }
        if (!record->is_version() && !to_operation(record->record(), check)) {
            call_.out().error(settings_.path + ": line " + std::to_string(record->line()) +
                              ": a change type the bulk stream does not carry; stopping");
            input_error_ = true;
            break;
        }
        if (record->is_version())
            continue;
        if (++number < settings_.continue_from) {
            ++skipped_;
            continue;
        }
        pending.push_back(std::move(record));
        if (pending.size() >= static_cast<std::size_t>(batch_size_))
            send(pending);
    }
    // The records read before an interruption or a bad record are sent;
    // the load resumes with the first record not sent.
    if (!stopped_)
        send(pending);
    while (!in_flight_.empty())
        receive_one();
    if ((interrupted() || input_error_) && resume_from_ == 0)
        resume_from_ = sent_ + skipped_ + 1;
    // Input that could not be counted first may end before the record to
    // start with: that is no success.
    if (!stopped_ && !input_error_ && !interrupted() && skipped_ + 1 < settings_.continue_from) {
        call_.out().error("--continue-from " + std::to_string(settings_.continue_from) + ": " + settings_.path +
                          " held " + std::to_string(skipped_) + " records; nothing was sent");
        input_error_ = true;
    }
}

void Loader::end()
{
    if (connection_lost_)
        return;  // nothing more can be sent; the server ends the stream with the connection
    int msgid = 0;
    int rc = ldap_lburp_end_request(ld_, next_sequence_, &msgid);
    if (rc != LDAP_SUCCESS) {
        call_.out().failure("ldap_lburp_end_request", rc);
        stop(rc, "", nullptr);
        return;
    }
    MessagePtr message = wait(msgid, false);
    if (!message)
        return;
    int code = 0;
    LdapString text;
    rc = ldap_parse_lburp_end_response(ld_, message.get(), &code, out(text), 0);
    if (rc != LDAP_SUCCESS || code != LDAP_SUCCESS) {
        int failure = rc != LDAP_SUCCESS ? rc : code;
        call_.out().failure("ending the bulk stream", failure, text ? text.get() : "");
        if (!stopped_) {
            stopped_ = true;
            stop_code_ = failure;
        }
    }
}

int Loader::summary()
{
    progress_.clear();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    double rate = seconds > 0 ? static_cast<double>(succeeded_ + failed_) / seconds : 0;
    Json numbers{{"records", sent_},        {"succeeded", succeeded_}, {"failed", failed_},
                 {"unconfirmed", unconfirmed_}, {"skipped", skipped_},     {"batches", next_sequence_ - 1},
                 {"seconds", static_cast<double>(static_cast<long>(seconds * 1000)) / 1000},
                 {"records_per_second", static_cast<long>(rate)}};
    char text[256];
    std::snprintf(text, sizeof text, "%lu records sent: %lu succeeded, %lu failed, %lu unconfirmed (%.1f s, %.0f records/s)\n",
                  sent_, succeeded_, failed_, unconfirmed_, seconds, rate);
    std::string line = text;
    if (stopped_)
        line += "the stream stopped: " + result_text(stop_code_) + " (" + std::to_string(stop_code_) + ")" +
                (stop_text_.empty() ? "" : ": " + stop_text_) + "\n";
    if (interrupted() && !stopped_)
        line += "interrupted: every record sent was answered, and the stream was ended\n";
    if (resume_from_ != 0) {
        numbers["resume_from"] = resume_from_;
        // A bad record stops every run that starts with it.
        line += input_error_ ? "correct record " + std::to_string(resume_from_) + ", then run again with " +
                                   "--continue-from " + std::to_string(resume_from_) + "\n"
                             : "to resume, run again with --continue-from " + std::to_string(resume_from_) + "\n";
    }
    if (call_.out().format() == Format::json)
        call_.out().item(Json{{"summary", numbers}});
    else
        call_.out().document(numbers, line);
    if (stopped_)
        return stop_code_;
    if (input_error_)
        return kExitBadParameter;
    // A record's result is the server's: one that is no LDAP result code
    // (a negative number) is not the command's own bad-parameter status.
    if (first_failure_code_ < 0)
        return kExitOther;
    if (interrupted())
        return kExitUserCancelled;
    return first_failure_code_;
}

int Loader::run()
{
    start();
    catch_interrupts();
    stream();
    end();
    return summary();
}

int load(Invocation& call)
{
    call.out().set_streaming(true);
    Settings settings;
    settings.path = call.has_arg(0) ? call.arg(0) : "-";
    settings.batch_size = call.integer("batch", kDefaultBatch);
    settings.window = call.integer("window", kDefaultWindow);
    int continue_from = call.integer("continue-from", 1);
    settings.check_first = !call.has("no-check");
    if (settings.batch_size < 1 || settings.batch_size > 100000)
        throw UsageError("load: --batch must be 1 to 100000");
    if (settings.window < 1 || settings.window > 64)
        throw UsageError("load: --window must be 1 to 64");
    if (continue_from < 1)
        throw UsageError("load: --continue-from counts records from 1");
    settings.continue_from = static_cast<unsigned long>(continue_from);

    unsigned long total = 0;
    bool dry_run = call.connection().dry_run;
    bool counted = false;
    {
        LdifReader probe(settings.path);
        if ((settings.check_first && probe.rereadable()) || dry_run) {
            // Under -n each record that would be sent is shown.
            auto show = [&](unsigned long number, const ParsedRecord& record) {
                if (number < settings.continue_from)
                    return;
                if (call.out().format() == Format::json)
                    call.out().item(Json{{"record", number},
                                         {"line", record.line()},
                                         {"change", change_name(record.record())},
                                         {"dn", text_value(record.dn().c_str())}});
                else
                    std::fprintf(call.out().stream(), "record %lu, line %lu: %s %s\n", number, record.line(),
                                 change_name(record.record()), record.dn().c_str());
            };
            total = dry_run ? check_input(settings.path, show) : check_input(settings.path);
            counted = true;
            call.out().verbose(settings.path + ": " + std::to_string(total) + " records checked");
        }
    }
    if (counted && settings.continue_from > total + 1)
        throw InputError("--continue-from " + std::to_string(settings.continue_from) + ": " + settings.path +
                         " holds " + std::to_string(total) + " records; nothing was sent");
    if (dry_run) {
        call.out().document(Json{{"file", settings.path}, {"records", total}});
        return 0;
    }
    total = total >= settings.continue_from - 1 ? total - (settings.continue_from - 1) : 0;
    FailureReport report(call.out(), call.value("report"));
    LDAP* ld = call.session();
    Loader loader(call, ld, settings, report, total);
    return loader.run();
}

const Command kCommands[] = {
    {"load", nullptr, "[FILE.ldif]", "load LDIF records (a file, or standard input) through the bulk stream", 0, 1,
     {{"batch", "N", "records per batch (default 500)"},
      {"window", "N", "batches in flight at once (default 4)"},
      {"continue-from", "N", "start at record N, skipping those before it"},
      {"report", "FILE", "write the failed records to FILE (default: standard output)"},
      {"no-check", nullptr, "do not read a file through once before sending"}},
     load},
};

}  // namespace

std::span<const Command> loader_commands() { return kCommands; }

}  // namespace cli
