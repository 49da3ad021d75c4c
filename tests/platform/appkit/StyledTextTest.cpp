#include <gtest/gtest.h>

#include "RecordingWorkspaceBackend.h"
#include "appkit/NSAttributedString.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWorkspace.h"
#include "foundation/Log.h"
#include "foundation/objects/NSNotification.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

using nlohmann::json;

// "Über 🎬 SWF": Ü is one UTF-16 unit (two UTF-8 bytes), the clapper two units (four bytes).
const std::string kCaption = "\xC3\x9C"
                             "ber \xF0\x9F\x8E\xAC SWF";

TEST(StyledTextTest, RangesCountUtf16AndNeverReachPastTheEnd) {
    Ref<NSMutableAttributedString> text = MakeRef<NSMutableAttributedString>(kCaption);
    EXPECT_EQ(text->length(), 11U);
    struct Case {
        NSRange range;
        bool accepted;
    };
    for (const Case& c : {Case{NSMakeRange(5, 2), true},            // the clapper
                          Case{NSMakeRange(9, 2), true},            // "WF", up to the end
                          Case{NSMakeRange(6, 2), false},           // splits the clapper
                          Case{NSMakeRange(10, 2), false},          // past the end
                          Case{NSMakeRange(12, 0), false},          // starts past the end
                          Case{NSMakeRange(2, SIZE_MAX), false}}) { // overflows
        EXPECT_EQ(
            text->addAttribute(NSUnderlineStyleAttributeName, NSUnderlineStyleSingle, c.range),
            c.accepted)
            << c.range.location << "+" << c.range.length;
    }
    EXPECT_TRUE(text->addAttribute(NSLinkAttributeName, std::string("https://example.com/"),
                                   NSMakeRange(0, 4)));
    text->addAttribute(NSForegroundColorAttributeName, NSColor::blueColor(), NSMakeRange(0, 4));
    EXPECT_EQ(text->attributeAtIndex(NSLinkAttributeName, 3),
              std::optional<AttributeValue>(std::string("https://example.com/")));
    EXPECT_EQ(text->attributeAtIndex(NSLinkAttributeName, 4), std::nullopt);
    EXPECT_EQ(text->attributeAtIndex(NSLinkAttributeName, 11), std::nullopt);

    json runs = text->Describe()["runs"];
    ASSERT_EQ(runs.size(), 5U) << runs;
    EXPECT_EQ(runs[0]["text"], "\xC3\x9C"
                               "ber");
    EXPECT_EQ(runs[0]["attributes"]["NSLink"], "https://example.com/");
    EXPECT_EQ(runs[0]["attributes"]["NSColor"]["blue"], 1.0);
    EXPECT_EQ(runs[2], (json{{"text", "\xF0\x9F\x8E\xAC"}, {"attributes", {{"NSUnderline", 1}}}}));
    EXPECT_EQ(runs[3], (json{{"text", " S"}, {"attributes", json::object()}}));
    EXPECT_EQ(runs[4]["text"], "WF");

    // Appending keeps both sides' attributes; appending a string to itself doubles it.
    text->appendAttributedString(*text);
    EXPECT_EQ(text->length(), 22U);
    EXPECT_EQ(text->string(), kCaption + kCaption);
    EXPECT_EQ(text->attributeAtIndex(NSUnderlineStyleAttributeName, 16),
              std::optional<AttributeValue>(NSUnderlineStyleSingle));

    // Bytes that are not UTF-8 stay describable.
    Ref<NSMutableAttributedString> broken = MakeRef<NSMutableAttributedString>("a\xFF\xC3");
    EXPECT_EQ(broken->length(), 3U);
    EXPECT_NO_THROW((void)broken->Describe().dump());
}

TEST(StyledTextTest, EditsInsideBeginAndEndEditingNotifyOnce) {
    Ref<NSMutableAttributedString> text = MakeRef<NSMutableAttributedString>("Get the player");
    int changes = 0;
    text->AddObserver([&changes] { ++changes; });
    text->beginEditing();
    text->beginEditing();
    text->addAttribute(NSLinkAttributeName, std::string("https://example.com/"), NSMakeRange(8, 6));
    text->addAttribute(NSUnderlineStyleAttributeName, NSUnderlineStyleSingle, NSMakeRange(8, 6));
    text->endEditing();
    EXPECT_EQ(changes, 0);
    text->endEditing();
    EXPECT_EQ(changes, 1);
    text->endEditing(); // unmatched
    text->beginEditing();
    text->endEditing(); // nothing changed
    text->addAttribute(NSUnderlineStyleAttributeName, int64_t{0}, NSMakeRange(0, 1));
    EXPECT_EQ(changes, 2);
}

