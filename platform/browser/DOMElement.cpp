#include "browser/DOMElement.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "browser/ASCIIText.h"
#include "foundation/objects/RuntimeClass.h"

DOMElement::DOMElement() : NSObject(ClassObject()) {
}

DOMElement::DOMElement(std::string tagName, std::vector<Attribute> attributes)
    : NSObject(ClassObject()), m_tagName(std::move(tagName)), m_attributes(std::move(attributes)) {
}

Class DOMElement::ClassObject() {
    static Class cls = RegisterRuntimeClass<DOMElement>("DOMElement", NSObject::RootClass());
    return cls;
}

bool DOMElement::hasAttribute(std::string_view name) const {
    return find(name) != nullptr;
}

std::string DOMElement::getAttribute(std::string_view name) const {
    const Attribute* attribute = find(name);
    return attribute == nullptr ? std::string() : attribute->second;
}

const DOMElement::Attribute* DOMElement::find(std::string_view name) const {
    auto found = std::find_if(m_attributes.begin(), m_attributes.end(), [&](const Attribute& a) {
        return ascii::EqualsIgnoringCase(a.first, name);
    });
    return found == m_attributes.end() ? nullptr : &*found;
}

float DOMElement::dimension(std::string_view name) const {
    const std::string text = getAttribute(name);
    const std::string_view trimmed = ascii::Trim(text);
    if (trimmed.empty() || !(trimmed.front() >= '0' && trimmed.front() <= '9')) {
        return 0;
    }
    float value = 0;
    const char* end = trimmed.data() + trimmed.size();
    auto [stop, error] = std::from_chars(trimmed.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(value)) {
        return 0;
    }
    return value;
}
