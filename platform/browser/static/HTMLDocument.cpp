#include "browser/static/HTMLDocument.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include <gumbo.h>
#include <malloc.h>

#include "browser/ASCIIText.h"

namespace {

// What the parser may hold, and holds, when bounded; the bound also holds where an address-space
// limit cannot (a sanitizer's shadow memory makes one meaningless).
size_t g_parserBudget = 0;
size_t g_parserHolds = 0;

// gumbo uses what malloc answers unchecked; out of memory it goes the way operator new goes
// instead (the new handler, else abort), so that a reader with bounded memory can say why it
// stopped. These are gumbo's allocator hooks, so malloc and free are what they must call.
// NOLINTBEGIN(cppcoreguidelines-no-malloc)
void* Allocate(void*, size_t size) {
    for (;;) {
        if (g_parserBudget == 0) {
            if (void* block = std::malloc(size)) {
                return block;
            }
        } else if (g_parserHolds + size <= g_parserBudget) {
            if (void* block = std::malloc(size)) {
                g_parserHolds += malloc_usable_size(block);
                return block;
            }
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            std::abort();
        }
        handler();
    }
}

void Deallocate(void*, void* block) {
    if (g_parserBudget != 0 && block != nullptr) {
        g_parserHolds -= std::min(g_parserHolds, malloc_usable_size(block));
    }
    std::free(block);
}
// NOLINTEND(cppcoreguidelines-no-malloc)

const GumboOptions& ParseOptions() {
    static const GumboOptions options = [] {
        GumboOptions chosen = kGumboDefaultOptions;
        chosen.allocator = &Allocate;
        chosen.deallocator = &Deallocate;
        return chosen;
    }();
    return options;
}

const GumboAttribute* FindAttribute(const GumboElement& element, const char* name) {
    return gumbo_get_attribute(&element.attributes, name);
}

// The attribute's cleaned URL text; empty when absent or blank.
std::string URLAttribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = FindAttribute(element, name);
    return attribute == nullptr ? std::string() : HTMLDocument::CleanURLText(attribute->value);
}

std::string TextAttribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = FindAttribute(element, name);
    return attribute == nullptr ? std::string() : std::string(attribute->value);
}

bool IsHTMLElement(const GumboNode* node, GumboTag tag) {
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag &&
           node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

Ref<DOMElement> MakeElement(const GumboElement& element) {
    std::vector<DOMElement::Attribute> attributes;
    attributes.reserve(element.attributes.length);
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        attributes.emplace_back(attribute->name, attribute->value);
    }
    // An <object> gives the player its flashvars and base as parameters; a browser hands them
    // to the plug-in beside the attributes, and an attribute of the same name wins.
    if (element.tag == GUMBO_TAG_OBJECT) {
        for (unsigned i = 0; i < element.children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
            if (!IsHTMLElement(child, GUMBO_TAG_PARAM)) {
                continue;
            }
            const std::string name =
                ascii::ToLower(ascii::Trim(TextAttribute(child->v.element, "name")));
            const bool taken = std::any_of(attributes.begin(), attributes.end(),
                                           [&name](const DOMElement::Attribute& attribute) {
                                               return attribute.first == name;
                                           });
            if ((name == "flashvars" || name == "base") && !taken) {
                attributes.emplace_back(name, TextAttribute(child->v.element, "value"));
            }
        }
    }
    return MakeRef<DOMElement>(gumbo_normalized_tagname(element.tag), std::move(attributes));
}

// An <object> without data takes its URL from its own first "movie" or "src" parameter.
std::string ParameterURL(const GumboElement& object) {
    for (unsigned i = 0; i < object.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(object.children.data[i]);
        if (!IsHTMLElement(child, GUMBO_TAG_PARAM)) {
            continue;
        }
        const std::string name = TextAttribute(child->v.element, "name");
        if (ascii::EqualsIgnoringCase(ascii::Trim(name), "movie") ||
            ascii::EqualsIgnoringCase(ascii::Trim(name), "src")) {
            std::string url = URLAttribute(child->v.element, "value");
            if (!url.empty()) {
                return url;
            }
        }
    }
    return {};
}