// A field's delegate, as a window controller is.
class FieldDelegate : public NSObject {
public:
    FieldDelegate() : NSObject(ClassObject()) {}
    static Class ClassObject();
    std::vector<std::pair<std::string, std::string>> seen; // notification name, field's text
};

void TextDidChange(id self, SEL, id notification) {
    auto* note = static_cast<NSNotification*>(notification);
    static_cast<FieldDelegate*>(self)->seen.emplace_back(
        note->name(), static_cast<NSTextField*>(note->object())->stringValue());
}

void WrongTextDidChange(id, SEL) {
}

Class FieldDelegate::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<FieldDelegate>("FieldDelegate", NSObject::RootClass());
        class_defineMethod(made, "controlTextDidChange:", &TextDidChange);
        return made;
    }();
    return cls;
}

TEST(StyledTextTest, UserEditsReachTheDelegateOncePerEdit) {
    Ref<NSTextField> field = MakeRef<NSTextField>();
    Ref<FieldDelegate> delegate = MakeRef<FieldDelegate>();
    field->setDelegate(delegate.get());
    field->setAttributedStringValue(MakeRef<NSMutableAttributedString>("styled"));
    EXPECT_TRUE(field->userEditedText("movie"));
    EXPECT_TRUE(field->userEditedText("movie.swf"));
    EXPECT_EQ(field->attributedStringValue(), nullptr); // typing leaves plain text
    using Seen = std::pair<std::string, std::string>;
    EXPECT_EQ(delegate->seen,
              (std::vector<Seen>{{"NSControlTextDidChangeNotification", "movie"},
                                 {"NSControlTextDidChangeNotification", "movie.swf"}}));

    field->setEnabled(false);
    EXPECT_FALSE(field->userEditedText("x"));
    field->setEnabled(true);
    field->setEditable(false);
    EXPECT_FALSE(field->userEditedText("x"));
    EXPECT_EQ(field->stringValue(), "movie.swf");
    EXPECT_EQ(delegate->seen.size(), 2U);

    // A delegate method of the wrong shape is logged, not called.
    static Class wrong = [] {
        Class made = objc_registerClass("WrongFieldDelegate", NSObject::RootClass());
        class_defineMethod(made, "controlTextDidChange:", &WrongTextDidChange);
        return made;
    }();
    Ref<NSObject> wrongDelegate = class_createInstance(wrong);
    field->setEditable(true);
    field->setDelegate(wrongDelegate.get());
    LogCapture log;
    EXPECT_TRUE(field->userEditedText("y"));
    EXPECT_EQ(log.Lines().size(), 1U);
}

TEST(StyledTextTest, LinksOpenOnlyInSelectableFieldsThatAllowEditingAttributes) {
    auto backend = std::make_unique<RecordingWorkspaceBackend>();
    RecordingWorkspaceBackend* recording = backend.get();
    std::unique_ptr<WorkspaceBackend> previous =
        NSWorkspace::sharedWorkspace().setBackend(std::move(backend));

    Ref<NSMutableAttributedString> text = MakeRef<NSMutableAttributedString>("See the site");
    text->addAttribute(NSLinkAttributeName, std::string("https://example.com/"), NSMakeRange(8, 4));
    struct Case {
        bool selectable;
        bool allows;
        size_t run;
        bool opens;
    };
    for (const Case& c :
         {Case{true, true, 1, true}, Case{false, true, 1, false}, Case{true, false, 1, false},
          Case{true, true, 0, false}, Case{true, true, 2, false}}) {
        Ref<NSTextField> field = MakeRef<NSTextField>();
        field->setEditable(false);
        field->setSelectable(c.selectable);
        field->setAllowsEditingTextAttributes(c.allows);
        field->setAttributedStringValue(text);
        EXPECT_EQ(field->clickLink(c.run), c.opens) << c.selectable << c.allows << " run " << c.run;
    }
    EXPECT_EQ(recording->calls(),
              (std::vector<WorkspaceCall>{{"openURL", {"https://example.com/"}, false}}));

    // The field keeps its own copy, and describes it.
    Ref<NSTextField> field = MakeRef<NSTextField>();
    field->setAttributedStringValue(text);
    text->addAttribute(NSUnderlineStyleAttributeName, NSUnderlineStyleSingle, NSMakeRange(0, 3));
    json description = field->Describe();
    EXPECT_EQ(description["stringValue"], "See the site");
    EXPECT_EQ(description["attributedStringValue"]["runs"][0],
              (json{{"text", "See the "}, {"attributes", json::object()}}));
    field->setStringValue("See the site");
    EXPECT_TRUE(field->Describe()["attributedStringValue"].is_null());

    NSWorkspace::sharedWorkspace().setBackend(std::move(previous));
}

} // namespace
