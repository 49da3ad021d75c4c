#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "ReadWholeFile.h"

namespace {

// What the native side relies on in each bundled page, checked on the text of the page: the
// functions it calls, the readiness flag, and that the page touches nothing else of the
// native object. The object is only ever used as `cocoaApp.<member>` or in a guard
// (`typeof cocoaApp`, `cocoaApp !== null`), never handed to another name, so scanning those
// uses covers every use.
struct Page {
    const char* file;
    std::vector<std::string> functions;
    std::set<std::string> members;
};

// Names the page in test listings instead of dumping its bytes.
void PrintTo(const Page& page, std::ostream* out) {
    *out << page.file;
}

class PageContractTest : public ::testing::TestWithParam<Page> {
protected:
    void SetUp() override {
        const std::string resources = std::string(HVX_BUILT_BUNDLE) + "/Resources/";
        text = ReadWholeFile(resources + GetParam().file);
        ASSERT_FALSE(text.empty()) << GetParam().file << " is not in the bundle";
        // The scripts the page loads from the bundle run in it: they are checked with it. The
        // player is optional and not ours.
        const std::regex local(R"re(<script src="([^":/]+\.js)"></script>)re");
        const std::string page = text;
        for (auto it = std::sregex_iterator(page.begin(), page.end(), local);
             it != std::sregex_iterator(); ++it) {
            std::string script = ReadWholeFile(resources + (*it)[1].str());
            ASSERT_FALSE(script.empty()) << (*it)[1] << " is not in the bundle";
            text += "\n" + script;
        }
    }

    std::string text;
};

TEST_P(PageContractTest, DefinesWhatTheNativeSideCalls) {
    for (const std::string& name : GetParam().functions) {
        EXPECT_TRUE(
            std::regex_search(text, std::regex("(^|\\n)\\s*function\\s+" + name + "\\s*\\(")))
            << name;
    }
    EXPECT_TRUE(std::regex_search(text, std::regex("cocoaApp\\.bSWFReady\\s*=\\s*true\\s*;")));
}

TEST_P(PageContractTest, UsesOnlyTheAllowedMembersOfTheNativeObject) {
    const std::regex member(R"(^\s*\.\s*([A-Za-z_$][\w$]*))");
    const std::regex assignment(R"(^\s*\.\s*[A-Za-z_$][\w$]*\s*=(?!=)\s*([^;\n]*))");
    const std::regex nullCheck(R"(^\s*[!=]==?\s*(null|undefined)\b)");
    const std::regex use(R"(\bcocoaApp\b)");
    std::set<std::string> used;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), use);
         it != std::sregex_iterator(); ++it) {
        size_t at = static_cast<size_t>(it->position());
        std::string after = text.substr(at + it->length(), 200);
        std::string before = text.substr(at >= 16 ? at - 16 : 0, at >= 16 ? 16 : at);
        std::string context = text.substr(at >= 30 ? at - 30 : 0, 80);
        std::smatch found;
        if (std::regex_search(after, found, member)) {
            used.insert(found[1]);
            EXPECT_EQ(GetParam().members.count(found[1]), 1U) << "not allowed: " << context;
            std::smatch assigned;
            if (std::regex_search(after, assigned, assignment)) {
                // The page sets the readiness flag, to true, and nothing else.
                EXPECT_EQ(found[1], "bSWFReady") << context;
                EXPECT_EQ(assigned[1], "true") << context;
            }
        } else {
            bool guard = std::regex_search(before, std::regex(R"(\btypeof\s+$)")) ||
                         std::regex_search(after, nullCheck);
            EXPECT_TRUE(guard) << "the object used other than through a member: " << context;
        }
    }
    EXPECT_EQ(used, GetParam().members);
}

TEST_P(PageContractTest, LoadsNothingFromTheNetwork) {
    // Everything is inline except the optional player beside the page.
    const std::regex source(R"(\bsrc\s*=\s*["']([^"']*)["'])");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), source);
         it != std::sregex_iterator(); ++it) {
        std::string address = (*it)[1];
        EXPECT_FALSE(std::regex_search(address, std::regex("^([A-Za-z][A-Za-z0-9+.-]*:|//)")))
            << address;
    }
    EXPECT_EQ(text.find("<link"), std::string::npos);
    EXPECT_EQ(text.find("@import"), std::string::npos);
    EXPECT_FALSE(std::regex_search(text, std::regex(R"(url\(\s*["']?([A-Za-z]+:|//))")));
}

INSTANTIATE_TEST_SUITE_P(BundledPages, PageContractTest,
                         ::testing::Values(Page{"SWFBrowser.html",
                                                {"Reload", "infoCurrentSWF", "infoFrameSize"},
                                                {"WriteCocoaAppLog", "OnSelectedSWF", "bSWFReady"}},
                                           Page{"AdBrowser.html",
                                                {},
                                                {"WriteCocoaAppLog", "OnClickAdSWF", "bSWFReady"}}),
                         [](const ::testing::TestParamInfo<Page>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

} // namespace
