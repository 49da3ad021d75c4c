#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Outcome.h"

struct redisContext;

// A Redis answer, as a value: hiredis's reply copied out, so nothing of it needs freeing.
struct RedisReply {
    enum class Kind { Nil, Integer, Text, Array };
    Kind kind = Kind::Nil;
    long long integer = 0;
    std::string text; // a bulk string or a status
    std::vector<RedisReply> elements;
};

// One blocking connection to a Redis server (Debian's hiredis), every command bounded in time.
// An error answer is a Failure naming the server; one that never came (the server unreachable,
// the connection broken or timed out) is a Failure with code std::errc::not_connected, and the
// connection is made again at the next command.
class RedisClient {
public:
    struct Address {
        std::string host = "127.0.0.1";
        int port = 6379;
        int database = 0;
        std::string Text() const;
    };

    // "redis://HOST[:PORT][/DB]".
    static Outcome<Address> ParseAddress(const std::string& url);
    static Outcome<std::unique_ptr<RedisClient>> Connect(const Address& address,
                                                         std::chrono::milliseconds timeout);

    Outcome<RedisReply> Command(const std::vector<std::string>& arguments);

    const Address& address() const { return m_address; }
    std::chrono::milliseconds timeout() const { return m_timeout; }

private:
    struct ContextFree {
        void operator()(redisContext* context) const;
    };
    RedisClient(Address address, std::chrono::milliseconds timeout)
        : m_address(std::move(address)), m_timeout(timeout) {}
    Outcome<> Reconnect();

    Address m_address;
    std::chrono::milliseconds m_timeout;
    std::unique_ptr<redisContext, ContextFree> m_context;
};
