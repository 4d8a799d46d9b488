// Every decoder that builds a list, run at the sizes where its storage is
// exactly full and one past: the growth steps of the growing arrays and texts,
// and the counts that the rest of a value can just hold. The sanitizer build
// turns any write or read past the storage into a failure.
#include <string>
#include <vector>

#include "backup.h"
#include "event_records.h"
#include "extended_result.h"
#include "peer_fixture.h"
#include "replication_filter.h"

namespace d = der;

namespace {

// Element counts around every doubling of an array that starts at 1 or 4.
const std::vector<int> kCounts{0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17};

berval bytes_of(const std::string& value) { return {value.size(), const_cast<char*>(value.data())}; }

// Zero-length INTEGER and ENUMERATED: the fewest bytes an element can take
// (liblber reads them as 0).
const std::string kEmptyInteger("\x02\x00", 2);
const std::string kEmptyEnumerated("\x0a\x00", 2);

std::string repeated(const std::string& element, int count)
{
    std::string run;
    for (int n = 0; n < count; ++n)
        run += element;
    return run;
}

struct RecordFree {
    void operator()(event_record* record) const { ldap_event_free(record); }
};

// Decodes an event of data type n holding fields; 0 or the failure.
int decode_event(int n, const std::string& fields, std::unique_ptr<event_record, RecordFree>& record)
{
    std::string value = d::sequence({d::integer(7), d::integer(0), d::element(static_cast<std::uint8_t>(0x60 + n), fields)});
    berval bytes = bytes_of(value);
    int type = 0, result = 0;
    event_record* decoded = nullptr;
    int rc = tervane::decode_event_notification(bytes, &type, &result, &decoded);
    record.reset(decoded);
    return rc;
}

}  // namespace

TEST(DecoderCapacity, MonitorListTakesTheCountTheValueJustHoldsAndNoMore)
{
    const std::string smallest = d::sequence({kEmptyInteger, kEmptyEnumerated});  // 6 bytes
    for (int n : kCounts) {
        for (int count : {n, n + 1}) {
            std::string value = d::sequence({d::integer(count), d::element(0x31, repeated(smallest, n))});
            berval bytes = bytes_of(value);
            int spec_count = -1;
            event_spec* specs = nullptr;
            int rc = tervane::decode_monitor_response(bytes, &spec_count, &specs);
            if (count == n) {
                EXPECT_EQ(rc, 0) << n;
                EXPECT_EQ(spec_count, n);
                for (int i = 0; i < spec_count; ++i)
                    EXPECT_EQ(specs[i].event_type + specs[i].status, 0);
            } else {
                EXPECT_EQ(rc, 84) << n;
                EXPECT_EQ(specs, nullptr);
            }
            tervane_memfree(specs);
        }
    }
}

TEST(DecoderCapacity, OperationResultsAlwaysKeepTheirSpareEntry)
{
    for (int n : kCounts) {
        std::string value;
        for (int i = 0; i < n; ++i)
            value += d::sequence({d::integer(i), d::sequence({d::integer(0), d::octets(""), d::octets("m")})});
        berval bytes = bytes_of(value);
        int count = -1;
        lburp_operation_result* results = nullptr;
        ASSERT_EQ(tervane::decode_operation_response(bytes, &count, &results), 0) << n;
        ASSERT_EQ(count, n);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(results[i].operation_number, i);
        EXPECT_EQ(results[n].operation_number, 0);  // the spare entry, zeroed
        EXPECT_EQ(results[n].error_message, nullptr);
        tervane::release_operation_results(results, count);
    }
}

TEST(DecoderCapacity, EventStringListsHoldEveryStringAndTheirTerminator)
{
    for (int n : kCounts) {
        std::string entries;
        for (int i = 0; i < n; ++i)
            entries += d::sequence({d::octets(std::to_string(i))});
        std::unique_ptr<event_record, RecordFree> record;
        std::string prefix = d::sequence({d::integer(1), d::integer(2), d::octets("p")});
        ASSERT_EQ(decode_event(20, d::concat({prefix, d::integer(1), d::integer(2), d::octets("a"), d::octets("b"),
                                              d::integer(3), d::element(0x30, entries)}),
                               record),
                  0)
            << n;
        char** list = record->r20.list;
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(std::string(list[i]), std::to_string(i));
        EXPECT_EQ(list[n], nullptr);
    }
}

