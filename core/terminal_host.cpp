// The command line of plumbrae-convert and its host on a terminal.
#include "core/terminal_host.h"

#include "core/path_logger.h"
#include "core/path_text.h"
#include "plumbrae/version.h"
#include "support/console.h"
#include "support/file_path.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <unordered_map>

namespace plumbrae::core {
namespace {

constexpr const char* Usage =
    "Usage: plumbrae-convert (--vcards | --excel | --pst) --out FOLDER PATH...\n"
    "\n"
    "Converts Zimbra desktop contact files (*.meta) into one vCard file per contact\n"
    "and ZimbraContacts.vcf holding them all (--vcards), one worksheet\n"
    "ZimbraContacts.xls with its copy ZimbraContacts.csv (--excel), or one Outlook\n"
    "personal folders file (--pst), written into FOLDER (created when missing).\n"
    "\n"
    "Which vCards to import: Outlook takes the single cards, one file per contact;\n"
    "Google Contacts, Apple Contacts and iCloud, Thunderbird, Nextcloud and other\n"
    "CardDAV address books take ZimbraContacts.vcf (vCard 3.0), every contact in one\n"
    "step. Importing it again updates the contacts instead of adding them twice.\n"
    "\n"
    "Contact groups go where each option keeps them: a contact list card among the\n"
    "vCards, ZimbraGroups.csv beside the worksheet (a row per member), or a\n"
    "distribution list beside the contacts in the .pst file.\n"
    "\n"
    "Each PATH is a contact file, queued as given, or a folder, whose whole tree is\n"
    "searched breadth-first for files ending in .meta (in any case).\n"
    "\n"
    "  --vcards       one .vcf file per contact, and ZimbraContacts.vcf with them all\n"
    "  --excel        one BIFF2 worksheet and its CSV copy, a row per contact\n"
    "  --pst          one .pst file with a contact item per contact, a list per group\n"
    "  --out FOLDER   where the output goes\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 every file converted; 1 some files could not be read or lost data\n"
    "(each is listed); 2 usage error, or the output could not be written.\n";

/// Text to a standard stream, in any script (see support::writeText).
#ifndef _WIN32
/// True when `path` is already in the form `lexically_normal` gives it: no empty, "." or ".."
/// part and no separator at its end (the one that starts an absolute path aside). Most paths of a
/// walked folder are, and so skip the normalising.
bool isNormalPath(std::string_view path) {
    if (path.empty() || path.back() == '/') {
        return false;
    }
    std::size_t start = path.front() == '/' ? 1 : 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find('/', start), path.size());
        const auto part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}
#endif

void print(std::FILE* stream, const std::string& text) {
    support::writeText(stream, text);
}

} // namespace

int usageError(const std::string& message) {
    print(stderr, "plumbrae-convert: " + message + "\nTry 'plumbrae-convert --help'.\n");
    return 2;
}

std::optional<int> parseCommandLine(const std::vector<std::string>& args, CommandLine& options) {
    bool onlyPaths = false;
    const auto argc = args.size();
    for (std::size_t i = 1; i < argc; ++i) {
        const std::string_view arg = args[i];
        if (onlyPaths || arg.empty() || arg[0] != '-') {
            options.paths.emplace_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "--help" || arg == "-h") {
            print(stdout, Usage);
            return 0;
        } else if (arg == "--version") {
            print(stdout, std::string("plumbrae-convert ") + plumbrae::Version + "\n");
            return 0;
        } else if (arg == "--vcards" || arg == "--excel" || arg == "--pst") {
            const OutputKind kind = arg == "--vcards"  ? OutputKind::VCards
                                    : arg == "--excel" ? OutputKind::Excel
                                                       : OutputKind::Pst;
            if (options.kind != OutputKind::None && options.kind != kind) {
                return usageError("choose one of --vcards, --excel and --pst");
            }
            options.kind = kind;
        } else if (arg == "--out") {
            if (i + 1 >= argc) {
                return usageError("--out needs a folder");
            }
            options.outputFolder = args[++i];
        } else {
            return usageError("unknown option " + std::string(arg));
        }
    }
    if (options.kind == OutputKind::None) {
        return usageError("choose one of --vcards, --excel and --pst");
    }
    if (options.outputFolder.empty()) {
        return usageError("--out FOLDER is missing");
    }
    if (options.paths.empty()) {
        return usageError("no contact files or folders given");
    }
    return std::nullopt;
}

