#include "SwfMovieCommand.h"

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <CLI/CLI.hpp>

#include "MovieBuilder.h"
#include "MovieDescriptionReader.h"
#include "foundation/StagedFile.h"

namespace {

// Hidden beside the output until whole, so a failed run never leaves half a movie there.
Outcome<> WriteMovie(const std::string& path, const std::vector<uint8_t>& movie) {
    Outcome<StagedFile> file = StagedFile::CreateBeside(path);
    if (!file) {
        return file.failure();
    }
    const std::string_view bytes(reinterpret_cast<const char*>(movie.data()), movie.size());
    if (Outcome<> written = file.value().Write(bytes); !written) {
        return written;
    }
    return file.value().Commit(StagedFile::Existing::Replace);
}

} // namespace

int SwfMovieCommand::Run(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    CLI::App app{"Writes a simple SWF movie (stage, background, filled rectangles, frames and, "
                 "optionally, ActionScript 3 code making HTTP requests) from a JSON description.",
                 "swfmovie"};
    std::string descriptionPath;
    std::string outputPath;
    app.add_option("DESCRIPTION", descriptionPath, "The movie's JSON description")->required();
    app.add_option("-o,--output", outputPath, "Where to write the SWF file")->required();
    app.footer(
        "The description is one JSON object:\n"
        "  version     SWF version, 1 to 255 (compressed needs 6 or later, shapes 3 or later)\n"
        "  width       frame width in whole pixels, 1 to 8191\n"
        "  height      frame height in whole pixels, 1 to 8191\n"
        "  frameRate   frames per second, above 0 and below 256 (kept to 1/256)\n"
        "  frames      frame count, 1 to 65535\n"
        "  compressed  optional, true for a zlib-compressed (CWS) movie; default false\n"
        "  background  optional, stage colour \"#rrggbb\"\n"
        "  shapes      optional, filled rectangles drawn in order, each\n"
        "              {\"x\", \"y\", \"width\", \"height\" (whole pixels), \"color\": \"#rrggbb\" "
        "or \"#rrggbbaa\"}\n"
        "  requests    optional, at most 64 HTTP requests made in order when the movie starts,\n"
        "              each {\"method\": \"GET\" or \"POST\", \"url\" (1 to 2048 bytes),\n"
        "              \"headers\" (optional, at most 16: {\"Name\": \"value\"}), \"body\" "
        "(optional,\n"
        "              POST only, up to 16384 bytes)}; needs version 9 or later. The movie is\n"
        "              then ActionScript 3: its document class sends each request with\n"
        "              URLLoader, a refused one not stopping the next\n"
        "  loads       optional, at most 64 movies loaded in order when the movie starts, each\n"
        "              {\"url\", \"target\" (optional, default \"_level0\", which replaces the\n"
        "              movie)}: ActionScript 1 getURL actions in the first frame; needs version 3\n"
        "              or later, and not with requests. {\"variable\": NAME} instead of url\n"
        "              loads the address that variable holds (a flashvar), with getURL2\n"
        "Unknown or repeated keys are refused. OUT is replaced only by a complete movie.\n"
        "Exit status: 0 on success, 1 when the description or OUT fails, 2 on a usage error.");

    // CLI11 wants argv order reversed when given a vector.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        err << "swfmovie: " << error.what() << "\n"
            << "Run 'swfmovie --help' for usage.\n";
        return kUsageError;
    }
    if (outputPath.empty()) {
        err << "swfmovie: --output: the path is empty\n"
            << "Run 'swfmovie --help' for usage.\n";
        return kUsageError;
    }
    // Writing over the description would lose it.
    std::error_code ignored;
    if (std::filesystem::equivalent(descriptionPath, outputPath, ignored)) {
        err << "swfmovie: " << outputPath << ": is the description itself\n";
        return kFailed;
    }

    std::vector<uint8_t> movie;
    try {
        movie = MovieBuilder::Build(MovieDescriptionReader::ReadFile(descriptionPath));
    } catch (const std::exception& error) {
        err << "swfmovie: " << descriptionPath << ": " << error.what() << "\n";
        return kFailed;
    }
    Outcome<> written = WriteMovie(outputPath, movie);
    if (!written) {
        err << "swfmovie: " << written.failure().what << ": cannot write: " << written.failure().why
            << "\n";
        return kFailed;
    }
    return 0;
}
