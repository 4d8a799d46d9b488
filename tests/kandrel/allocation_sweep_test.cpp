// Memory running out inside the component: a representative host session is
// run once to count the component's allocations and note every outcome, then
// once more for each allocation with that one failing. In every run the first
// message whose outcome differs from the full run must say so in its answer
// (a failure never looks like success); nothing may crash or leak (the host's
// live values here, LeakSanitizer in the sanitizer build), and every object
// must still be deletable.
#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <string>
#include <vector>

#include "allocation_failures.h"
#include "directory_test_support.h"

extern "C" HostAnswer HOST_CALL LDAPWndProc(HostWindow, std::uint32_t, HostWParam, HostLParam, HostCallInfo*);

namespace {

using namespace kandrel_test;
using testhost::Arg;
using testhost::Reply;

// The component linked into this program, its allocations counted while it
// handles a message.
HostAnswer HOST_CALL counted_component(HostWindow window, std::uint32_t message, HostWParam wparam,
                                       HostLParam lparam, HostCallInfo* call)
{
    const allocation::Counting counting;
    return LDAPWndProc(window, message, wparam, lparam, call);
}

// A message's outcome as text: its answer, what came back and the
// parameters it changed. Reference digits are tokens that differ from run to
// run, so only their kind is kept.
std::string outcome(const Reply& reply)
{
    auto mask = [](std::string text) {
        for (const char* prefix : {"LDAP:", "MESS:", "ENTY:", "BERE:", "CTRL:"}) {
            for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
                for (std::size_t i = at + 5; i < text.size() && i < at + 13; ++i) {
                    text[i] = '#';
                }
            }
        }
        return text;
    };
    auto value = [&](const testhost::Snapshot& snapshot) {
        return std::to_string(snapshot.type) + "/" + std::to_string(snapshot.integer) + "/" + mask(snapshot.utf8()) +
               "/" + std::to_string(snapshot.binary.size()) + "/" + std::to_string(snapshot.rows.size());
    };
    std::string text = std::to_string(reply.answer) + " " + (reply.result ? value(*reply.result) : "none");
    for (const auto& [n, changed] : reply.changed) {
        if (changed) {
            text += " (" + std::to_string(n) + ") " + value(reply.params.at(n));
        }
    }
    return text;
}

struct Step {
    std::string what;
    HostAnswer answer;
    std::string outcome;
};

// What a host session did, and what it holds that must be given back.
class HostRun {
public:
    explicit HostRun(testhost::TestHost& host) : host_(host) {}

    Reply call(HostLParam object, std::int32_t method, const std::vector<Arg>& params)
    {
        Reply reply = host_.call(object, method, params);
        note("method " + std::to_string(method), reply);
        if (reply.result) {
            keep(reply.result->utf8());
        }
        for (const auto& [n, snapshot] : reply.params) {
            keep(snapshot.utf8());
        }
        return reply;
    }
    std::string text(HostLParam object, std::int32_t method, const std::vector<Arg>& params)
    {
        const Reply reply = call(object, method, params);
        return reply.result ? reply.result->utf8() : "";
    }
    std::string param(const Reply& reply, int n) { return reply.params.count(n) ? reply.params.at(n).utf8() : ""; }
    void note(const std::string& what, const Reply& reply) { steps_.push_back({what, reply.answer, outcome(reply)}); }
    void note(const std::string& what, HostAnswer answer) { steps_.push_back({what, answer, std::to_string(answer)}); }
    HostLParam object()
    {
        objects_.push_back(fresh_instance());
        return objects_.back();
    }

    // Frees every reference the run saw and deletes its objects: each must
    // still go.
    void clean_up()
    {
        for (const std::string& reference : references_) {
            host_.call(objects_.front(), kFree, {Arg::utf8(reference)});
        }
        for (const HostLParam object : objects_) {
            EXPECT_EQ(host_.destroy(object), 0);
        }
    }
    const std::vector<Step>& steps() const { return steps_; }

private:
    void keep(const std::string& text)
    {
        for (const char* prefix : {"MESS:", "BERE:", "CTRL:"}) {
            if (text.rfind(prefix, 0) == 0) {
                references_.push_back(text);
            }
        }
    }

