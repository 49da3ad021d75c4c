// swf_seed_corpus DIR: writes a handful of small movies (plain, compressed, with the tags the
// parser looks at) into DIR as the fuzzer's starting corpus.
#include <iostream>

#include "SwfWriter.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: swf_seed_corpus DIR\n";
        return 2;
    }
    std::string dir = argv[1];
    SwfWriter tagged;
    tagged.Version(9).FrameSizePixels(550, 400).FrameRate(0x1800).FrameCount(3);
    tagged.Tag(41, std::vector<uint8_t>(26, 1)).BackgroundColor(0x33, 0x66, 0x99).Tag(24, {});
    tagged.Tag(82, std::vector<uint8_t>(80, 0x5A), true).ShowFrame().End();

    SwfWriter records;
    MATRIX matrix{0x18000, -0x4000, 0x2000, -0x10000, -200, 4000};
    CXFORM cxform{128, -20, 300, -5, 64, 7, -256, 100};
    std::vector<uint8_t> place = SwfWriter::Matrix(matrix, true, true);
    std::vector<uint8_t> colour = SwfWriter::Cxform(cxform, true, true, true);
    place.insert(place.end(), colour.begin(), colour.end());
    records.Frame(20, -20, -400, 400).Tag(26, place).Tag(12, {'a', 'b', 0}).End();

    try {
        SwfWriter::WriteFile(dir + "/tagged-fws.swf", tagged.Fws());
        SwfWriter::WriteFile(dir + "/tagged-cws.swf", tagged.Cws());
        SwfWriter::WriteFile(dir + "/records-fws.swf", records.Fws());
        SwfWriter::WriteFile(dir + "/records-cws.swf", records.Cws(9));
        SwfWriter::WriteFile(dir + "/liar-cws.swf",
                             SwfWriter().End().LengthField(0xFFFFFFF0).Cws());
        SwfWriter::WriteFile(dir + "/minimal-fws.swf", SwfWriter().LengthField(21).Fws());
    } catch (const std::exception& error) {
        std::cerr << "swf_seed_corpus: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
