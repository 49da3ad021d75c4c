#pragma once

// Every key the plug-in stores as a setting, and the texts its flags are stored as.
namespace PreferenceKeys {

// Top level of the host's user defaults: the settings dictionary.
inline constexpr char kPreferences[] = "SWFHarvexPreferences";
// Inside the dictionary.
inline constexpr char kSavePrefePath[] = "SWFHarvexSavePrefePath";
inline constexpr char kSaveComboxPath[] = "SWFHarvexSaveComboxPath";
inline constexpr char kSavePathArray[] = "SWFHarvexSavePathArray";
inline constexpr char kAutoOpen[] = "SWFHarvexAutoOpen";
// Top-level integers, outside the dictionary.
inline constexpr char kSaveMatrixIndex[] = "SWFHarvexSaveMatrixIndex";
inline constexpr char kFileMatrixIndex[] = "SWFHarvexFileMatrixIndex";

inline constexpr char kTrue[] = "true";
inline constexpr char kFalse[] = "false";

} // namespace PreferenceKeys