    testhost::TestHost& host_;
    std::vector<Step> steps_;
    std::vector<std::string> references_;
    std::vector<HostLParam> objects_;
};

using Scenario = void (*)(testhost::TestHost&, HostRun&);

// Objects, properties, tables, copies and the collection methods.
void objects_tables_and_collections(testhost::TestHost& host, HostRun& run)
{
    const HostLParam first = run.object();
    const HostLParam second = run.object();
    run.note("create", host.create(first));
    run.note("$utf8", host.get_property(first, kPropUtf8));
    run.note("set $debug", host.set_property(first, kPropDebug, Arg::boolean(false)));
    run.note("copy", host.copy(first, second));
    run.note("$session of the copy", host.get_property(second, kPropSession));
    for (const std::uint32_t table : {HOSTMSG_LIBRARY_NAME, HOSTMSG_CONSTANT_PREFIX, HOSTMSG_CLASS_TABLE,
                                      HOSTMSG_PROPERTY_TABLE, HOSTMSG_METHOD_TABLE, HOSTMSG_CONSTANT_TABLE}) {
        run.note("table " + std::to_string(table), host.message(table));
    }
    std::string collection = run.text(first, kAddAtt, {Arg::utf8(""), Arg::utf8("cn"), Arg::utf8("Ann")});
    collection = run.text(first, kAddAtt, {Arg::utf8(collection), Arg::utf8("mail"), Arg::utf8("a@example.com")});
    collection = run.text(second, kSetAtt, {Arg::utf8(collection), Arg::utf8("cn"), Arg::utf8("Bea")});
    run.call(first, kGetAtt, {Arg::utf8(collection), Arg::utf8("mail")});
    run.call(second, kGetAttArrayItem, {Arg::utf8(collection), Arg::utf8("cn"), Arg::integer(1)});
}

// A bound session against slapd: search and walk, parse, update, options,
// a control, an asynchronous search, unbind.
void directory_session(testhost::TestHost& host, HostRun& run)
{
    const HostLParam object = run.object();
    run.note("create", host.create(object));
    // A creation that failed still answers 1: the host learns it here.
    run.note("$utf8", host.get_property(object, kPropUtf8));
    run.call(object, kInit, {Arg::utf8("127.0.0.1"), Arg::integer(directory_port())});
    run.call(object, kSimpleBindS, {Arg::utf8(kAdmin), Arg::utf8(kPassword)});
    const std::string chain = run.text(object, kSearchExtS, {Arg::utf8(kMultiValued), Arg::integer(0)});
    const std::string entry = run.text(object, kFirstEntry, {Arg::utf8(chain)});
    run.call(object, kGetDn, {Arg::utf8(entry)});
    const Reply first = run.call(object, kFirstAttribute, {Arg::utf8(entry), Arg::utf8("")});
    const std::string ber = run.param(first, 2);
    run.call(object, kNextAttribute, {Arg::utf8(entry), Arg::utf8(ber)});
    run.call(object, kGetValues, {Arg::utf8(entry), Arg::utf8("mail")});
    run.call(object, kGetValuesLen, {Arg::utf8(entry), Arg::utf8("audio")});
    run.call(object, kFree, {Arg::utf8(ber)});
    run.call(object, kParseResult, {Arg::utf8(chain), Arg::integer(0), Arg::utf8(""), Arg::utf8(""), Arg::utf8(""),
                                    Arg::utf8(""), Arg::boolean(true)});
    const std::string dn = scratch_dn("Swept");
    run.call(object, kAddExtS, {Arg::utf8(dn), Arg::utf8("objectClass: inetOrgPerson\rcn: x\rsn: y\r"), Arg::utf8(""),
                                Arg::utf8("")});
    run.call(object, kModifyExtS, {Arg::utf8(dn), Arg::utf8("replace: sn\rsn: z\r"), Arg::utf8(""), Arg::utf8("")});
    run.call(object, kCompareS, {Arg::utf8(dn), Arg::utf8("sn"), Arg::utf8("z")});
    run.call(object, kDeleteExtS, {Arg::utf8(dn)});
    run.call(object, kSetOption, {Arg::integer(20482), Arg::utf8("tv_sec: 3\r")});
    run.call(object, kGetOption, {Arg::integer(20482), Arg::utf8("")});
    run.call(object, kGetOption, {Arg::integer(0), Arg::utf8("")});
    const Reply control = run.call(object, kCreatePersistentSearch, {Arg::integer(15), Arg::boolean(true),
                                                                     Arg::boolean(false), Arg::boolean(false), Arg::utf8("")});
    run.call(object, kSearchExt, {Arg::utf8(kPeople), Arg::integer(0), Arg::utf8(""), Arg::utf8(""),
                                  Arg::boolean(false), Arg::utf8(run.param(control, 5))});
    const std::string result = run.text(object, kResult, {Arg::integer(-1), Arg::integer(1), Arg::integer(5)});
    run.call(object, kCountEntries, {Arg::utf8(result)});
    run.call(object, kFree, {Arg::utf8(result)});
    run.call(object, kUnbindS, {});
}

