// plumbrae-convert: the conversion run on the terminal, with the same outputs as the window.
#include "core/conversion_run.h"
#include "core/terminal_host.h"
#include "pst/rdo/rdo_session.h"
#include "support/console.h"
#include "support/file_path.h"
#include "writers/output_set.h"

#include <filesystem>
#include <string>
#include <vector>

using plumbrae::core::OutputKind;

int main(int argc, char** argv) {
    plumbrae::core::CommandLine options;
    if (auto status = plumbrae::core::parseCommandLine(
            plumbrae::support::commandLineArguments(argc, argv), options)) {
        return *status;
    }
    std::vector<std::string> queue;
    int unreadableFolders = 0;
    if (auto status = plumbrae::core::buildQueue(options, queue, unreadableFolders)) {
        return *status;
    }
    std::error_code error;
    const auto outputFolder = plumbrae::support::pathFromUtf8(options.outputFolder);
    std::filesystem::create_directories(outputFolder, error);
    if (!std::filesystem::is_directory(outputFolder)) {
        plumbrae::support::writeText(
            stderr, "plumbrae-convert: cannot create the output folder " + options.outputFolder +
                        ": " + (error ? error.message() : "a file of that name is in the way") +
                        "\n");
        return 2;
    }
    // The PST output creates its session by ProgID; our own object model answers it.
    plumbrae::pst::rdo::registerRdoSession();
    plumbrae::writers::OutputSet outputs;
    if (outputs.outputFor(options.kind) == nullptr) {
        return plumbrae::core::usageError("this saving option is not available in this build");
    }
    plumbrae::core::TerminalHost host(
        options.kind, plumbrae::support::pathToUtf8(std::filesystem::absolute(outputFolder)),
        std::move(queue));
    plumbrae::core::ConversionRun run(host,
                                      [&](OutputKind kind) { return outputs.outputFor(kind); });
    const auto report = run.run();
    using Outcome = plumbrae::core::RunReport::Outcome;
    if (report.outcome != Outcome::Completed) {
        return 2;
    }
    plumbrae::support::writeText(stderr, std::to_string(report.converted) +
                                             " contact(s) converted into " + report.outputFolder +
                                             "\n");
    return report.isComplete() && unreadableFolders == 0 ? 0 : 1;
}
