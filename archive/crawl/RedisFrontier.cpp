#include "crawl/RedisFrontier.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <thread>
#include <utility>

namespace {

// Every script sees the same keys, in this order.
constexpr const char* kKeys[] = {"queue", "order",  "state",   "depth",    "seq",     "leases",
                                 "owner", "counts", "reasons", "failures", "settings"};

// Scores order the queue: depth first, then the order found (exact in a double up to depth 9000
// and a trillion pages).
constexpr const char* kAdd = R"(
if redis.call('HSETNX', KEYS[3], ARGV[1], 'q') == 0 then return 0 end
local score = tonumber(ARGV[2]) * 1e12 + redis.call('INCR', KEYS[5])
redis.call('ZADD', KEYS[1], score, ARGV[1])
redis.call('HSET', KEYS[2], ARGV[1], score)
redis.call('HSET', KEYS[4], ARGV[1], ARGV[2])
return 1
)";

// ARGV: lease milliseconds, worker. Time is the server's: one clock for every worker.
constexpr const char* kTake = R"(
local time = redis.call('TIME')
local now = tonumber(time[1]) * 1000 + math.floor(tonumber(time[2]) / 1000)
local function requeue(address)
  redis.call('ZREM', KEYS[6], address)
  redis.call('HDEL', KEYS[7], address)
  redis.call('HSET', KEYS[3], address, 'q')
  redis.call('ZADD', KEYS[1], redis.call('HGET', KEYS[2], address), address)
end
for _, address in ipairs(redis.call('ZRANGEBYSCORE', KEYS[6], '-inf', now)) do
  requeue(address)
  redis.call('HINCRBY', KEYS[8], 'lapsed', 1)
end
local next = redis.call('ZPOPMIN', KEYS[1])
if #next == 0 then return false end
local address = next[1]
redis.call('HSET', KEYS[3], address, 't')
redis.call('ZADD', KEYS[6], now + tonumber(ARGV[1]), address)
redis.call('HSET', KEYS[7], address, ARGV[2])
return {address, redis.call('HGET', KEYS[4], address)}
)";

// ARGV: address, "1" done or "0" failed, reason. A page finished already (its lease had lapsed
// and another worker did it too) stays as it was.
constexpr const char* kFinish = R"(
local state = redis.call('HGET', KEYS[3], ARGV[1])
if not state or state == 'd' or state == 'f' then return 0 end
redis.call('ZREM', KEYS[6], ARGV[1])
redis.call('HDEL', KEYS[7], ARGV[1])
redis.call('ZREM', KEYS[1], ARGV[1])
if ARGV[2] == '1' then
  redis.call('HSET', KEYS[3], ARGV[1], 'd')
  redis.call('HINCRBY', KEYS[8], 'done', 1)
else
  redis.call('HSET', KEYS[3], ARGV[1], 'f')
  redis.call('HINCRBY', KEYS[8], 'failed', 1)
  redis.call('HSET', KEYS[9], ARGV[1], ARGV[3])
  redis.call('ZADD', KEYS[10], redis.call('HGET', KEYS[2], ARGV[1]), ARGV[1])
end
return 1
)";

constexpr const char* kCounts = R"(
return {redis.call('ZCARD', KEYS[1]), redis.call('ZCARD', KEYS[6]),
        tonumber(redis.call('HGET', KEYS[8], 'done') or '0'),
        tonumber(redis.call('HGET', KEYS[8], 'failed') or '0')}
)";

constexpr const char* kFailures = R"(
local out = {}
for _, address in ipairs(redis.call('ZRANGE', KEYS[10], 0, -1)) do
  out[#out + 1] = address
  out[#out + 1] = redis.call('HGET', KEYS[9], address) or ''
end
return out
)";

// ARGV: lease milliseconds, worker. Only the worker's own leases.
constexpr const char* kRenew = R"(
local time = redis.call('TIME')
local now = tonumber(time[1]) * 1000 + math.floor(tonumber(time[2]) / 1000)
local owners = redis.call('HGETALL', KEYS[7])
for i = 1, #owners, 2 do
  if owners[i + 1] == ARGV[2] then
    redis.call('ZADD', KEYS[6], 'XX', now + tonumber(ARGV[1]), owners[i])
  end
end
return 1
)";

