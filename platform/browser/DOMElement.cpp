#include "browser/DOMElement.h"

#include <algorithm>

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
