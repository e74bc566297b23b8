// A vCard run of 60,000 generated contact files in the window against plumbrae-convert on the
// same tree, measured in the same run: the window's run may cost at most 10% more. Both walk the
// tree and convert it: the window through Add folder and Convert (offscreen, dialogs scripted), the
// converter given the folder. Each side runs four times, who goes first alternating, and the
// fastest time of each counts. usage: bench_window_run [COUNT]   (plumbrae-convert is looked for
// beside this program)
#include "bench/meta_tree_generator.h"
#include "pst/rdo/rdo_session.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/frm_step1.h"
#include "ui/services/registry.h"
#include "writers/output_set.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace plumbrae;

namespace {

bench::ChildCost windowRun(const fs::path& tree, const fs::path& out,
                           const fs::path& registryFile) {
    testing::FakeDialogs dialogs;
    ui::FileRegistry registry(registryFile);
    pst::rdo::registerRdoSession();
    writers::OutputSet outputs;
    ui::frmStep1 window(
        dialogs, registry, [&](core::OutputKind kind) { return outputs.outputFor(kind); }, "");
    window.show();
    QApplication::processEvents();
    fs::create_directories(out);
    dialogs.folders = {tree.string(), out.string()};

    const auto start = std::chrono::steady_clock::now();
    const double startCpu = bench::processCpuSeconds();
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("CmdAddFolder")),
                      Qt::LeftButton);
    QTest::mouseClick(window.findChild<QRadioButton*>(QStringLiteral("OptvCards")), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("CmdZimbraConvert")),
                      Qt::LeftButton);
    bench::ChildCost cost;
    cost.cpuSeconds = bench::processCpuSeconds() - startCpu;
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!dialogs.shown.empty()) {
        const auto& text = dialogs.shown.back().message.text;
        std::printf("  window's closing message: %.39s\n", text.c_str());
    }
    return cost;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 60000;
    const auto convert =
        (fs::path(QCoreApplication::applicationDirPath().toStdString()) / "plumbrae-convert")
            .string();
    const fs::path work = fs::temp_directory_path() / "plumbrae-bench-window-run";
    fs::remove_all(work);
    const fs::path tree = work / "tree";
    bench::generateMetaTree(tree, count, 13);
    bench::timeShellCommand("find '" + tree.string() + "' -type f -exec cat {} + >/dev/null");

    // Every run writes into a folder of its own: writing over files just deleted is slower on
    // some file systems, and would favour whoever goes first.
    bench::ChildCost bestConvert{1e9, 1e9};
    bench::ChildCost bestWindow{1e9, 1e9};
    for (int round = 0; round < 4; ++round) {
        const auto cliOut = work / ("cli-" + std::to_string(round));
        fs::create_directories(cliOut);
        const auto runConvert = [&] {
            // Nobody pays for the other's writes still on their way to the disk.
            std::system("sync");
            return bench::runProgram(
                {convert, "--vcards", "--out", cliOut.string(), tree.string()});
        };
        const auto runWindow = [&] {
            std::system("sync");
            return windowRun(tree, work / ("window-" + std::to_string(round)), work / "registry");
        };
        // Who goes first alternates: the file system's state favours neither.
        bench::ChildCost cli;
        bench::ChildCost inWindow;
        if (round % 2 == 0) {
            cli = runConvert();
            inWindow = runWindow();
        } else {
            inWindow = runWindow();
            cli = runConvert();
        }
        for (auto [best, cost] : {std::pair{&bestConvert, &cli}, {&bestWindow, &inWindow}}) {
            best->seconds = std::min(best->seconds, cost->seconds);
            best->cpuSeconds = std::min(best->cpuSeconds, cost->cpuSeconds);
        }
        std::printf("round %d: plumbrae-convert %.3f s (%.3f s processor, exit %d), window %.3f s "
                    "(%.3f s processor)\n",
                    round + 1, cli.seconds, cli.cpuSeconds, cli.exitStatus, inWindow.seconds,
                    inWindow.cpuSeconds);
        std::fflush(stdout);
    }
    // Processor time is the steadier figure on a shared machine; wall time is what a user waits.
    std::printf("%d files: plumbrae-convert %.3f s, window %.3f s, ratio %.2f (target <= 1.1); "
                "processor time %.3f s against %.3f s, ratio %.2f (target <= 1.1)\n",
                count, bestConvert.seconds, bestWindow.seconds,
                bestWindow.seconds / bestConvert.seconds, bestConvert.cpuSeconds,
                bestWindow.cpuSeconds, bestWindow.cpuSeconds / bestConvert.cpuSeconds);
    fs::remove_all(work);
    return 0;
}
