#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/NSObject.h"

// A page element as plug-in views receive it: its tag and its attributes in document order.
// Names are lower-case, as the HTML parser gives them; values have their entities decoded.
class DOMElement : public NSObject {
public:
    using Attribute = std::pair<std::string, std::string>;

    DOMElement();
    DOMElement(std::string tagName, std::vector<Attribute> attributes);
    static Class ClassObject();

    // Lower-case, as parsed: "embed", "object".
    const std::string& tagName() const { return m_tagName; }
    const std::vector<Attribute>& attributes() const { return m_attributes; }
    // Names compare without regard to ASCII case, as HTML attribute names do.
    bool hasAttribute(std::string_view name) const;
    // Empty when absent.
    std::string getAttribute(std::string_view name) const;
    // A size attribute as a plain non-negative number ("550", "12.5"); anything else
    // (percentages, units, signs, overflow) is 0.
    float dimension(std::string_view name) const;
    // What names the element in the engine that made it (for the chromium engine, the frame's
    // element number); empty for the static engine's.
    const std::string& handle() const { return m_handle; }
    void setHandle(std::string handle) { m_handle = std::move(handle); }

private:
    const Attribute* find(std::string_view name) const;

    std::string m_tagName;
    std::vector<Attribute> m_attributes;
    std::string m_handle;
};
