#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "runtime/ObjcClass.h"

// The type encodings that method tables record and message sends check, after the original
// runtime's letters. Other value types can take part by specialising TypeEncoding (geometry does
// for NSRect). Every object pointer travels as `id` and encodes as '@'.
template <typename T> struct TypeEncoding; // no encoding: such a type cannot be sent

template <> struct TypeEncoding<void> { static constexpr const char* value = "v"; };
template <> struct TypeEncoding<bool> { static constexpr const char* value = "B"; };
template <> struct TypeEncoding<char> { static constexpr const char* value = "c"; };
template <> struct TypeEncoding<int32_t> { static constexpr const char* value = "i"; };
template <> struct TypeEncoding<uint32_t> { static constexpr const char* value = "I"; };
template <> struct TypeEncoding<int64_t> { static constexpr const char* value = "q"; };
template <> struct TypeEncoding<uint64_t> { static constexpr const char* value = "Q"; };
template <> struct TypeEncoding<float> { static constexpr const char* value = "f"; };
template <> struct TypeEncoding<double> { static constexpr const char* value = "d"; };
template <> struct TypeEncoding<const char*> { static constexpr const char* value = "*"; };
template <> struct TypeEncoding<std::string> { static constexpr const char* value = "{string}"; };
template <> struct TypeEncoding<id> { static constexpr const char* value = "@"; };
template <> struct TypeEncoding<Class> { static constexpr const char* value = "#"; };
template <> struct TypeEncoding<SEL> { static constexpr const char* value = ":"; };

// What an argument travels as: object pointers (and nullptr) become `id`, except classes;
// everything else as its own decayed type.
template <typename Decayed> struct TransportedDecayed { using type = Decayed; };
template <typename Pointee>
requires std::is_base_of_v<NSObject, std::remove_cv_t<Pointee>>
struct TransportedDecayed<Pointee*> {
    using type =
        std::conditional_t<std::is_same_v<std::remove_cv_t<Pointee>, objc_class>, Class, id>;
};
template <> struct TransportedDecayed<std::nullptr_t> { using type = id; };
template <typename T> using TransportedT = typename TransportedDecayed<std::decay_t<T>>::type;

// "<return>@:<arguments>": the receiver is always an object and the selector always follows.
template <typename R, typename... Args> std::string EncodeSignature() {
    std::string encoding = TypeEncoding<R>::value;
    encoding += "@:";
    ((encoding += TypeEncoding<Args>::value), ...);
    return encoding;
}