// ARGV: worker. What a worker held when it stopped goes back to the queue.
constexpr const char* kReclaim = R"(
local owners = redis.call('HGETALL', KEYS[7])
for i = 1, #owners, 2 do
  if owners[i + 1] == ARGV[1] then
    local address = owners[i]
    redis.call('ZREM', KEYS[6], address)
    redis.call('HDEL', KEYS[7], address)
    redis.call('HSET', KEYS[3], address, 'q')
    redis.call('ZADD', KEYS[1], redis.call('HGET', KEYS[2], address), address)
  end
end
return 1
)";

// The back-off while the server is unreachable.
constexpr auto kFirstPause = std::chrono::milliseconds(100);
constexpr auto kLongestPause = std::chrono::milliseconds(5000);

Failure Unexpected(const std::string& what) {
    return Failure{what, "Redis answered something the frontier did not expect"};
}

} // namespace

Outcome<std::unique_ptr<RedisFrontier>> RedisFrontier::Open(std::unique_ptr<RedisClient> client,
                                                            Options options) {
    if (options.crawlId.empty() || options.workerId.empty()) {
        return Failure{"the Redis frontier", "needs a crawl id and a worker id"};
    }
    std::unique_ptr<RedisFrontier> frontier(
        new RedisFrontier(std::move(client), std::move(options)));
    if (Outcome<RedisReply> reclaimed = frontier->Run(kReclaim, {frontier->m_options.workerId});
        !reclaimed) {
        return reclaimed.failure();
    }
    if (frontier->m_options.renewInBackground) {
        const RedisClient& first = *frontier->m_client;
        Outcome<std::unique_ptr<RedisClient>> renewing =
            RedisClient::Connect(first.address(), first.timeout());
        if (!renewing) {
            return renewing.failure();
        }
        frontier->m_renewer = std::thread(
            [frontier = frontier.get(), client = std::move(renewing).value()]() mutable {
                frontier->RenewEvery(std::move(client));
            });
    }
    return frontier;
}

RedisFrontier::~RedisFrontier() {
    {
        const std::scoped_lock lock(m_renewLock);
        m_closing = true;
    }
    m_renewWake.notify_all();
    if (m_renewer.joinable()) {
        m_renewer.join();
    }
}

void RedisFrontier::RenewEvery(std::unique_ptr<RedisClient> client) {
    const auto period = std::max(m_options.leaseTime / 3, std::chrono::milliseconds(1));
    std::unique_lock lock(m_renewLock);
    while (!m_renewWake.wait_for(lock, period, [this] { return m_closing; })) {
        lock.unlock();
        // A renewal that fails is tried again next time; the lease has two more periods.
        (void)client->Command(
            Script(kRenew, {std::to_string(m_options.leaseTime.count()), m_options.workerId}));
        lock.lock();
    }
}

std::string RedisFrontier::Key(const char* name) const {
    // One hash slot for the crawl's keys (the braces), so that a cluster runs its scripts too.
    return "swfharvex:{" + m_options.crawlId + "}:" + name;
}