struct Sweep {
    const char* name;
    Scenario scenario;
};

// Failures name the case, not its bytes.
void PrintTo(const Sweep& c, std::ostream* os) { *os << c.name; }

class AllocationSweep : public ::testing::TestWithParam<Sweep> {
protected:
    void SetUp() override
    {
        testhost::set_service_hooks(allocation::suspend, allocation::resume);
        host_.connect();
    }
    void TearDown() override { testhost::set_service_hooks(nullptr, nullptr); }

    // Runs the scenario with allocation fail_at failing; answers the steps
    // and, through counted, the allocations it made.
    std::vector<Step> run(long fail_at, long* counted = nullptr)
    {
        HostRun run(host_);
        allocation::plan(fail_at);
        GetParam().scenario(host_, run);
        if (counted != nullptr) {
            *counted = allocation::counted();
        }
        allocation::plan(-1);
        run.clean_up();
        return run.steps();
    }

    testhost::Component component_{counted_component};
    testhost::TestHost host_{component_};
};

TEST_P(AllocationSweep, EveryFailedAllocationShowsInTheAnswerAndLeavesNothingBehind)
{
    const std::size_t values = testhost::live_values();
    const std::size_t lists = testhost::live_lists();
    long allocations = 0;
    const std::vector<Step> full = run(-1, &allocations);
    ASSERT_GT(allocations, 0);
    ASSERT_EQ(testhost::live_values(), values);
    for (long fail_at = 0; fail_at < allocations; ++fail_at) {
        const std::vector<Step> failed = run(fail_at);
        ASSERT_EQ(failed.size(), full.size());
        for (std::size_t i = 0; i < full.size(); ++i) {
            if (failed[i].outcome != full[i].outcome) {
                EXPECT_NE(failed[i].answer, full[i].answer)
                    << "allocation " << fail_at << " of " << allocations << ": " << full[i].what
                    << " answered as if it worked, with " << failed[i].outcome << " instead of " << full[i].outcome;
                break;
            }
        }
        ASSERT_EQ(testhost::live_values(), values) << "allocation " << fail_at;
        ASSERT_EQ(testhost::live_lists(), lists) << "allocation " << fail_at;
        ASSERT_EQ(testhost::bad_handles(), 0u) << "allocation " << fail_at;
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, AllocationSweep,
                         ::testing::Values(Sweep{"ObjectsTablesAndCollections", objects_tables_and_collections},
                                           Sweep{"DirectorySession", directory_session}),
                         [](const ::testing::TestParamInfo<Sweep>& info) { return std::string(info.param.name); });

}  // namespace
