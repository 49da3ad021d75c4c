#include "swfharvex/CommandLine.h"

#include <CLI/CLI.hpp>

#include "swfharvex/InfoCommand.h"

int CommandLine::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{"SWFHarvex: catch, keep and inspect the SWF (Flash) movies that web pages embed.",
                 "swfharvex"};
    app.require_subcommand(1);

    InfoCommand::Options info;
    CLI::App* infoApp = app.add_subcommand("info", "Show the header facts of SWF files");
    infoApp->footer(
        "For each file: name, size, SWF version, frame size, frame rate and frame count, as the\n"
        "captured-SWF window shows them. Plain (FWS) and compressed (CWS) movies are read.\n"
        "Exit status: 0 when every file parsed, 1 when any did not, 2 on a usage error.");
    infoApp->add_flag("--json", info.json,
                      "Print one JSON array with an object per file, in argument order");
    infoApp->add_flag("--tags", info.tags,
                      "Also walk the tags: background colour, protection, tag 41 and the lowest "
                      "SWF version the tags need");
    infoApp->add_option("FILE", info.files, "SWF files to inspect")->required();

    // CLI11 wants argv order reversed when given a vector.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::ParseError& error) {
        err << "swfharvex: " << error.what() << "\n"
            << "Run 'swfharvex --help' for usage.\n";
        return kUsageError;
    }

    if (infoApp->parsed()) {
        return InfoCommand(std::move(info)).Run(out, err);
    }
    return kUsageError;
}
