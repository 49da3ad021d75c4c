#pragma once

#include <optional>
#include <string>

#include "appkit/NSAttributedString.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWindowController.h"
#include "foundation/defaults/NSBundle.h"

// The About window: the plug-in's name, version and copyright, and two links, to the web site
// and to the mail address, whose texts come from the plug-in's string table.
class HVXAboutWindowController : public NSWindowController {
public:
    HVXAboutWindowController();
    HVXAboutWindowController(const HVXAboutWindowController&) = delete;
    HVXAboutWindowController& operator=(const HVXAboutWindowController&) = delete;
    HVXAboutWindowController(HVXAboutWindowController&&) = delete;
    HVXAboutWindowController& operator=(HVXAboutWindowController&&) = delete;
    static Class ClassObject();

    // This controller, or null when the plug-in's bundle has no interface file for the window.
    HVXAboutWindowController* init();

    // Fills the version and copyright labels and makes the two link fields.
    void awakeFromNib();
    // The bundle's short version, as written (never translated).
    std::string versionString() const;
    // The bundle's copyright line, translated where the bundle translates it.
    std::string copyright() const;

    // The address a link text names: a web address parsed and normalised, or a mail address as
    // written ("mailto:" and an address, which the URL parser does not take); none for
    // anything else.
    static std::optional<std::string> LinkTarget(const std::string& text);
    // The caption, blue and underlined over its whole length, linking to `target` (an absolute
    // address) when there is one.
    static Ref<NSMutableAttributedString>
    hyperlinkFromString(const std::string& caption, const std::optional<std::string>& target);
    // The field shows the string table's web site (or mail) caption, linking to its address.
    void setHyperlinkWithTextField(NSTextField* field);
    void setEmailWithTextField(NSTextField* field);

    // Controls, connected by the interface file.
    Ref<NSTextField> m_vendrelURL;
    Ref<NSTextField> m_vendrelEmail;
    Ref<NSTextField> m_version;
    Ref<NSTextField> m_copyright;

    NSBundle* thisBundle = nullptr; // bundles live as long as the process

protected:
    ~HVXAboutWindowController() override = default;

private:
    // The plug-in's own bundle, also before init has kept it.
    NSBundle* Bundle() const;
    // A link field from the string table's address key and caption key.
    void SetLinkField(NSTextField* field, const std::string& addressKey,
                      const std::string& captionKey);
};
