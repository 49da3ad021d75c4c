#include "swfharvex/CommandLine.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "swfharvex/CaptureCommand.h"
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

    CaptureCommand::Options capture;
    CLI::App* captureApp =
        app.add_subcommand("capture", "Load web pages and catch the SWF movies they embed");
    captureApp->footer(
        "Starts the host browser with the SWFHarvex plug-in, loads each page, waits until every\n"
        "caught movie has downloaded, then prints the captured list (file name and address).\n"
        "Caught movies go to ~/Documents/SWFHarvexData. Every start empties that folder first:\n"
        "the plug-in clears what the previous run caught, so copy out what you want to keep.\n"
        "Only http and https movies are fetched. On a terminal, progress is shown on standard\n"
        "error. Exit status: 0 when every page loaded, 1 when any did not (or the plug-in could\n"
        "not be loaded), 2 on a usage error.");
    captureApp->add_flag("--json", capture.json,
                         R"(Print the list as a JSON array of {"SWFName", "SWFAddress"})");
    captureApp->add_option("--bundle", capture.bundlePath,
                           "The plug-in bundle to load (default: SWFHarvex.bundle installed "
                           "beside the command)");
    captureApp->add_option("URL", capture.urls, "Pages to load (http, https or file)")->required();

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
    if (captureApp->parsed()) {
        return CaptureCommand(std::move(capture)).Run(out, err, isatty(STDERR_FILENO) == 1);
    }
    return kUsageError;
}
