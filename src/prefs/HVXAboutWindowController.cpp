#include "prefs/HVXAboutWindowController.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "appkit/NibOutletTable.h"
#include "companion/Companion.h"
#include "foundation/URL.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MemberMethod.h"

namespace {

constexpr const char* kInterfaceFile = "SafariHarvexAbout";

std::string InterfaceFilePath() {
    NSBundle* bundle = NSBundle::bundleForClass(HVXAboutWindowController::ClassObject());
    return bundle == nullptr ? std::string() : bundle->pathForResource(kInterfaceFile, "nib");
}

// "mailto:" (any case) and an address with something either side of its "@", holding nothing
// the workspace refuses: no spaces or control characters.
bool IsMailAddress(std::string_view text) {
    constexpr std::string_view kScheme = "mailto:";
    if (text.size() <= kScheme.size() ||
        !std::equal(kScheme.begin(), kScheme.end(), text.begin(), [](char wanted, char seen) {
            return wanted == std::tolower(static_cast<unsigned char>(seen));
        })) {
        return false;
    }
    const std::string_view address = text.substr(kScheme.size());
    const size_t at = address.find('@');
    const bool plain = std::none_of(address.begin(), address.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '\x7F';
    });
    return plain && at != std::string_view::npos && at > 0 && at + 1 < address.size();
}

} // namespace

HVXAboutWindowController::HVXAboutWindowController()
    : NSWindowController(ClassObject(), InterfaceFilePath(), nullptr) {
}

Class HVXAboutWindowController::ClassObject() {
    static Class cls = [] {
        using C = HVXAboutWindowController;
        Class made =
            RegisterRuntimeClass<C>("HVXAboutWindowController", NSWindowController::ClassObject());
        DefineMethod<&C::awakeFromNib>(made, "awakeFromNib");
        DefineMethod<&C::versionString>(made, "versionString");
        DefineMethod<&C::copyright>(made, "copyright");
        DefineMethod<&C::setHyperlinkWithTextField>(made, "setHyperlinkWithTextField:");
        DefineMethod<&C::setEmailWithTextField>(made, "setEmailWithTextField:");
        NibOutletTable::Declare(made, "m_vendrelURL", &C::m_vendrelURL);
        NibOutletTable::Declare(made, "m_vendrelEmail", &C::m_vendrelEmail);
        NibOutletTable::Declare(made, "m_version", &C::m_version);
        NibOutletTable::Declare(made, "m_copyright", &C::m_copyright);
        return made;
    }();
    return cls;
}

HVXAboutWindowController* HVXAboutWindowController::init() {
    thisBundle = NSBundle::bundleForClass(ClassObject());
    return windowNibPath().empty() ? nullptr : this;
}

void HVXAboutWindowController::awakeFromNib() {
    if (m_version) {
        m_version->setStringValue("Version " + versionString());
    }
    if (m_copyright) {
        m_copyright->setStringValue(copyright());
    }
    setHyperlinkWithTextField(m_vendrelURL.get());
    setEmailWithTextField(m_vendrelEmail.get());
}

std::string HVXAboutWindowController::versionString() const {
    NSBundle* bundle = Bundle();
    return bundle == nullptr ? std::string()
                             : bundle->objectForInfoDictionaryKey("CFBundleShortVersionString");
}

std::string HVXAboutWindowController::copyright() const {
    NSBundle* bundle = Bundle();
    return bundle == nullptr ? std::string()
                             : bundle->localizedInfoDictionaryValue("NSHumanReadableCopyright");
}

std::optional<std::string> HVXAboutWindowController::LinkTarget(const std::string& text) {
    if (std::optional<URL> url = URL::URLWithString(text); url) {
        return url->absoluteString();
    }
    if (IsMailAddress(text)) {
        return text;
    }
    return std::nullopt;
}

Ref<NSMutableAttributedString>
HVXAboutWindowController::hyperlinkFromString(const std::string& caption,
                                              const std::optional<std::string>& target) {
    Ref<NSMutableAttributedString> text = MakeRef<NSMutableAttributedString>(caption);
    const NSRange whole = NSMakeRange(0, text->length());
    text->beginEditing();
    // An address that does not parse still reads as a link, but has nothing to open.
    if (target) {
        text->addAttribute(NSLinkAttributeName, *target, whole);
    }
    text->addAttribute(NSForegroundColorAttributeName, NSColor::blueColor(), whole);
    text->addAttribute(NSUnderlineStyleAttributeName, NSUnderlineStyleSingle, whole);
    text->endEditing();
    return text;
}

void HVXAboutWindowController::setHyperlinkWithTextField(NSTextField* field) {
    SetLinkField(field, "About : URL_A", "About : URL_B");
}

void HVXAboutWindowController::setEmailWithTextField(NSTextField* field) {
    SetLinkField(field, "About : EMAIL_A", "About : EMAIL_B");
}

void HVXAboutWindowController::SetLinkField(NSTextField* field, const std::string& addressKey,
                                            const std::string& captionKey) {
    if (field == nullptr) {
        return;
    }
    // A link reacts to clicks only in a selectable field that allows editing text attributes.
    field->setAllowsEditingTextAttributes(true);
    field->setSelectable(true);
    const std::optional<std::string> target = LinkTarget(LocalString(Bundle(), addressKey));
    Ref<NSMutableAttributedString> value = MakeRef<NSMutableAttributedString>();
    value->appendAttributedString(*hyperlinkFromString(LocalString(Bundle(), captionKey), target));
    field->setAttributedStringValue(value);
}

NSBundle* HVXAboutWindowController::Bundle() const {
    return thisBundle != nullptr ? thisBundle : NSBundle::bundleForClass(ClassObject());
}
