// plumbrae-convert: the conversion run on the terminal, with the same outputs as the window.
#include "core/conversion_run.h"
#include "core/path_logger.h"
#include "core/path_text.h"
#include "plumbrae/version.h"
#include "pst/rdo/rdo_session.h"
#include "writers/output_set.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using plumbrae::core::OutputKind;

constexpr const char* Usage =
    "Usage: plumbrae-convert (--vcards | --excel | --pst) --out FOLDER PATH...\n"
    "\n"
    "Converts Zimbra desktop contact files (*.meta) into one vCard file per contact\n"
    "(--vcards), one worksheet ZimbraContacts.xls (--excel), or one Outlook personal\n"
    "folders file (--pst), written into FOLDER (created when missing).\n"
    "\n"
    "Each PATH is a contact file, queued as given, or a folder, whose whole tree is\n"
    "searched breadth-first for files ending in .meta (in any case).\n"
    "\n"
    "  --vcards       one .vcf file per contact\n"
    "  --excel        one BIFF2 worksheet with a row per contact\n"
    "  --pst          one .pst file with a contact item per contact\n"
    "  --out FOLDER   where the output goes\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 every file converted; 1 some files could not be read or lost data\n"
    "(each is listed); 2 usage error, or the output could not be written.\n";

struct Options {
    OutputKind kind = OutputKind::None;
    std::string outputFolder;
    std::vector<std::string> paths;
};

/// The run's host on a terminal: the queue comes from the command line, messages go to the
/// standard streams, progress is a one-line bar on standard error when that is a terminal.
class TerminalHost : public plumbrae::core::ConversionHost {
public:
    TerminalHost(OutputKind kind, std::string folder, std::vector<std::string> queue)
        : m_kind(kind), m_folder(std::move(folder)), m_queue(std::move(queue)),
          m_showBar(isatty(STDERR_FILENO) != 0) {
        if (m_queue.empty()) {
            m_queue.emplace_back();
        }
    }

    OutputKind savingOption() override { return m_kind; }
    std::string chooseOutputFolder(const std::string& /*title*/) override { return m_folder; }
    void showMessage(const plumbrae::core::Message& message) override {
        endBar();
        std::string text = message.text;
        for (auto pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n")) {
            text.replace(pos, 2, "\n");
        }
        std::fprintf(message.icon == plumbrae::core::MessageIcon::Exclamation ? stderr : stdout,
                     "%s\n", text.c_str());
    }
    std::int32_t queueRowCount() override { return static_cast<std::int32_t>(m_queue.size()); }
    std::string queueRowText(std::int32_t row) override {
        return m_queue[static_cast<std::size_t>(row)];
    }
    void setCurrentRow(std::int32_t /*row*/) override {}
    void prepareProgress() override {}
    void showProgress(const plumbrae::core::Progress& progress) override {
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
        std::fprintf(stderr, "\r[%s%s] %5.1f%%  %s",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(Width - filled), ' ').c_str(),
                     static_cast<double>(progress.value), progress.countCaption.c_str());
        std::fflush(stderr);
        m_barShown = true;
    }
    void disableConvert() override {}
    void yield() override {}

private:
    void endBar() {
        if (m_barShown) {
            std::fputc('\n', stderr);
            m_barShown = false;
        }
    }

    OutputKind m_kind;
    std::string m_folder;
    std::vector<std::string> m_queue;
    bool m_showBar;
    bool m_barShown = false;
    std::chrono::steady_clock::time_point m_lastBar{};
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "plumbrae-convert: %s\nTry 'plumbrae-convert --help'.\n", message.c_str());
    return 2;
}

/// Parses the arguments; returns an exit status when the program should end right away.
std::optional<int> parseArguments(int argc, char** argv, Options& options) {
    bool onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyPaths || arg.empty() || arg[0] != '-') {
            options.paths.emplace_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("plumbrae-convert %s\n", plumbrae::Version);
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
            options.outputFolder = argv[++i];
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

/// The queue: files as given, folders walked like the window's Add folder does. Folders that
/// could not be listed are reported and counted as failures.
std::optional<int> buildQueue(const Options& options, std::vector<std::string>& queue,
                              int& unreadableFolders) {
    for (const auto& path : options.paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            if (!std::filesystem::exists(path, error)) {
                return usageError(path + ": no such file or folder");
            }
            queue.push_back(path);
            continue;
        }
        plumbrae::core::pathLogger walker;
        walker.PathLogInit();
        walker.setFullFileNamesOnly(true);
        walker.LogPath(path);
        const auto names = walker.fullFileNames();
        for (const auto& name : names->values()) {
            if (plumbrae::core::isContactFileName(name)) {
                queue.push_back(name);
            }
        }
        for (const auto& folder : walker.unreadableFolders()) {
            std::fprintf(stderr, "plumbrae-convert: %s: cannot list this folder: %s\n",
                         folder.path.c_str(), folder.reason.c_str());
            ++unreadableFolders;
        }
        walker.Terminate();
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (auto status = parseArguments(argc, argv, options)) {
        return *status;
    }
    std::vector<std::string> queue;
    int unreadableFolders = 0;
    if (auto status = buildQueue(options, queue, unreadableFolders)) {
        return *status;
    }
    std::error_code error;
    std::filesystem::create_directories(options.outputFolder, error);
    if (!std::filesystem::is_directory(options.outputFolder)) {
        std::fprintf(stderr, "plumbrae-convert: cannot create the output folder %s: %s\n",
                     options.outputFolder.c_str(),
                     error ? error.message().c_str() : "a file of that name is in the way");
        return 2;
    }
    // The PST output creates its session by ProgID; our own object model answers it.
    plumbrae::pst::rdo::registerRdoSession();
    plumbrae::writers::OutputSet outputs;
    if (outputs.outputFor(options.kind) == nullptr) {
        return usageError("this saving option is not available in this build");
    }
    TerminalHost host(options.kind, std::filesystem::absolute(options.outputFolder).string(),
                      std::move(queue));
    plumbrae::core::ConversionRun run(host,
                                      [&](OutputKind kind) { return outputs.outputFor(kind); });
    const auto report = run.run();
    using Outcome = plumbrae::core::RunReport::Outcome;
    if (report.outcome != Outcome::Completed) {
        return 2;
    }
    std::fprintf(stderr, "%d contact(s) converted into %s\n", report.converted,
                 report.outputFolder.c_str());
    return report.isComplete() && unreadableFolders == 0 ? 0 : 1;
}
