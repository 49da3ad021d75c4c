#include "swfharvex/CommandLine.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "swfharvex/CaptureCommand.h"
#include "swfharvex/CrawlCommand.h"
#include "swfharvex/CrawlMerge.h"
#include "swfharvex/DesktopCommand.h"
#include "swfharvex/InfoCommand.h"
#include "swfharvex/TransferLimitChoice.h"

namespace {

// With no command, the desktop: its options are the application's own.
void AddDesktopOptions(CLI::App& app, DesktopCommand::Options& desktop) {
    // No command at all is the desktop: the application in the user's own browser.
    app.require_subcommand(0, 1);
    app.footer(
        "With no command, starts the host browser with the SWFHarvex plug-in and serves its\n"
        "windows to your own browser on 127.0.0.1. It prints one line,\n"
        "'SWFHarvex desktop: http://127.0.0.1:PORT/?token=TOKEN', opens it with xdg-open when\n"
        "DISPLAY or WAYLAND_DISPLAY is set, and runs until interrupted (Ctrl-C) or terminated;\n"
        "then it stops serving, cancels running transfers and writes the preferences.\n"
        "The token is the key to this run: anyone who has the address can drive the plug-in.\n"
        "Pages load in the engine the options below choose, as with 'capture'; a page stays\n"
        "open, and the Browser window lists what its scripts insert as it comes.\n"
        "Exit status: 0 when stopped by a signal, 1 when the plug-in could not be loaded, the\n"
        "port could not be had or --engine chromium cannot run, 2 on a usage error, 4 when\n"
        "another swfharvex run holds the capture folder.");
    app.add_option("--port", desktop.port,
                   "Port on 127.0.0.1 (default 8765; when it is taken, the next free one up to "
                   "8785). A port given here is used or the command fails")
        ->check(CLI::Range(1, 65535));
    app.add_flag("--no-open", desktop.noOpen, "Do not open the address in a browser");
    app.add_option("--bundle", desktop.bundlePath,
                   "The plug-in bundle to load (default: SWFHarvex.bundle installed beside the "
                   "command)");
    app.add_option("--web-root", desktop.webRoot,
                   "The folder of the desktop's page and scripts (default: frontend/web "
                   "installed beside the command)");
    app.add_option("--player", desktop.playerRoot,
                   "The movie player's folder, holding Ruffle's ruffle.js (default: "
                   "player/node_modules/@ruffle-rs/ruffle installed beside the command; "
                   "scripts/run installs it there)");
    desktop.engine.AddOptions(app);
    // A word without a scheme is a mistyped command, not a page: it must not start the desktop.
    app.add_option("URL", desktop.urls, "Pages to load at once (http, https or file)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return text.find("://") != std::string::npos || text.starts_with("file:")
                           ? std::string()
                           : "'" + text + "' is neither a command nor an address";
            },
            "URL"));
}

CLI::App* AddInfoCommand(CLI::App& app, InfoCommand::Options& info) {
    CLI::App* infoApp = app.add_subcommand("info", "Show the header facts of SWF files");
    infoApp->footer(
        "For each file: name, size, SWF version, frame size, frame rate and frame count, as the\n"
        "captured-SWF window shows them. Plain (FWS) and compressed (CWS) movies are read;\n"
        "anything that is not a regular file (a folder, a FIFO, a device) is refused.\n"
        "In JSON, a path or name that is not valid UTF-8 shows U+FFFD for each byte that does\n"
        "not fit, and its exact bytes in hex under the same key with \"Hex\" appended\n"
        "(\"pathHex\", \"nameHex\").\n"
        "Exit status: 0 when every file parsed, 1 when any did not, 2 on a usage error.");
    infoApp->add_flag("--json", info.json,
                      "Print one JSON array with an object per file, in argument order");
    infoApp->add_flag("--tags", info.tags,
                      "Also walk the tags: background colour, protection, tag 41 and the lowest "
                      "SWF version the tags need");
    infoApp->add_option("FILE", info.files, "SWF files to inspect")->required();

    return infoApp;
}

