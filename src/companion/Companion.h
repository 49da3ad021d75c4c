#pragma once

#include <string>

class NSBundle;

// The companion SWF application and the plug-in's string table: where the companion is looked
// for, whether it is there, whether it is the current version, and the texts every window shows.
// The menu and the captured-SWF window ask here, so they always agree.

// Where the companion is installed when the string table does not say otherwise.
inline constexpr const char* dissectaAppPath = "/Applications/Dissecta.app";

// The string-table text for a key in the plug-in's "LocalStrings" table, with the empty default
// (so a key the table lacks shows as itself). The key itself without a bundle.
std::string LocalString(NSBundle* bundle, const std::string& key);

// The install path named by the string table's "Menu : DissectaApp Path" (a leading "~/" is the
// home folder), or dissectaAppPath when the table lacks the key (a path that is the key's own
// text names nothing).
std::string DissectaAppPath(NSBundle* bundle);

// Installed means that something, even a plain file, exists at DissectaAppPath.
bool isInstallDissecta(NSBundle* bundle);

// Whether the installed companion's version string carries the string table's "Menu : Version"
// at characters 8 to 10. A companion with no version string counts as current; one too short to
// carry the characters does not.
bool IsCurrentDissecta(NSBundle* bundle);
