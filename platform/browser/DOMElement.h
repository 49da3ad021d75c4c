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

private:
    const Attribute* find(std::string_view name) const;

    std::string m_tagName;
    std::vector<Attribute> m_attributes;
};