// How far what each caught movie loads is caught: capture's and crawl's options.
void AddDependencyOptions(CLI::App& command, DependencyBounds& bounds) {
    command
        .add_option("--read-depth", bounds.depth,
                    "How many loads deep a movie's dependencies are followed; 0 catches none")
        ->default_val(bounds.depth)
        ->check(CLI::Range(0, 16));
    command
        .add_option("--most-dependencies", bounds.mostFiles,
                    "Files caught for one movie at most; further references are counted")
        ->default_val(bounds.mostFiles)
        ->check(CLI::PositiveNumber);
    command
        .add_option("--most-dependency-bytes", bounds.mostBytes,
                    "Bytes caught for one movie's dependencies at most")
        ->default_val(bounds.mostBytes)
        ->check(CLI::PositiveNumber);
    command
        .add_option("--play", bounds.playSeconds,
                    "Chromium engine: also play each caught movie for this many seconds (with "
                    "its page's flashvars and base) and catch every file it asks for; 0 only "
                    "reads it")
        ->default_val(bounds.playSeconds)
        ->check(CLI::Range(0.0, 600.0));
}

CLI::App* AddCaptureCommand(CLI::App& app, CaptureCommand::Options& capture) {
    CLI::App* captureApp =
        app.add_subcommand("capture", "Load web pages and catch the SWF movies they embed");
    captureApp->footer(
        "Starts the host browser with the SWFHarvex plug-in, loads each page, waits until every\n"
        "caught movie has downloaded, then prints the captured list (file name and address).\n"
        "Caught movies go to ~/Documents/SWFHarvexData. Every start empties that folder first:\n"
        "the plug-in clears what the previous run caught, so copy out what you want to keep.\n"
        "Only http and https movies are fetched. On a terminal, progress is shown on standard\n"
        "error. Pages run their scripts in Chromium (Debian package \"chromium\") when it is\n"
        "installed, so movies that scripts insert are caught; the first line on standard error\n"
        "names the engine. A page is done once it has loaded and nothing is left in flight:\n"
        "no request and no timer due within --settle seconds; a page that never rests, once\n"
        "it has had no new request or movie for --settle seconds; at the latest after\n"
        "--page-timeout seconds (what it held by then is kept). Its images, fonts, media and\n"
        "beacons are not fetched.\n"
        "Then what each caught movie loads (the addresses its code and imports name, and what\n"
        "the files it loads name in turn, --read-depth deep; with Chromium, also what it asks\n"
        "for while it plays for --play seconds) is fetched into a mirror laid out\n"
        "by address, ~/Documents/SWFHarvexData/.mirror/HOST/PATH, with manifest.json there\n"
        "saying which file each movie needs and how each fetch ended. A dependency that cannot\n"
        "be caught is named on standard error and does not change the exit status.\n"
        "Every movie found but not caught is named on standard error with the reason, as are\n"
        "the plug-in's alerts. One run at a time holds the capture folder (the lock file\n"
        "~/Documents/.SWFHarvexData.lock). Ctrl-C, SIGTERM or SIGHUP cancels the transfers\n"
        "(no partial file stays) and prints what was caught so far.\n"
        "Exit status: 0 when every page loaded and every movie found was caught, 1 when a page\n"
        "did not load (or the plug-in could not be loaded), 2 on a usage error, 3 when\n"
        "--engine chromium was asked for and cannot run, 4 when another swfharvex run holds the\n"
        "capture folder, 5 when a movie was not caught, 6 when the mirror could not be written\n"
        "or copied, 128 + the signal when interrupted.");
    captureApp->add_flag(
        "--json", capture.json,
        R"(Print {"captured": [{"SWFName", "SWFAddress"}...], "notCaught": [{"url", "reason"}...], )"
        R"("dependencies": [{"SWFAddress", "mirrorPath", "dependencies": [...]}...]}; )"
        R"(a text that is not valid UTF-8 shows U+FFFD per stray byte, its bytes in hex beside it )"
        R"(("urlHex", "reasonHex"))");
    captureApp->add_option("--bundle", capture.bundlePath,
                           "The plug-in bundle to load (default: SWFHarvex.bundle installed "
                           "beside the command)");
    capture.engine.AddOptions(*captureApp);
    AddDependencyOptions(*captureApp, capture.dependencies);
    captureApp->add_option("--mirror", capture.mirrorCopy,
                           "Also copy the mirror (every caught movie and dependency by address, "
                           "with manifest.json) into this folder, to keep or hand over");
    captureApp->add_option("URL", capture.urls, "Pages to load (http, https or file)")->required();

    return captureApp;
}

