#pragma once

#include <memory>
#include <string>
#include <string_view>

// SHA-1 over bytes given in parts, as WARC names a digest: "sha1:" and the 20 bytes in base32
// (RFC 4648, upper case, 32 characters, no padding). OpenSSL computes the hash.
class Sha1Digest {
public:
    Sha1Digest();
    ~Sha1Digest();
    Sha1Digest(const Sha1Digest&) = delete;
    Sha1Digest& operator=(const Sha1Digest&) = delete;
    Sha1Digest(Sha1Digest&&) noexcept;
    Sha1Digest& operator=(Sha1Digest&&) noexcept;

    void Add(std::string_view bytes);
    // "sha1:BASE32"; the digest takes no more bytes afterwards.
    std::string Finish();

    static std::string Of(std::string_view bytes);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
