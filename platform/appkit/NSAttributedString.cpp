#include "appkit/NSAttributedString.h"

#include <limits>

#include "foundation/objects/RuntimeClass.h"

namespace {

constexpr size_t kInsidePair = std::numeric_limits<size_t>::max();
constexpr char32_t kReplacement = 0xFFFD;

// The code point at `at` and its byte count; U+FFFD and one byte for anything that is not a
// well-formed UTF-8 sequence (overlong forms, surrogates and values past U+10FFFF included).
std::pair<char32_t, size_t> DecodeOne(const std::string& text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) {
        return {lead, 1};
    }
    // The sequence's length, the lead byte's payload and the least value it may encode.
    size_t count = 4;
    char32_t point = lead & 0x07U;
    char32_t minimum = 0x10000;
    if ((lead & 0xE0U) == 0xC0) {
        count = 2;
        point = lead & 0x1FU;
        minimum = 0x80;
    } else if ((lead & 0xF0U) == 0xE0) {
        count = 3;
        point = lead & 0x0FU;
        minimum = 0x800;
    } else if ((lead & 0xF8U) != 0xF0) {
        return {kReplacement, 1};
    }
    if (at + count > text.size()) {
        return {kReplacement, 1};
    }
    for (size_t i = 1; i < count; ++i) {
        if ((byte(at + i) & 0xC0U) != 0x80) {
            return {kReplacement, 1};
        }
        point = (point << 6U) | (byte(at + i) & 0x3FU);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        return {kReplacement, 1};
    }
    return {point, count};
}

