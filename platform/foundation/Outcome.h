#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

// What failed and why: "what" names the thing (a file, a URL, an operation on it), "why" the
// reason as the system gave it. Carried up unchanged, so the person who reads it at the top
// learns what the bottom knew.
struct Failure {
    std::string what;
    std::string why;
    // Set where a caller must tell cases apart ("not there" from "unreadable", say); most
    // failures only need to be reported and leave it empty.
    std::error_code code{};

    // The failure of a system call, with its errno value as the code.
    static Failure FromErrno(std::string what, int error) {
        return {std::move(what), std::strerror(error),
                std::error_code(error, std::generic_category())};
    }
    bool is(std::errc error) const { return code == error; }

    std::string message() const { return why.empty() ? what : what + ": " + why; }
    friend bool operator==(const Failure&, const Failure&) = default;
};

// A value or the Failure that stopped it; Outcome<> (void) is just "done" or a Failure.
// Check ok() after each step and hand failure() up instead of dropping it.
template <typename T = void> class [[nodiscard]] Outcome {
public:
    Outcome(T value) : m_state(std::move(value)) {}           // NOLINT(google-explicit-constructor)
    Outcome(Failure failure) : m_state(std::move(failure)) {} // NOLINT(google-explicit-constructor)

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<T>(m_state); }
    T& value() & { return std::get<T>(m_state); }
    T&& value() && { return std::get<T>(std::move(m_state)); }
    const Failure& failure() const { return std::get<Failure>(m_state); }

private:
    std::variant<T, Failure> m_state;
};

template <> class [[nodiscard]] Outcome<void> {
public:
    Outcome() = default;
    Outcome(Failure failure)
        : m_failure(std::move(failure)) {} // NOLINT(google-explicit-constructor)

    bool ok() const { return !m_failure.has_value(); }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *m_failure; }

private:
    std::optional<Failure> m_failure;
};
