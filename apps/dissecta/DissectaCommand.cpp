#include "DissectaCommand.h"

#include <filesystem>

#include <CLI/CLI.hpp>

#include "Dissector.h"
#include "Reports.h"
#include "appkit/NSWorkspace.h"
#include "foundation/FileManager.h"
#include "foundation/StagedFile.h"

namespace {

Outcome<> WriteReport(const std::string& path, const std::string& page) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return Failure{folder.string(), error.message()};
        }
    }
    Outcome<StagedFile> staged = StagedFile::CreateBeside(path, 0644);
    if (!staged) {
        return staged.failure();
    }
    if (Outcome<> written = staged.value().Write(page); !written) {
        return written;
    }
    return staged.value().Commit(StagedFile::Existing::Replace);
}

} // namespace

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
        if (Outcome<> written = WriteReport(path, HtmlReport(dissection)); !written) {
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
        out << JsonReport(dissection).dump(2) << '\n';
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
