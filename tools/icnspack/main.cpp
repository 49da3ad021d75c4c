// icnspack OUT.icns TYPE IMAGE.png [TYPE IMAGE.png...]
//
// Packs PNG images into an ICNS icon container: "icns", the file's length, then per image its
// four-character type (ic07 = 128 px, ic08 = 256 px, ic09 = 512 px), the entry's length and the
// PNG file's bytes unchanged. Lengths are big-endian and count their own 8-byte header.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/StagedFile.h"

namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

void AppendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xff);
    }
}

int Fail(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "icnspack: %s: %s\n", what.c_str(), why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || (argc - 2) % 2 != 0) {
        std::fprintf(stderr, "usage: icnspack OUT.icns TYPE IMAGE.png [TYPE IMAGE.png...]\n");
        return 2;
    }
    std::string entries;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string type = argv[i];
        const std::string image = argv[i + 1];
        if (type.size() != 4) {
            return Fail(type, "an entry type has four characters");
        }
        std::ifstream in(image, std::ios::binary);
        std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            return Fail(image, "cannot read");
        }
        if (png.compare(0, kPngSignature.size(), kPngSignature) != 0) {
            return Fail(image, "not a PNG file");
        }
        if (png.size() > UINT32_MAX - 16 - entries.size()) {
            return Fail(image, "too large for an icon file");
        }
        entries += type;
        AppendBigEndian(entries, static_cast<uint32_t>(png.size() + 8));
        entries += png;
    }
    std::string icns = "icns";
    AppendBigEndian(icns, static_cast<uint32_t>(entries.size() + 8));
    icns += entries;

    const std::string output = argv[1];
    Outcome<StagedFile> file = StagedFile::CreateBeside(output);
    Outcome<> written = file ? file.value().Write(icns) : Outcome<>(file.failure());
    if (written) {
        written = file.value().Commit(StagedFile::Existing::Replace);
    }
    if (!written) {
        return Fail(written.failure().what, written.failure().why);
    }
    return 0;
}
