#include "DissectaCommand.h"

#include <filesystem>

#include <CLI/CLI.hpp>

#include "Dissector.h"
#include "ReportFile.h"
#include "Reports.h"
#include "appkit/NSWorkspace.h"
#include "foundation/FileManager.h"

std::string DissectaCommand::ReportPathFor(const std::string& moviePath) {
    return NSHomeDirectory() + "/Documents/Dissecta/" +
           std::filesystem::path(moviePath).filename().string() + ".html";
}

int DissectaCommand::Run(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    CLI::App app{"dissecta: what is inside a SWF movie, and what it needs from outside"};
    app.name("dissecta");
    std::string movie;
    bool json = false;
    std::string htmlPath;
    bool asApplication = false;
    app.add_option("MOVIE", movie, "The SWF movie (FWS or CWS)")->required();
    auto* jsonFlag = app.add_flag("--json", json, "Write the report as JSON instead of text");
    auto* htmlOption =
        app.add_option("--html", htmlPath,
                       "Write the report as a self-contained HTML page to this file instead")
            ->excludes(jsonFlag);
    app.add_flag("--app", asApplication,
                 "As the application: write the HTML report to "
                 "~/Documents/Dissecta/MOVIE.html and open it with the desktop's opener")
        ->excludes(jsonFlag)
        ->excludes(htmlOption);
    app.footer("Exit status: 0 for a whole report, 3 when reading stopped part-way (the report "
               "says where), 1 when the file is no movie or the report cannot be written, 2 on "
               "a usage error.");
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kWhole;
    } catch (const CLI::ParseError& error) {
        err << "dissecta: " << error.what() << "\nRun 'dissecta --help' for usage.\n";
        return kUsageError;
    }

    const Dissection dissection = Dissector::Dissect(movie);
    if (!dissection.Readable()) {
        err << "dissecta: " << movie << ": " << dissection.facts.error << '\n';
        if (!asApplication) {
            return kFailed;
        }
    }
    if (asApplication || !htmlPath.empty()) {
        const std::string path = asApplication ? ReportPathFor(movie) : htmlPath;
        if (Outcome<> written = WriteReportFile(
                path, [&](std::ostream& page) { WriteHtmlReport(dissection, page); });
            !written) {
            err << "dissecta: " << written.failure().message() << '\n';
            return kFailed;
        }
        out << path << '\n';
        if (asApplication) {
            // The report is there either way; a desktop without an opener only means the person
            // opens it themselves.
            if (Outcome<> opened = NSWorkspace::sharedWorkspace().openFile(path, "", true);
                !opened) {
                err << "dissecta: the report is at " << path
                    << ", but it could not be opened: " << opened.failure().message() << '\n';
            }
            if (!dissection.Readable()) {
                return kFailed;
            }
        }
    } else if (json) {
        WriteJsonReport(dissection, out);
    } else {
        WriteTextReport(dissection, out);
    }
    if (dissection.stoppedAt) {
        err << "dissecta: " << movie << ": reading stopped at offset "
            << dissection.stoppedAt->offset << ": " << dissection.stoppedAt->reason << '\n';
        return kPartial;
    }
    return kWhole;
}
