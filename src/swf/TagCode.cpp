#include "swf/TagCode.h"

#include <array>

namespace {

struct Named {
    TagCode code;
    const char* name;
};

// Reports print these names, and tests compare them with another parser's: spelled as the file
// format's documentation spells them.
constexpr Named kNames[] = {
    {TagCode::End, "End"},
    {TagCode::ShowFrame, "ShowFrame"},
    {TagCode::DefineShape, "DefineShape"},
    {TagCode::FreeCharacter, "FreeCharacter"},
    {TagCode::PlaceObject, "PlaceObject"},
    {TagCode::RemoveObject, "RemoveObject"},
    {TagCode::DefineBits, "DefineBits"},
    {TagCode::DefineButton, "DefineButton"},
    {TagCode::JPEGTables, "JPEGTables"},
    {TagCode::SetBackgroundColor, "SetBackgroundColor"},
    {TagCode::DefineFont, "DefineFont"},
    {TagCode::DefineText, "DefineText"},
    {TagCode::DoAction, "DoAction"},
    {TagCode::DefineFontInfo, "DefineFontInfo"},
    {TagCode::DefineSound, "DefineSound"},
    {TagCode::StartSound, "StartSound"},
    {TagCode::StopSound, "StopSound"},
    {TagCode::DefineButtonSound, "DefineButtonSound"},
    {TagCode::SoundStreamHead, "SoundStreamHead"},
    {TagCode::SoundStreamBlock, "SoundStreamBlock"},
    {TagCode::DefineBitsLossless, "DefineBitsLossless"},
    {TagCode::DefineBitsJPEG2, "DefineBitsJPEG2"},
    {TagCode::DefineShape2, "DefineShape2"},
    {TagCode::DefineButtonCxform, "DefineButtonCxform"},
    {TagCode::Protect, "Protect"},
    {TagCode::PathsArePostScript, "PathsArePostScript"},
    {TagCode::PlaceObject2, "PlaceObject2"},
    {TagCode::RemoveObject2, "RemoveObject2"},
    {TagCode::SyncFrame, "SyncFrame"},
    {TagCode::FreeAll, "FreeAll"},
    {TagCode::DefineShape3, "DefineShape3"},
    {TagCode::DefineText2, "DefineText2"},
    {TagCode::DefineButton2, "DefineButton2"},
    {TagCode::DefineBitsJPEG3, "DefineBitsJPEG3"},
    {TagCode::DefineBitsLossless2, "DefineBitsLossless2"},
    {TagCode::DefineEditText, "DefineEditText"},
    {TagCode::DefineVideo, "DefineVideo"},
    {TagCode::DefineSprite, "DefineSprite"},
    {TagCode::NameCharacter, "NameCharacter"},
    {TagCode::ProductInfo, "ProductInfo"},
    {TagCode::DefineTextFormat, "DefineTextFormat"},
    {TagCode::FrameLabel, "FrameLabel"},
    {TagCode::SoundStreamHead2, "SoundStreamHead2"},
    {TagCode::DefineMorphShape, "DefineMorphShape"},
    {TagCode::GenerateFrame, "GenerateFrame"},
    {TagCode::DefineFont2, "DefineFont2"},
    {TagCode::GeneratorCommand, "GeneratorCommand"},
    {TagCode::DefineCommandObject, "DefineCommandObject"},
    {TagCode::CharacterSet, "CharacterSet"},
    {TagCode::ExternalFont, "ExternalFont"},
    {TagCode::ExportAssets, "ExportAssets"},
    {TagCode::ImportAssets, "ImportAssets"},
    {TagCode::EnableDebugger, "EnableDebugger"},
    {TagCode::DoInitAction, "DoInitAction"},
    {TagCode::DefineVideoStream, "DefineVideoStream"},
    {TagCode::VideoFrame, "VideoFrame"},
    {TagCode::DefineFontInfo2, "DefineFontInfo2"},
    {TagCode::DebugID, "DebugID"},
    {TagCode::EnableDebugger2, "EnableDebugger2"},
    {TagCode::ScriptLimits, "ScriptLimits"},
    {TagCode::SetTabIndex, "SetTabIndex"},
    {TagCode::FileAttributes, "FileAttributes"},
    {TagCode::PlaceObject3, "PlaceObject3"},
    {TagCode::ImportAssets2, "ImportAssets2"},
    {TagCode::DoABCDefine, "DoABCDefine"},
    {TagCode::DefineFontAlignZones, "DefineFontAlignZones"},
    {TagCode::CSMTextSettings, "CSMTextSettings"},
    {TagCode::DefineFont3, "DefineFont3"},
    {TagCode::SymbolClass, "SymbolClass"},
    {TagCode::Metadata, "Metadata"},
    {TagCode::DefineScalingGrid, "DefineScalingGrid"},
    {TagCode::DoABC, "DoABC"},
    {TagCode::DefineShape4, "DefineShape4"},
    {TagCode::DefineMorphShape2, "DefineMorphShape2"},
    {TagCode::DefineSceneAndFrameLabelData, "DefineSceneAndFrameLabelData"},
    {TagCode::DefineBinaryData, "DefineBinaryData"},
    {TagCode::DefineFontName, "DefineFontName"},
    {TagCode::StartSound2, "StartSound2"},
    {TagCode::DefineBitsJPEG4, "DefineBitsJPEG4"},
    {TagCode::DefineFont4, "DefineFont4"},
    {TagCode::EnableTelemetry, "EnableTelemetry"},
    {TagCode::PlaceObject4, "PlaceObject4"},
};

constexpr uint16_t kHighestCode = CodeOf(TagCode::PlaceObject4);

constexpr std::array<const char*, kHighestCode + 1> Table() {
    std::array<const char*, kHighestCode + 1> table{};
    for (const Named& named : kNames) {
        table[CodeOf(named.code)] = named.name;
    }
    return table;
}

constexpr auto kTable = Table();

} // namespace

const char* TagName(uint16_t code) {
    const char* name = code <= kHighestCode ? kTable[code] : nullptr;
    return name != nullptr ? name : "Unknown";
}