std::optional<int> buildQueue(const CommandLine& options, std::vector<std::string>& queue,
                              int& unreadableFolders) {
    // A file named twice (or inside two folders given) is queued once, as the window queues it:
    // its contact would otherwise be written twice. The same file is recognised also when
    // named by another path to it ("in/a.meta", "./in/a.meta"). Only a hash of each queued
    // file's normal path is kept, with its place in the queue (a tree of 300,000 files would
    // otherwise hold every path twice); paths whose hashes agree are compared whole.
    std::unordered_multimap<std::size_t, std::size_t> queued;
    int alreadyQueued = 0;
    std::error_code ignored;
    const auto base = std::filesystem::current_path(ignored);
#ifndef _WIN32
    const std::string baseText = support::pathToUtf8(base);
    const bool normalBase =
        baseText == "/" || (baseText.starts_with('/') && isNormalPath(baseText));
#endif
    const auto normalPath = [&](const std::string& path) -> std::string {
#ifndef _WIN32
        // The same path without the path objects where the parts are normal already.
        if (isNormalPath(path) && (path.front() == '/' || normalBase)) {
            return path.front() == '/' ? path : baseText + (baseText == "/" ? "" : "/") + path;
        }
#endif
        const auto named = support::pathFromUtf8(path);
        return support::pathToUtf8((named.is_absolute() ? named : base / named).lexically_normal());
    };
    const auto enqueue = [&](const std::string& path) {
        const auto normal = normalPath(path);
        const auto hash = std::hash<std::string>{}(normal);
        const auto [first, last] = queued.equal_range(hash);
        for (auto same = first; same != last; ++same) {
            if (normalPath(queue[same->second]) == normal) {
                ++alreadyQueued;
                return;
            }
        }
        queued.emplace(hash, queue.size());
        queue.push_back(path);
    };
    for (const auto& given : options.paths) {
        const std::string path = queuedFilePath(given);
        std::error_code error;
        const auto filePath = support::pathFromUtf8(path);
        const auto type = std::filesystem::status(filePath, error).type();
        if (type != std::filesystem::file_type::directory) {
            // Anything else that is there is queued as given, also a pipe, a device or a link
            // loop: the run lists it with its reason, without reading from it.
            if (type == std::filesystem::file_type::not_found &&
                error != std::errc::too_many_symbolic_link_levels) {
                return usageError(path + ": no such file or folder");
            }
            enqueue(path);
            continue;
        }
        pathLogger walker;
        walker.PathLogInit();
        walker.setFullFileNamesOnly(true);
        walker.LogPath(path);
        const auto names = walker.fullFileNames();
        for (const auto& name : names->values()) {
            if (isContactFileName(name)) {
                enqueue(name);
            }
        }
        for (const auto& folder : walker.unreadableFolders()) {
            print(stderr, "plumbrae-convert: " + folder.path +
                              ": cannot list this folder: " + folder.reason + "\n");
            ++unreadableFolders;
        }
        walker.Terminate();
    }
    if (alreadyQueued > 0) {
        print(stderr,
              "plumbrae-convert: " +
                  (alreadyQueued == 1 ? std::string("1 contact file was")
                                      : std::to_string(alreadyQueued) + " contact files were") +
                  " given more than once and " + (alreadyQueued == 1 ? "is" : "are") +
                  " converted once\n");
    }
    return std::nullopt;
}

TerminalHost::TerminalHost(OutputKind kind, std::string folder, std::vector<std::string> queue)
    : m_kind(kind), m_folder(std::move(folder)), m_queue(std::move(queue)),
      m_showBar(support::isTerminal(stderr)) {
    if (m_queue.empty()) {
        m_queue.emplace_back();
    }
}

void TerminalHost::showMessage(const Message& message) {
    endBar();
    // A terminal scrolls: it gets every line, not the box's shortened text.
    std::string text = message.details.empty() ? message.text : message.details;
    for (auto pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n")) {
        text.replace(pos, 2, "\n");
    }
    print(message.icon == MessageIcon::Exclamation ? stderr : stdout, text + "\n");
}

void TerminalHost::showProgress(const Progress& progress) {
    if (!m_showBar) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (progress.value < 100.0F && now - m_lastBar < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastBar = now;
    constexpr int Width = 30;
    const int filled = static_cast<int>(progress.value / 100.0F * Width);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%5.1f%%", static_cast<double>(progress.value));
    print(stderr, "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(Width - filled), ' ') + "] " + percent +
                      "  " + progress.countCaption);
    std::fflush(stderr);
    m_barShown = true;
}

void TerminalHost::endBar() {
    if (m_barShown) {
        print(stderr, "\n");
        m_barShown = false;
    }
}

} // namespace plumbrae::core
