#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "appkit/ModelObject.h"
#include "appkit/NSColor.h"
#include "foundation/NSRange.h"

// The attribute names the original platform uses, and the one underline style drawn here.
inline constexpr const char* NSLinkAttributeName = "NSLink";
inline constexpr const char* NSForegroundColorAttributeName = "NSColor";
inline constexpr const char* NSUnderlineStyleAttributeName = "NSUnderline";
inline constexpr int64_t NSUnderlineStyleSingle = 1;

// A link is a string (a URL), a colour an NSColor, an underline style an integer.
using AttributeValue = std::variant<std::string, int64_t, Ref<NSColor>>;
using AttributeDictionary = std::map<std::string, AttributeValue>;

// A stretch of the string whose characters share the same attributes.
struct AttributeRun {
    NSRange range;    // UTF-16 code units
    std::string text; // UTF-8, the characters of `range`
    AttributeDictionary attributes;
};

// Text with attributes over ranges of it. Ranges count UTF-16 code units, as on the original
// platform, so that callers can carry their offsets over; presenters read whole runs of text
// instead and never count. Changes inside beginEditing/endEditing reach observers once, at the
// outermost endEditing.
class NSMutableAttributedString : public ModelObject {
public:
    NSMutableAttributedString();
    explicit NSMutableAttributedString(const std::string& string);
    static Class ClassObject();

    // Replaces the text and drops every attribute. Bytes that are not UTF-8 become U+FFFD, so
    // the text can always be described.
    NSMutableAttributedString& initWithString(const std::string& string);
    Ref<NSMutableAttributedString> mutableCopy() const;

    const std::string& string() const { return m_string; }
    size_t length() const { return m_unitOffsets.size() - 1; }

    // False, changing nothing, for a range past the end or one that splits a character made of
    // two UTF-16 units.
    bool addAttribute(const std::string& name, const AttributeValue& value, NSRange range);
    void appendAttributedString(const NSMutableAttributedString& other);
    void beginEditing();
    // Unmatched calls are ignored.
    void endEditing();

    // The attribute at a UTF-16 index; none past the end or where it is not set.
    std::optional<AttributeValue> attributeAtIndex(const std::string& name, size_t index) const;
    // Adjacent stretches with equal attributes are one run; an empty string has none.
    std::vector<AttributeRun> runs() const;

    // {"class", "string", "runs": [{"text", "attributes": {name: value}}]}; a colour value is
    // the colour's description.
    nlohmann::json DescribeState() const override;
    bool IsValue() const override { return true; }

private:
    struct Span {
        size_t length; // UTF-16 code units
        AttributeDictionary attributes;
    };
    // Whether a UTF-16 index starts a character (or is the end).
    bool IsBoundary(size_t index) const;
    // Splits the spans so that one starts at `index`, a boundary.
    void SplitAt(size_t index);
    void MergeEqualNeighbours();
    void Changed();

    std::string m_string;
    // The UTF-8 byte offset of each UTF-16 unit, and of the end; kInsidePair for the second
    // unit of a surrogate pair.
    std::vector<size_t> m_unitOffsets{0};
    std::vector<Span> m_spans;
    int m_editingDepth = 0;
    bool m_changedWhileEditing = false;
};
