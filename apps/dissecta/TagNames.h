#pragma once

#include <cstdint>

// The name of a tag code as the file format names it; "Unknown" for codes it does not define.
const char* TagName(uint16_t code);

// Tag codes the dissector looks into.
namespace TagCode {
inline constexpr uint16_t End = 0;
inline constexpr uint16_t ShowFrame = 1;
inline constexpr uint16_t DefineButton = 7;
inline constexpr uint16_t DoAction = 12;
inline constexpr uint16_t DefineButton2 = 34;
inline constexpr uint16_t DefineSprite = 39;
inline constexpr uint16_t ImportAssets = 57;
inline constexpr uint16_t DoInitAction = 59;
inline constexpr uint16_t FileAttributes = 69;
inline constexpr uint16_t ImportAssets2 = 71;
inline constexpr uint16_t DoABCDefine = 72;
inline constexpr uint16_t DoABC = 82;
} // namespace TagCode
