#pragma once

#include <optional>
#include <string_view>

#include "foundation/URL.h"
#include "runtime/NSObject.h"

// A URL as an object, for the places where URLs travel as objects.
class NSURL : public NSObject {
public:
    NSURL();
    explicit NSURL(URL url);
    static Class ClassObject();
    // Null when the text is not a URL.
    static Ref<NSURL> URLWithString(std::string_view text);

    const std::optional<URL>& url() const { return m_url; }
    std::string absoluteString() const { return m_url ? m_url->absoluteString() : std::string(); }

private:
    std::optional<URL> m_url;
};
