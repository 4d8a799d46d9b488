// The bulk-update stream of a connection: a start request opens it, batches
// numbered 1, 2, ... are applied one after another in the order of their
// numbers (a batch that arrives early waits for those before it), and an end
// request closes it once the batches below its number are applied. Each
// operation of a batch is applied as the requestor (updates.h) and gets its
// own result.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "bulk_values.h"
#include "configuration.h"
#include "handlers.h"
#include "server_state.h"
#include "updates.h"

namespace adminext {

namespace {

using namespace std::chrono_literals;

// How long a batch or an end request waits for a batch before it that has
// not arrived. While earlier batches are being applied it waits on, however
// slowly they go: its memory is bounded by the batch size and the client's
// window, not its time.
constexpr auto kTurnTimeout = 30s;
constexpr auto kPoll = 100ms;

struct Stream {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool applying = false;
    std::int32_t next = 1;  // the number of the batch to apply next
};

int stream_object_type = -1;
int stream_handle = -1;

void* make_stream(void*, void*) { return new (std::nothrow) Stream; }
void drop_stream(void* stream, void*, void*) { delete static_cast<Stream*>(stream); }

Stream* stream_of(Request& request)
{
    void* connection = get_pointer<void>(request.pblock(), SLAPI_CONNECTION);
    if (connection == nullptr)
        return nullptr;
    return static_cast<Stream*>(slapi_get_object_extension(stream_object_type, connection, stream_handle));
}

// Waits, with the stream locked, until ready() or the stream closes, the
// request is abandoned (also when the connection is gone) or no batch has
// been applied, nor is being applied, for kTurnTimeout; answers whether
// ready() holds.
template <class Ready>
bool wait_for_turn(Request& request, Stream& stream, std::unique_lock<std::mutex>& lock, Ready ready)
{
    auto until = std::chrono::steady_clock::now() + kTurnTimeout;
    std::int32_t seen = stream.next;
    while (stream.open && !ready()) {
        if (request.abandoned() || server_stopping())
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (stream.applying || stream.next != seen) {
            until = now + kTurnTimeout;
            seen = stream.next;
        } else if (now >= until) {
            return false;
        }
        stream.changed.wait_for(lock, kPoll);
        lock.unlock();
        allow_pause();
        lock.lock();
    }
    return stream.open && ready();
}

const Reply kNoStream = Reply::malformed("no bulk-update stream is open on this connection");

}  // namespace

bool register_bulk_update_streams()
{
    return slapi_register_object_extension("admin-extensions", SLAPI_EXT_CONNECTION, make_stream, drop_stream,
                                           &stream_object_type, &stream_handle) == 0;
}

// Request: SEQUENCE { OCTET STRING update style }. Answer: SEQUENCE { INTEGER
// the most operations a batch may hold }.
Reply start_bulk_update(Request& request)
{
    std::optional<std::string> style = read_start_request(request.value());
    if (!style)
        return Reply::malformed("the request value must be SEQUENCE { OCTET STRING update style }");
    if (*style != kBulkUpdateStyle)
        return Reply::refused("update style " + *style + " is not offered; this server offers " +
                              std::string(kBulkUpdateStyle));
    Stream* stream = stream_of(request);
    if (stream == nullptr)
        return Reply::error(code::kOperationsError, "this connection keeps no stream state");
    std::lock_guard lock(stream->mutex);
    if (stream->open)
        return Reply::refused("a bulk-update stream is already open on this connection");
    stream->open = true;
    stream->next = 1;
    return Reply::success(write_start_response(static_cast<std::int32_t>(settings().batch)));
}

Reply bulk_update_batch(Request& request)
{
    std::optional<Batch> batch = read_batch(request.value());
    if (!batch)
        return Reply::malformed("the request value must be SEQUENCE { INTEGER sequence number, operation ... }");
    if (batch->changes.size() > settings().batch)
        return Reply::error(code::kAdminLimitExceeded,
                            "a batch may hold at most " + std::to_string(settings().batch) + " operations");
    Stream* stream = stream_of(request);
    if (stream == nullptr)
        return kNoStream;
    const std::int32_t number = batch->sequence;
    {
        std::unique_lock lock(stream->mutex);
        if (!stream->open)
            return kNoStream;
        if (number < stream->next)
            return Reply::malformed("batch " + std::to_string(number) + " was already applied");
        if (!wait_for_turn(request, *stream, lock, [&] { return !stream->applying && stream->next >= number; }))
            return stream->open ? Reply::error(code::kBusy, "batch " + std::to_string(number) +
                                                                " waited " +
                                                                std::to_string(kTurnTimeout.count()) +
                                                                " s for a batch before it that did not arrive")
                                : kNoStream;
        if (stream->next != number)
            return Reply::malformed("batch " + std::to_string(number) + " was already applied");
        stream->applying = true;
    }
    // The turn passes to the next batch however this one ends.
    struct Turn {
        Stream& stream;
        std::int32_t number;
        ~Turn()
        {
            {
                std::lock_guard lock(stream.mutex);
                stream.applying = false;
                stream.next = number + 1;
            }
            stream.changed.notify_all();
        }
    } turn{*stream, number};
    std::vector<ChangeResult> results;
    results.reserve(batch->changes.size());
    for (const Change& change : batch->changes)
        results.push_back(apply_change(request, change));
    return Reply::success(write_results(results));
}

// Request: SEQUENCE { INTEGER sequence number }: the batches numbered below
// it are applied before the stream closes.
Reply end_bulk_update(Request& request)
{
    std::optional<std::int32_t> number = read_end_request(request.value());
    if (!number)
        return Reply::malformed("the request value must be SEQUENCE { INTEGER sequence number }");
    Stream* stream = stream_of(request);
    if (stream == nullptr)
        return kNoStream;
    Reply reply;
    {
        std::unique_lock lock(stream->mutex);
        if (!stream->open)
            return kNoStream;
        if (!wait_for_turn(request, *stream, lock, [&] { return !stream->applying && stream->next >= *number; }))
            reply = Reply::error(code::kOperationsError,
                                 "the stream ended before batch " + std::to_string(stream->next) + " arrived");
        stream->open = false;
        stream->next = 1;
    }
    stream->changed.notify_all();
    return reply;
}

}  // namespace adminext