TEST(DecoderCapacity, EventCountsTakeWhatTheRestOfTheValueJustHolds)
{
    const std::string smallest_value = d::sequence({kEmptyInteger, d::octets("")});  // 6 bytes
    const std::string smallest_triple = d::sequence({kEmptyInteger, kEmptyInteger, kEmptyInteger});  // 8 bytes
    for (int n : {1, 2, 5}) {
        for (int count : {n, n + 1}) {
            std::unique_ptr<event_record, RecordFree> record;
            // Layout 6: the value list ends the value.
            int rc = decode_event(6, d::concat({d::octets("a"), d::integer(1), d::octets("b"),
                                                d::sequence({d::integer(count), d::element(0x30, repeated(smallest_value, n))})}),
                                  record);
            EXPECT_EQ(rc, count == n ? 0 : 84) << "values " << n << " of " << count;
            if (rc == 0) {
                EXPECT_EQ(record->r6.count, n);
            }
            // Layout 16: triples of kind 7 end the value.
            rc = decode_event(16, d::concat({d::integer(1), d::integer(2), d::octets("a"), d::octets("b"), d::integer(3),
                                             d::integer(1),
                                             d::sequence({d::sequence({d::integer(count),
                                                                       d::element(0x30, repeated(smallest_triple, n))},
                                                                      0x87)})}),
                              record);
            EXPECT_EQ(rc, count == n ? 0 : 84) << "triples " << n << " of " << count;
            if (rc == 0) {
                EXPECT_EQ(record->r16.values[0].value1.number, n);
            }
        }
    }
}

TEST(DecoderCapacity, BackupSizeListGrowsPastEveryDoublingOfItsText)
{
    // "count;" then "1;" per chunk: the text crosses 32, 64 and 128 bytes.
    for (int n = 0; n < 70; ++n) {
        std::string set;
        std::string expected = std::to_string(n) + ";";
        for (int i = 0; i < n; ++i) {
            set += d::sequence({d::integer(1)});
            expected += "1;";
        }
        std::string value = d::concat({d::integer(1), d::integer(1), d::integer(1), d::octets("x"),
                                       d::sequence({d::integer(n), d::element(0x31, set)})});
        berval bytes = bytes_of(value);
        int length = -1;
        tervane::BackupResponse response;
        ASSERT_EQ(tervane::decode_backup_response(bytes, &length, response), 0) << n;
        EXPECT_EQ(std::string(response.size_list.get()), expected);
    }
}

TEST(DecoderCapacity, FilterAttributeListsGrowPastEveryDoubling)
{
    for (int n : kCounts) {
        std::string attributes;
        std::string expected = "C$";
        for (int i = 0; i < n; ++i) {
            attributes += d::octets("a" + std::to_string(i));
            expected += "a" + std::to_string(i) + "$";
        }
        expected += "$$";
        std::string value = d::sequence({d::sequence({d::octets("C"), d::element(0x30, attributes)})});
        berval bytes = bytes_of(value);
        char* filter = nullptr;
        EXPECT_EQ(tervane::decode_replication_filter(bytes, &filter), 0) << n;
        EXPECT_STREQ(filter, expected.c_str());
        tervane_memfree(filter);
    }
}

class ReplicaListCapacity : public PeerTest {};

TEST_F(ReplicaListCapacity, EveryNameIsListedWithItsTerminator)
{
    char dn[] = "o=x";
    for (int n : kCounts) {
        std::string names;
        for (int i = 0; i < n; ++i)
            names += d::octets("cn=r" + std::to_string(i));
        reply_value(d::element(0x30, names));
        char** replicas = nullptr;
        ASSERT_EQ(ldap_list_replicas(ld, dn, &replicas), 0) << n;
        if (n == 0) {
            EXPECT_EQ(replicas, nullptr);  // as for an empty SEQUENCE before
            continue;
        }
        for (int i = 0; i < n; ++i)
            EXPECT_STREQ(replicas[i], ("cn=r" + std::to_string(i)).c_str());
        EXPECT_EQ(replicas[n], nullptr);
        ldap_value_free(replicas);
    }
}