std::optional<PluginObject> AsPluginObject(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    PluginObject object;
    if (IsHTMLElement(node, GUMBO_TAG_EMBED)) {
        object.urlText = URLAttribute(element, "src");
    } else if (IsHTMLElement(node, GUMBO_TAG_OBJECT)) {
        // A class id names an ActiveX control, which this host cannot run.
        if (!ascii::Trim(TextAttribute(element, "classid")).empty()) {
            return std::nullopt;
        }
        object.urlText = URLAttribute(element, "data");
        if (object.urlText.empty()) {
            object.urlText = ParameterURL(element);
        }
    } else {
        return std::nullopt;
    }
    object.mimeType = TextAttribute(element, "type");
    // Without a URL or a type there is no plug-in to pick.
    if (object.urlText.empty() && ascii::Trim(object.mimeType).empty()) {
        return std::nullopt;
    }
    object.element = MakeElement(element);
    return object;
}

// Visits nodes in document order without recursion, so that deeply nested pages cannot exhaust
// the stack. `visit` answers whether to descend into the node's children.
template <typename Visit> void Walk(const GumboNode* root, Visit visit) {
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT && visit(node)) {
            children = &node->v.element.children;
        }
        for (unsigned i = children == nullptr ? 0 : children->length; i > 0; --i) {
            pending.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
        }
    }
}

} // namespace

void HTMLDocument::OutputDeleter::operator()(GumboInternalOutput* output) const {
    gumbo_destroy_output(&ParseOptions(), output);
}

void HTMLDocument::LimitParserMemory(size_t bytes) {
    g_parserBudget = bytes;
    g_parserHolds = 0;
}

HTMLDocument::HTMLDocument(std::string_view html)
    : m_html(html),
      m_output(gumbo_parse_with_options(&ParseOptions(), m_html.data(), m_html.size())) {
}

HTMLDocument::~HTMLDocument() = default;

std::optional<std::string> HTMLDocument::baseHref() const {
    std::optional<std::string> href;
    Walk(m_output->document, [&](const GumboNode* node) {
        if (!href && IsHTMLElement(node, GUMBO_TAG_BASE) &&
            FindAttribute(node->v.element, "href") != nullptr) {
            href = URLAttribute(node->v.element, "href");
        }
        return !href;
    });
    return href;
}

std::vector<PluginObject> HTMLDocument::pluginObjects() const {
    std::vector<PluginObject> objects;
    Walk(m_output->document, [&](const GumboNode* node) {
        std::optional<PluginObject> object = AsPluginObject(node);
        if (object) {
            objects.push_back(std::move(*object));
        }
        // A plug-in object replaces its fallback content.
        return !object;
    });
    return objects;
}

std::vector<std::string> HTMLDocument::frameSources() const {
    std::vector<std::string> sources;
    Walk(m_output->document, [&](const GumboNode* node) {
        if (IsHTMLElement(node, GUMBO_TAG_IFRAME) || IsHTMLElement(node, GUMBO_TAG_FRAME)) {
            if (std::string src = URLAttribute(node->v.element, "src"); !src.empty()) {
                sources.push_back(std::move(src));
            }
        }
        return true;
    });
    return sources;
}

std::vector<std::string> HTMLDocument::linkTargets() const {
    std::vector<std::string> targets;
    Walk(m_output->document, [&](const GumboNode* node) {
        if (IsHTMLElement(node, GUMBO_TAG_A) || IsHTMLElement(node, GUMBO_TAG_AREA)) {
            if (std::string href = URLAttribute(node->v.element, "href"); !href.empty()) {
                targets.push_back(std::move(href));
            }
        }
        return true;
    });
    return targets;
}

std::string HTMLDocument::CleanURLText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string clean;
    for (char c : ascii::Trim(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        if (byte <= 0x20 || byte == 0x7f) {
            clean += '%';
            clean += kHex[byte >> 4];
            clean += kHex[byte & 0xf];
        } else {
            clean += c;
        }
    }
    return clean;
}