std::vector<std::string> RedisFrontier::Script(const char* script,
                                               const std::vector<std::string>& arguments) const {
    std::vector<std::string> command = {"EVAL", script, std::to_string(std::size(kKeys))};
    for (const char* name : kKeys) {
        command.push_back(Key(name));
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

Outcome<RedisReply> RedisFrontier::Run(const char* script,
                                       const std::vector<std::string>& arguments) {
    return Patiently(Script(script, arguments));
}

Outcome<RedisReply> RedisFrontier::Patiently(const std::vector<std::string>& command) {
    // A server that went away (restarting, a network down) is waited for, so that a page's
    // result is not lost; each step is safe to repeat should its answer have been lost.
    auto pause = kFirstPause;
    const auto giveUp = std::chrono::steady_clock::now() + m_options.patience;
    for (;;) {
        Outcome<RedisReply> reply = m_client->Command(command);
        if (reply || !reply.failure().is(std::errc::not_connected) ||
            std::chrono::steady_clock::now() + pause > giveUp) {
            return reply;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestPause);
    }
}

Outcome<bool> RedisFrontier::Add(const std::string& address, int depth) {
    Outcome<RedisReply> added = Run(kAdd, {address, std::to_string(depth)});
    if (!added) {
        return added.failure();
    }
    return added.value().integer == 1;
}

Outcome<std::optional<FrontierPage>> RedisFrontier::Take() {
    Outcome<RedisReply> taken =
        Run(kTake, {std::to_string(m_options.leaseTime.count()), m_options.workerId});
    if (!taken) {
        return taken.failure();
    }
    const RedisReply& reply = taken.value();
    if (reply.kind == RedisReply::Kind::Nil) {
        return std::optional<FrontierPage>();
    }
    if (reply.kind != RedisReply::Kind::Array || reply.elements.size() != 2) {
        return Unexpected("Take");
    }
    FrontierPage page;
    page.address = reply.elements[0].text;
    const std::string& depth = reply.elements[1].text;
    if (std::from_chars(depth.data(), depth.data() + depth.size(), page.depth).ec != std::errc()) {
        return Unexpected("Take");
    }
    return std::optional(std::move(page));
}

Outcome<> RedisFrontier::Finish(const std::string& address, bool done, const std::string& reason) {
    Outcome<RedisReply> finished = Run(kFinish, {address, done ? "1" : "0", reason});
    if (!finished) {
        return finished.failure();
    }
    return {};
}

Outcome<FrontierCounts> RedisFrontier::Counts() {
    Outcome<RedisReply> counted = Run(kCounts, {});
    if (!counted) {
        return counted.failure();
    }
    const RedisReply& reply = counted.value();
    if (reply.kind != RedisReply::Kind::Array || reply.elements.size() != 4) {
        return Unexpected("Counts");
    }
    const auto count = [&reply](size_t i) {
        return static_cast<uint64_t>(std::max(reply.elements[i].integer, 0LL));
    };
    return FrontierCounts{count(0), count(1), count(2), count(3)};
}

Outcome<std::vector<std::pair<std::string, std::string>>> RedisFrontier::Failures() {
    Outcome<RedisReply> listed = Run(kFailures, {});
    if (!listed) {
        return listed.failure();
    }
    std::vector<std::pair<std::string, std::string>> failures;
    const std::vector<RedisReply>& items = listed.value().elements;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        failures.emplace_back(items[i].text, items[i + 1].text);
    }
    return failures;
}

Outcome<> RedisFrontier::Remember(const std::string& key, const std::string& value) {
    Outcome<RedisReply> set = Patiently({"HSET", Key("settings"), key, value});
    if (!set) {
        return set.failure();
    }
    return {};
}

Outcome<std::optional<std::string>> RedisFrontier::Recall(const std::string& key) {
    Outcome<RedisReply> got = Patiently({"HGET", Key("settings"), key});
    if (!got) {
        return got.failure();
    }
    if (got.value().kind == RedisReply::Kind::Nil) {
        return std::optional<std::string>();
    }
    return std::optional(got.value().text);
}

Outcome<> RedisFrontier::Renew() {
    Outcome<RedisReply> renewed =
        Run(kRenew, {std::to_string(m_options.leaseTime.count()), m_options.workerId});
    if (!renewed) {
        return renewed.failure();
    }
    return {};
}

Outcome<std::chrono::milliseconds> RedisFrontier::HostTurn(const std::string& origin,
                                                           std::chrono::milliseconds delay) {
    // ARGV: delay. The turn is taken, or the time left of another's.
    static constexpr const char* kTurn = R"(
if tonumber(ARGV[1]) <= 0 then return 0 end
if redis.call('SET', KEYS[1], '1', 'NX', 'PX', ARGV[1]) then return 0 end
return math.max(redis.call('PTTL', KEYS[1]), 1)
)";
    Outcome<RedisReply> turn =
        Patiently({"EVAL", kTurn, "1", Key("host:") + origin, std::to_string(delay.count())});
    if (!turn) {
        return turn.failure();
    }
    return std::chrono::milliseconds(std::max(turn.value().integer, 0LL));
}
