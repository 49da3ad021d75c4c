#include "warc/Sha1Digest.h"

#include <array>
#include <stdexcept>

#include <openssl/evp.h>

struct Sha1Digest::State {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free};
};

Sha1Digest::Sha1Digest() : m_state(std::make_unique<State>()) {
    if (!m_state->context || EVP_DigestInit_ex(m_state->context.get(), EVP_sha1(), nullptr) != 1) {
        throw std::runtime_error("SHA-1 is not available from OpenSSL");
    }
}

Sha1Digest::~Sha1Digest() = default;
Sha1Digest::Sha1Digest(Sha1Digest&&) noexcept = default;
Sha1Digest& Sha1Digest::operator=(Sha1Digest&&) noexcept = default;

void Sha1Digest::Add(std::string_view bytes) {
    EVP_DigestUpdate(m_state->context.get(), bytes.data(), bytes.size());
}

std::string Sha1Digest::Finish() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> hash{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_state->context.get(), hash.data(), &length);
    // Base32: five bits a character; 160 bits make 32 characters exactly.
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string text = "sha1:";
    unsigned buffer = 0;
    int bits = 0;
    for (unsigned i = 0; i < length; ++i) {
        buffer = (buffer << 8U) | hash[i];
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text.push_back(kAlphabet[(buffer >> static_cast<unsigned>(bits)) & 31U]);
        }
    }
    if (bits > 0) {
        text.push_back(kAlphabet[(buffer << static_cast<unsigned>(5 - bits)) & 31U]);
    }
    return text;
}

std::string Sha1Digest::Of(std::string_view bytes) {
    Sha1Digest digest;
    digest.Add(bytes);
    return digest.Finish();
}
