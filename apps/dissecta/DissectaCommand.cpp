#include "DissectaCommand.h"

#include <filesystem>

#include "DissectaOptions.h"
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
    const Outcome<DissectaOptions> parsed = DissectaOptions::Parse(args);
    if (!parsed) {
        err << "dissecta: " << parsed.failure().message() << "\nRun 'dissecta --help' for usage.\n";
        return kUsageError;
    }
    const DissectaOptions& options = parsed.value();
    if (options.help) {
        out << DissectaOptions::HelpText();
        return kWhole;
    }
    const std::string& movie = options.movie;
    const bool asApplication = options.asApplication;
    const std::string& htmlPath = options.htmlPath;

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
    } else if (options.json) {
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
