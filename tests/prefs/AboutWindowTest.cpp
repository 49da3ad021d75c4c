#include <optional>
#include <string>
#include <vector>

#include "PlugInWindowHarness.h"
#include "appkit/NSAttributedString.h"
#include "prefs/HVXAboutWindowController.h"
#include "runtime/MessageSend.h"

namespace {

using nlohmann::json;

class AboutWindowTest : public PlugInWindowHarness {
protected:
    HVXAboutWindowController& Open() {
        m_controller = MakeRef<HVXAboutWindowController>();
        EXPECT_EQ(m_controller->init(), m_controller.get());
        m_controller->showWindow(nullptr);
        EXPECT_NE(m_controller->window(), nullptr) << m_controller->loadError()->message();
        return *m_controller;
    }

    Ref<HVXAboutWindowController> m_controller;
};

struct LinkField {
    const char* name;
    Ref<NSTextField> HVXAboutWindowController::*field;
    const char* captionKey;
    const char* targetKey;
};
const std::vector<LinkField> kLinkFields{
    {"web site", &HVXAboutWindowController::m_vendrelURL, "About : URL_B", "About : URL_A"},
    {"mail", &HVXAboutWindowController::m_vendrelEmail, "About : EMAIL_B", "About : EMAIL_A"},
};

// The caption's one run, blue and underlined; its link target when it has one.
void ExpectStyledCaption(const NSTextField& field, const std::string& caption, const json& target) {
    ASSERT_NE(field.attributedStringValue(), nullptr);
    std::vector<AttributeRun> runs = field.attributedStringValue()->runs();
    ASSERT_EQ(runs.size(), 1U);
    EXPECT_EQ(runs[0].text, caption);
    EXPECT_EQ(field.stringValue(), caption);
    json expected{{NSForegroundColorAttributeName, NSColor::blueColor()->Describe()},
                  {NSUnderlineStyleAttributeName, NSUnderlineStyleSingle}};
    if (!target.is_null()) {
        expected[NSLinkAttributeName] = target;
    }
    EXPECT_EQ(field.attributedStringValue()->Describe()["runs"][0]["attributes"], expected);
}

TEST_F(AboutWindowTest, BothLinksShowTheirCaptionsAndOpenTheirTargets) {
    HVXAboutWindowController& controller = Open();
    EXPECT_EQ(controller.window()->title(), "About SWFHarvex");
    std::vector<WorkspaceCall> opened;
    for (const LinkField& link : kLinkFields) {
        SCOPED_TRACE(link.name);
        NSTextField& field = *(controller.*link.field);
        const std::string target =
            bundle->localizedStringForKey(link.targetKey, "", "LocalStrings");
        ExpectStyledCaption(
            field, bundle->localizedStringForKey(link.captionKey, "", "LocalStrings"), target);
        EXPECT_TRUE(field.clickLink(0));
        opened.push_back({"openURL", {target}, false});
    }
    EXPECT_EQ(workspace->calls(), opened);
}

TEST_F(AboutWindowTest, ATargetThatIsNotAnAddressStillStylesItsCaptionButLinksNowhere) {
    SetLocalString("About : URL_A", "swfharvex dot example");
    SetLocalString("About : EMAIL_A", "mailto:hello at swfharvex.example");
    SetLocalString("About : EMAIL_B", "Write to us");
    HVXAboutWindowController& controller = Open();
    const std::vector<std::string> captions{
        bundle->localizedStringForKey("About : URL_B", "", "LocalStrings"), "Write to us"};
    for (size_t index = 0; index < kLinkFields.size(); ++index) {
        SCOPED_TRACE(kLinkFields[index].name);
        NSTextField& field = *(controller.*kLinkFields[index].field);
        ExpectStyledCaption(field, captions[index], nullptr);
        EXPECT_FALSE(field.clickLink(0));
    }
    EXPECT_TRUE(workspace->calls().empty());
}

TEST(AboutLinkTargetTest, OnlyWebAndMailAddressesBecomeLinkTargets) {
    struct Case {
        const char* text;
        std::optional<std::string> target;
    };
    const std::vector<Case> table{
        {"https://swfharvex.example", "https://swfharvex.example/"},
        {"mailto:hello@swfharvex.example", "mailto:hello@swfharvex.example"},
        {"MailTo:hello@swfharvex.example", "MailTo:hello@swfharvex.example"},
        {"mailto:", std::nullopt},
        {"mailto:hello", std::nullopt},
        {"mailto:@swfharvex.example", std::nullopt},
        {"mailto:hello@", std::nullopt},
        {"mailto:hello@swfharvex.example\nBcc:x@y", std::nullopt},
        {"hello@swfharvex.example", std::nullopt},
        {"javascript:alert(1)", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : table) {
        EXPECT_EQ(HVXAboutWindowController::LinkTarget(c.text), c.target) << c.text;
    }
}

TEST_F(AboutWindowTest, VersionAndCopyrightComeFromTheBundle) {
    HVXAboutWindowController& controller = Open();
    EXPECT_EQ(controller.thisBundle, bundle);
    // By name, as other code reaches them; the version is never translated, the copyright is.
    EXPECT_EQ(objc_msgSend<std::string>(&controller, "versionString"), kVersion);
    EXPECT_EQ(objc_msgSend<std::string>(&controller, "copyright"), kTranslatedCopyright);
    EXPECT_EQ(controller.m_version->stringValue(), std::string("Version ") + kVersion);
    EXPECT_EQ(controller.m_copyright->stringValue(), kTranslatedCopyright);
}

} // namespace
