#include "crawl/RedisClient.h"

#include <charconv>

#include <hiredis/hiredis.h>
#include <sys/time.h>

namespace {

struct ReplyFree {
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
};

timeval TimeValue(std::chrono::milliseconds duration) {
    return {static_cast<time_t>(duration.count() / 1000),
            static_cast<suseconds_t>(duration.count() % 1000 * 1000)};
}

RedisReply Copied(const redisReply& reply) {
    RedisReply copy;
    switch (reply.type) {
    case REDIS_REPLY_INTEGER:
        copy.kind = RedisReply::Kind::Integer;
        copy.integer = reply.integer;
        break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
        copy.kind = RedisReply::Kind::Text;
        copy.text.assign(reply.str, reply.len);
        break;
    case REDIS_REPLY_ARRAY:
        copy.kind = RedisReply::Kind::Array;
        for (size_t i = 0; i < reply.elements; ++i) {
            copy.elements.push_back(Copied(*reply.element[i]));
        }
        break;
    default:
        break;
    }
    return copy;
}

Failure Unreachable(std::string what, std::string why) {
    return {std::move(what), std::move(why), std::make_error_code(std::errc::not_connected)};
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

void RedisClient::ContextFree::operator()(redisContext* context) const {
    redisFree(context);
}

std::string RedisClient::Address::Text() const {
    return "redis://" + host + ":" + std::to_string(port) + "/" + std::to_string(database);
}

Outcome<RedisClient::Address> RedisClient::ParseAddress(const std::string& url) {
    const Failure unreadable{url, "not a redis://HOST[:PORT][/DB] address"};
    constexpr std::string_view kScheme = "redis://";
    if (!url.starts_with(kScheme)) {
        return unreadable;
    }
    std::string_view rest = std::string_view(url).substr(kScheme.size());
    Address address;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        const std::optional<int> database = Number(rest.substr(slash + 1));
        if (!database || *database < 0) {
            return unreadable;
        }
        address.database = *database;
        rest = rest.substr(0, slash);
    }
    if (const size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
        const std::optional<int> port = Number(rest.substr(colon + 1));
        if (!port || *port <= 0 || *port > 65535) {
            return unreadable;
        }
        address.port = *port;
        rest = rest.substr(0, colon);
    }
    if (rest.empty()) {
        return unreadable;
    }
    address.host = std::string(rest);
    return address;
}

Outcome<std::unique_ptr<RedisClient>> RedisClient::Connect(const Address& address,
                                                           std::chrono::milliseconds timeout) {
    std::unique_ptr<RedisClient> client(new RedisClient(address, timeout));
    if (Outcome<> connected = client->Reconnect(); !connected) {
        return connected.failure();
    }
    return client;
}

Outcome<> RedisClient::Reconnect() {
    m_context.reset(
        redisConnectWithTimeout(m_address.host.c_str(), m_address.port, TimeValue(m_timeout)));
    if (!m_context || m_context->err != 0) {
        const std::string why = m_context ? m_context->errstr : "no memory";
        m_context.reset();
        return Unreachable(m_address.Text(), "cannot connect: " + why);
    }
    redisSetTimeout(m_context.get(), TimeValue(m_timeout));
    if (m_address.database != 0) {
        // Not through Command: a failure there would reconnect, and select, again.
        const std::string database = std::to_string(m_address.database);
        std::unique_ptr<redisReply, ReplyFree> selected(
            static_cast<redisReply*>(redisCommand(m_context.get(), "SELECT %s", database.c_str())));
        if (!selected || selected->type == REDIS_REPLY_ERROR) {
            const std::string why = selected ? std::string(selected->str, selected->len)
                                             : std::string(m_context->errstr);
            m_context.reset();
            return Failure{m_address.Text(), "cannot select the database: " + why};
        }
    }
    return {};
}

Outcome<RedisReply> RedisClient::Command(const std::vector<std::string>& arguments) {
    if (!m_context) {
        if (Outcome<> connected = Reconnect(); !connected) {
            return connected.failure();
        }
    }
    std::vector<const char*> texts;
    std::vector<size_t> lengths;
    for (const std::string& argument : arguments) {
        texts.push_back(argument.data());
        lengths.push_back(argument.size());
    }
    std::unique_ptr<redisReply, ReplyFree> reply(static_cast<redisReply*>(redisCommandArgv(
        m_context.get(), static_cast<int>(texts.size()), texts.data(), lengths.data())));
    const std::string command = arguments.empty() ? std::string() : arguments.front();
    if (!reply) {
        // The connection is broken (or timed out mid-answer): the next command starts afresh.
        const std::string why = m_context->errstr;
        m_context.reset();
        return Unreachable(m_address.Text(), command + ": " + why);
    }
    if (reply->type == REDIS_REPLY_ERROR) {
        const std::string why(reply->str, reply->len);
        // A server still reading its saved data back after a restart is not there yet.
        if (why.starts_with("LOADING")) {
            return Unreachable(m_address.Text(), command + ": " + why);
        }
        return Failure{m_address.Text(), command + ": " + why};
    }
    return Copied(*reply);
}
