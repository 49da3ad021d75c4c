#include "DissectaCommand.h"

#include <filesystem>
#include <optional>

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

namespace {

// The HTML report: into the file asked for or, started as the application, among the user's
// documents, then opened. Answers the exit status where the report decides it.
std::optional<int> WriteHtml(const DissectaOptions& options, const Dissection& dissection,
                             std::ostream& out, std::ostream& err) {
    const std::string path =
        options.asApplication ? DissectaCommand::ReportPathFor(options.movie) : options.htmlPath;
    if (Outcome<> written =
            WriteReportFile(path, [&](std::ostream& page) { WriteHtmlReport(dissection, page); });
        !written) {
        err << "dissecta: " << written.failure().message() << '\n';
        return DissectaCommand::kFailed;
    }
    out << path << '\n';
    if (!options.asApplication) {
        return std::nullopt;
    }
    // The report is there either way; a desktop without an opener only means the person opens it
    // themselves.
    if (Outcome<> opened = NSWorkspace::sharedWorkspace().openFile(path, "", true); !opened) {
        err << "dissecta: the report is at " << path
            << ", but it could not be opened: " << opened.failure().message() << '\n';
    }
    if (!dissection.Readable()) {
        return DissectaCommand::kFailed;
    }
    return std::nullopt;
}

} // namespace

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
    const Dissection dissection = Dissector::Dissect(options.movie);
    if (!dissection.Readable()) {
        err << "dissecta: " << options.movie << ": " << dissection.facts.error << '\n';
        if (!options.asApplication) {
            return kFailed;
        }
    }
    if (options.asApplication || !options.htmlPath.empty()) {
        if (std::optional<int> status = WriteHtml(options, dissection, out, err)) {
            return *status;
        }
    } else if (options.json) {
        WriteJsonReport(dissection, out);
    } else {
        WriteTextReport(dissection, out);
    }
    if (dissection.stoppedAt) {
        err << "dissecta: " << options.movie << ": reading stopped at offset "
            << dissection.stoppedAt->offset << ": " << dissection.stoppedAt->reason << '\n';
        return kPartial;
    }
    return kWhole;
}