void Encode(char32_t point, std::string& out) {
    if (point < 0x80) {
        out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
        out.push_back(static_cast<char>(0xC0U | (point >> 6U)));
        out.push_back(static_cast<char>(0x80U | (point & 0x3FU)));
    } else if (point < 0x10000) {
        out.push_back(static_cast<char>(0xE0U | (point >> 12U)));
        out.push_back(static_cast<char>(0x80U | ((point >> 6U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | (point & 0x3FU)));
    } else {
        out.push_back(static_cast<char>(0xF0U | (point >> 18U)));
        out.push_back(static_cast<char>(0x80U | ((point >> 12U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | ((point >> 6U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | (point & 0x3FU)));
    }
}

bool SameValue(const AttributeValue& a, const AttributeValue& b) {
    if (a.index() != b.index()) {
        return false;
    }
    if (const auto* color = std::get_if<Ref<NSColor>>(&a)) {
        const auto& other = std::get<Ref<NSColor>>(b);
        return *color == other || (*color && other && (*color)->isEqual(*other));
    }
    return a == b;
}

bool SameAttributes(const AttributeDictionary& a, const AttributeDictionary& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (auto left = a.begin(), right = b.begin(); left != a.end(); ++left, ++right) {
        if (left->first != right->first || !SameValue(left->second, right->second)) {
            return false;
        }
    }
    return true;
}

nlohmann::json DescribeValue(const AttributeValue& value) {
    if (const auto* color = std::get_if<Ref<NSColor>>(&value)) {
        return *color ? (*color)->Describe() : nlohmann::json();
    }
    if (const auto* number = std::get_if<int64_t>(&value)) {
        return *number;
    }
    return std::get<std::string>(value);
}

} // namespace

[[maybe_unused]] static const Class kRegistered = NSMutableAttributedString::ClassObject();

NSMutableAttributedString::NSMutableAttributedString() : ModelObject(ClassObject()) {
}

NSMutableAttributedString::NSMutableAttributedString(const std::string& string)
    : NSMutableAttributedString() {
    initWithString(string);
}

Class NSMutableAttributedString::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSMutableAttributedString>("NSMutableAttributedString",
                                                                       NSObject::RootClass());
    return cls;
}

NSMutableAttributedString& NSMutableAttributedString::initWithString(const std::string& string) {
    m_string.clear();
    m_unitOffsets.clear();
    for (size_t at = 0; at < string.size();) {
        auto [point, bytes] = DecodeOne(string, at);
        m_unitOffsets.push_back(m_string.size());
        if (point >= 0x10000) {
            m_unitOffsets.push_back(kInsidePair);
        }
        Encode(point, m_string);
        at += bytes;
    }
    m_unitOffsets.push_back(m_string.size());
    m_spans.clear();
    if (length() > 0) {
        m_spans.push_back({length(), {}});
    }
    Changed();
    return *this;
}

Ref<NSMutableAttributedString> NSMutableAttributedString::mutableCopy() const {
    Ref<NSMutableAttributedString> copy = MakeRef<NSMutableAttributedString>();
    copy->m_string = m_string;
    copy->m_unitOffsets = m_unitOffsets;
    copy->m_spans = m_spans;
    return copy;
}

bool NSMutableAttributedString::IsBoundary(size_t index) const {
    return index < m_unitOffsets.size() && m_unitOffsets[index] != kInsidePair;
}

void NSMutableAttributedString::SplitAt(size_t index) {
    size_t start = 0;
    for (auto span = m_spans.begin(); span != m_spans.end(); ++span) {
        if (index == start) {
            return;
        }
        if (index < start + span->length) {
            Span tail{start + span->length - index, span->attributes};
            span->length = index - start;
            m_spans.insert(span + 1, std::move(tail));
            return;
        }
        start += span->length;
    }
}

void NSMutableAttributedString::MergeEqualNeighbours() {
    std::vector<Span> merged;
    for (Span& span : m_spans) {
        if (!merged.empty() && SameAttributes(merged.back().attributes, span.attributes)) {
            merged.back().length += span.length;
        } else {
            merged.push_back(std::move(span));
        }
    }
    m_spans = std::move(merged);
}

bool NSMutableAttributedString::addAttribute(const std::string& name, const AttributeValue& value,
                                             NSRange range) {
    // Checked without overflow: location may be anything a caller computed.
    if (range.location > length() || range.length > length() - range.location ||
        !IsBoundary(range.location) || !IsBoundary(NSMaxRange(range))) {
        return false;
    }
    if (range.length == 0) {
        return true;
    }
    SplitAt(range.location);
    SplitAt(NSMaxRange(range));
    size_t start = 0;
    for (Span& span : m_spans) {
        if (start >= range.location && start < NSMaxRange(range)) {
            span.attributes[name] = value;
        }
        start += span.length;
    }
    MergeEqualNeighbours();
    Changed();
    return true;
}

void NSMutableAttributedString::appendAttributedString(const NSMutableAttributedString& other) {
    if (other.length() == 0) {
        return;
    }
    // Copies first: `other` may be this string.
    std::vector<Span> spans = other.m_spans;
    std::vector<size_t> offsets = other.m_unitOffsets;
    std::string text = other.m_string;
    size_t base = m_string.size();
    m_unitOffsets.pop_back();
    for (size_t offset : offsets) {
        m_unitOffsets.push_back(offset == kInsidePair ? kInsidePair : base + offset);
    }
    m_string += text;
    m_spans.insert(m_spans.end(), spans.begin(), spans.end());
    MergeEqualNeighbours();
    Changed();
}

void NSMutableAttributedString::beginEditing() {
    ++m_editingDepth;
}

void NSMutableAttributedString::endEditing() {
    if (m_editingDepth == 0) {
        return;
    }
    if (--m_editingDepth == 0 && m_changedWhileEditing) {
        m_changedWhileEditing = false;
        NotifyObservers();
    }
}

void NSMutableAttributedString::Changed() {
    if (m_editingDepth > 0) {
        m_changedWhileEditing = true;
    } else {
        NotifyObservers();
    }
}

std::optional<AttributeValue> NSMutableAttributedString::attributeAtIndex(const std::string& name,
                                                                          size_t index) const {
    size_t start = 0;
    for (const Span& span : m_spans) {
        if (index < start + span.length) {
            auto found = span.attributes.find(name);
            return found == span.attributes.end() ? std::nullopt
                                                  : std::optional<AttributeValue>(found->second);
        }
        start += span.length;
    }
    return std::nullopt;
}

std::vector<AttributeRun> NSMutableAttributedString::runs() const {
    std::vector<AttributeRun> runs;
    size_t start = 0;
    for (const Span& span : m_spans) {
        size_t from = m_unitOffsets[start];
        size_t to = m_unitOffsets[start + span.length];
        runs.push_back(
            {NSMakeRange(start, span.length), m_string.substr(from, to - from), span.attributes});
        start += span.length;
    }
    return runs;
}

nlohmann::json NSMutableAttributedString::DescribeState() const {
    nlohmann::json runList = nlohmann::json::array();
    for (const AttributeRun& run : runs()) {
        nlohmann::json attributes = nlohmann::json::object();
        for (const auto& [name, value] : run.attributes) {
            attributes[name] = DescribeValue(value);
        }
        runList.push_back({{"text", run.text}, {"attributes", attributes}});
    }
    return {{"class", NSStringFromClass(isa())}, {"string", m_string}, {"runs", runList}};
}