// A crawl shared by workers over Redis.
void AddSharedCrawlOptions(CLI::App& crawlApp, CrawlCommand::Options& crawl) {
    CLI::Option* frontier =
        crawlApp
            .add_option("--frontier", crawl.frontier,
                        "Share the crawl with other workers through this Redis server "
                        "(redis://HOST:PORT/DB) instead of the state folder's own frontier")
            ->type_name("URL");
    CLI::Option* crawlId =
        crawlApp.add_option("--crawl-id", crawl.crawlId, "The shared crawl's name")
            ->needs(frontier);
    crawlApp
        .add_flag("--worker", crawl.worker,
                  "Join the shared crawl: its seeds and options come from the frontier")
        ->needs(crawlId);
    crawlApp
        .add_option("--worker-id", crawl.workerId,
                    "This worker's name, in its WARC files' names (default: the host's name and "
                    "the process id)")
        ->needs(crawlId);
    crawlApp
        .add_flag("--stay", crawl.stay,
                  "Wait for more pages when the shared crawl has none, until it is stopped")
        ->needs(crawlId);
    crawlApp
        .add_option("--lease", crawl.leaseSeconds,
                    "Seconds a worker holds a page without renewing it; a page whose worker died "
                    "goes back to the queue after this")
        ->default_val(crawl.leaseSeconds)
        ->check(CLI::Range(1, 86'400))
        ->needs(crawlId);
    crawlApp
        .add_flag("--status", crawl.status, "Print the shared crawl's counts (as JSON) and leave")
        ->needs(crawlId);
    crawlApp.add_flag("--stop", crawl.stopCrawl, "Stop every worker of the shared crawl")
        ->needs(crawlId);
    crawlApp
        .add_option("--merge", crawl.merge,
                    "Make one of a shared crawl's results: DIR holds every worker's WARC files, "
                    "the arguments are the workers' state folders; writes DIR/index.cdxj and "
                    "DIR/mirror/ with its manifest.json")
        ->type_name("DIR")
        ->excludes(frontier);
}

CLI::App* AddCrawlCommand(CLI::App& app, CrawlCommand::Options& crawl) {
    CLI::App* crawlApp =
        app.add_subcommand("crawl", "Walk a site from its seeds and catch every movie it embeds");
    crawlApp->footer(
        "Loads each seed as 'capture' does, then the pages they link to (<a>, <area>, frames;\n"
        "with Chromium, as the pages' scripts left them) that are in scope, --depth links deep,\n"
        "at most --max-pages pages in all. robots.txt is obeyed for the product token\n"
        "'SWFHarvex' unless --ignore-robots; a host gets a new page only --delay milliseconds\n"
        "after the last. The crawl's state (its pages and its options) is kept in the --state\n"
        "folder (default ~/Documents/SWFHarvexCrawl): after any stop, a kill included,\n"
        "'swfharvex crawl --resume DIR' goes on without fetching a finished page again.\n"
        "Each caught movie and what it loads is kept there under mirror/, laid out by address,\n"
        "with mirror/manifest.json (the capture folder is emptied by every run).\n"
        "With --warc, what was fetched is archived as received (WARC/1.1, each record its own\n"
        "gzip member) and indexed in a .cdxj file beside it; a resumed crawl goes on writing\n"
        "there.\n"
        "Exit status: 0 when every page in scope was crawled and its movies caught, 1 when a\n"
        "page could not be, 2 on a usage error, 3 when --engine chromium cannot run, 4 when\n"
        "another swfharvex run holds the capture folder, 5 when a movie was not caught, 7 when\n"
        "the state folder cannot be used, 8 when what the crawl keeps (the WARC file, the\n"
        "movies) cannot be written (a full disk: --resume goes on once there is room), 128 +\n"
        "the signal when interrupted.");
    crawlApp->add_option("--state", crawl.stateFolder,
                         "The crawl's folder: its state and what it keeps (default "
                         "~/Documents/SWFHarvexCrawl)");
    crawlApp
        ->add_option_function<std::string>(
            "--resume",
            [&crawl](const std::string& folder) {
                crawl.resume = true;
                crawl.stateFolder = folder;
            },
            "Go on with the crawl whose state is in this folder (its seeds and options are "
            "read from there)")
        ->type_name("DIR")
        ->excludes("--state");
    crawlApp
        ->add_option("--scope", crawl.scope,
                     "Which pages are followed: host (a seed's host), domain (and its "
                     "subdomains) or prefix (under a seed's folder)")
        ->default_val(crawl.scope)
        ->check(CLI::IsMember({"host", "domain", "prefix"}));
    crawlApp->add_option("--depth", crawl.depth, "Links followed from a seed at most")
        ->default_val(crawl.depth)
        ->check(CLI::Range(0, 1000));
    crawlApp->add_option("--max-pages", crawl.maxPages, "Pages crawled at most")
        ->default_val(crawl.maxPages)
        ->check(CLI::PositiveNumber);
    crawlApp->add_option("--include", crawl.include,
                         "Only follow addresses this regular expression finds (repeatable)");
    crawlApp->add_option("--exclude", crawl.exclude,
                         "Never follow addresses this regular expression finds (repeatable)");
    crawlApp->add_flag("--ignore-robots", crawl.ignoreRobots, "Do not read robots.txt");
    crawlApp->add_option("--delay", crawl.delayMs, "Milliseconds between two pages of a host")
        ->default_val(crawl.delayMs)
        ->check(CLI::Range(0, 3'600'000));
    crawlApp->add_option("--warc", crawl.warc,
                         "Also write every page, movie and file fetched, as received, into this "
                         "WARC file (FILE.warc.gz; more files follow at --warc-size), with a "
                         "CDXJ index beside it");
    crawlApp
        ->add_option("--warc-size", crawl.warcSize,
                     "Size at which the next WARC file is started: bytes, or with K, M or G")
        ->default_val(crawl.warcSize)
        ->check(TransferLimitChoice::SizeValidator());
    crawlApp->add_flag("--json", crawl.json,
                       R"(Print {"state", "pagesDone", "pagesQueued", "pagesForbidden", )"
                       R"("movies", "warc": [FILE...], "lost": [{"url", "reason"}...], )"
                       R"("lostMovies": [{"url", "reason"}...]} at the end)");
    crawlApp->add_option("--bundle", crawl.bundlePath,
                         "The plug-in bundle to load (default: SWFHarvex.bundle installed "
                         "beside the command)");
    AddSharedCrawlOptions(*crawlApp, crawl);
    crawl.engine.AddOptions(*crawlApp);
    AddDependencyOptions(*crawlApp, crawl.dependencies);
    crawlApp->add_option("SEED", crawl.seeds,
                         "Where the crawl starts (http or https); with --merge, the workers' "
                         "state folders");
    return crawlApp;
}

} // namespace

int CommandLine::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{"SWFHarvex: catch, keep and inspect the SWF (Flash) movies that web pages embed.",
                 "swfharvex"};
    DesktopCommand::Options desktop;
    AddDesktopOptions(app, desktop);
    // One value for both commands that fetch movies.
    TransferLimitChoice limits;
    limits.AddOptions(app);
    InfoCommand::Options info;
    CLI::App* infoApp = AddInfoCommand(app, info);
    CaptureCommand::Options capture;
    CLI::App* captureApp = AddCaptureCommand(app, capture);
    limits.AddOptions(*captureApp);
    CrawlCommand::Options crawl;
    CLI::App* crawlApp = AddCrawlCommand(app, crawl);
    limits.AddOptions(*crawlApp);

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
    limits.Apply();
    if (captureApp->parsed()) {
        return CaptureCommand(std::move(capture)).Run(out, err, isatty(STDERR_FILENO) == 1);
    }
    if (crawlApp->parsed()) {
        if (!crawl.merge.empty()) {
            std::vector<std::filesystem::path> states(crawl.seeds.begin(), crawl.seeds.end());
            return MergeCrawls(crawl.merge, states, crawl.json, out, err);
        }
        const bool joins = crawl.resume || crawl.worker || crawl.status || crawl.stopCrawl;
        if (crawl.seeds.empty() != joins) {
            err << "swfharvex: crawl needs seeds, or --resume, --worker, --status or --stop "
                   "without them\n";
            return kUsageError;
        }
        return CrawlCommand(std::move(crawl)).Run(out, err, isatty(STDERR_FILENO) == 1);
    }
    desktop.portGiven = app.count("--port") > 0;
    return DesktopCommand(std::move(desktop)).Run(out, err);
}
