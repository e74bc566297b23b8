// PST run benchmark: generated contact files converted by the conversion run through the whole
// late-bound path (export -> session objects -> PST writer) against the same files converted
// into one worksheet, measured in the same process.
//
//   bench_pst_export [COUNT [WORK_FOLDER]]     (COUNT defaults to 30000)
//
// The two runs alternate, five of each over the same generated tree (every key the generator
// knows, groups among the contacts). Prints the median wall and user processor time of both and
// their ratios (target: at most 1.3), the cost of the late-bound calls alone (a session whose
// objects do nothing), the PST file's size and this process's peak memory.

#include "automation/registry.h"
#include "automation/session_contract.h"
#include "bench/meta_tree_generator.h"
#include "core/conversion_host.h"
#include "core/conversion_run.h"
#include "pst/rdo/rdo_session.h"
#include "writers/excel_contact_sheet.h"
#include "writers/pst_export.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using plumbrae::automation::InvokeKind;
using plumbrae::automation::ObjectPtr;
using plumbrae::automation::Variant;
using plumbrae::core::OutputKind;

/// A host without a window: the option and folder answered, the queue from a list.
class BenchHost : public plumbrae::core::ConversionHost {
public:
    BenchHost(OutputKind option, const std::vector<fs::path>& files, std::string folder)
        : m_option(option), m_files(files), m_folder(std::move(folder)) {}

    OutputKind savingOption() override { return m_option; }
    std::string chooseOutputFolder(const std::string& /*title*/) override { return m_folder; }
    void showMessage(const plumbrae::core::Message& message) override { m_last = message.text; }
    std::int32_t queueRowCount() override { return static_cast<std::int32_t>(m_files.size()); }
    std::string queueRowText(std::int32_t row) override {
        return m_files[static_cast<std::size_t>(row)].string();
    }
    void setCurrentRow(std::int32_t /*row*/) override {}
    void prepareProgress() override {}
    void showProgress(const plumbrae::core::Progress& /*progress*/) override {}
    void disableConvert() override {}
    void yield() override {}
    [[nodiscard]] const std::string& lastMessage() const { return m_last; }

private:
    OutputKind m_option;
    const std::vector<fs::path>& m_files;
    std::string m_folder;
    std::string m_last;
};

/// Answers every member with the next object of the chain and does nothing else: what the
/// late-bound calls cost without a file behind them.
class IdleObject : public plumbrae::automation::Object {
public:
    [[nodiscard]] std::string_view className() const override { return "Idle"; }

protected:
    Variant invoke(InvokeKind kind, std::string_view member,
                   std::span<const Variant> /*arguments*/) override {
        if (kind == InvokeKind::Put || member == "Logon" || member == "Logoff" ||
            member == "ValidateIPMTree" || member == "Save") {
            return {};
        }
        if (member == "EntryID") {
            return "00";
        }
        return ObjectPtr(std::make_shared<IdleObject>());
    }
};

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double userSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 0.0;
    double user = 0.0;
};

Timing timedRun(OutputKind option, plumbrae::core::ContactOutput& output,
                const std::vector<fs::path>& files, const fs::path& out) {
    BenchHost host(option, files, out.string() + "/");
    plumbrae::core::ConversionRun run(
        host, [&](OutputKind kind) { return kind == option ? &output : nullptr; });
    const auto start = std::chrono::steady_clock::now();
    const double startUser = userSeconds();
    const auto report = run.run();
    const Timing elapsed{seconds(start), userSeconds() - startUser};
    if (report.outcome != plumbrae::core::RunReport::Outcome::Completed ||
        report.converted + report.notContacts + report.groupsConverted +
                static_cast<std::int32_t>(report.contactGroups.size()) !=
            static_cast<std::int32_t>(files.size())) {
        throw std::runtime_error("the run did not convert every file: " + host.lastMessage());
    }
    return elapsed;
}

constexpr int Rounds = 5;

double median(const std::vector<Timing>& timings, double Timing::*field) {
    std::vector<double> values;
    values.reserve(timings.size());
    for (const auto& timing : timings) {
        values.push_back(timing.*field);
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int run(std::size_t count, const fs::path& work) {
    const fs::path tree = work / "tree";
    const fs::path out = work / "out";
    fs::remove_all(tree);
    fs::remove_all(out);
    fs::create_directories(out);
    std::printf("generating %zu contact files below %s\n", count, tree.c_str());
    const auto files = plumbrae::bench::generateMetaTree(tree, static_cast<int>(count), 1);

    plumbrae::pst::rdo::registerRdoSession();
    std::vector<Timing> sheetTimes;
    std::vector<Timing> pstTimes;
    std::uintmax_t pstSize = 0;
    for (int round = 0; round < Rounds; ++round) {
        plumbrae::writers::ExcelContactSheet sheet;
        sheetTimes.push_back(timedRun(OutputKind::Excel, sheet, files, out));
        // Each PST run gets its own file name: the stamp comes from a clock that moves on.
        const fs::path pstOut = out / ("pst" + std::to_string(round));
        fs::create_directories(pstOut);
        plumbrae::writers::PstExport exporter;
        pstTimes.push_back(timedRun(OutputKind::Pst, exporter, files, pstOut));
        pstSize = fs::file_size(exporter.pstPath());
        fs::remove_all(pstOut);
    }
    const double sheetTime = median(sheetTimes, &Timing::wall);
    const double pstTime = median(pstTimes, &Timing::wall);
    const double sheetUser = median(sheetTimes, &Timing::user);
    const double pstUser = median(pstTimes, &Timing::user);
    std::printf("worksheet run of %zu files:  %8.3f s, user %.3f s (medians of %d)\n", count,
                sheetTime, sheetUser, Rounds);
    std::printf(
        "PST run of %zu files:        %8.3f s, user %.3f s (medians of %d), file %ju bytes\n",
        count, pstTime, pstUser, Rounds, pstSize);
    std::printf("ratio PST / worksheet:         %8.2f (target <= 1.3), user %.2f\n",
                pstTime / sheetTime, pstUser / sheetUser);

    double idleTime = 0.0;
    {
        const plumbrae::automation::ScopedRegistration idle(
            plumbrae::automation::contract::SessionProgId,
            [] { return std::make_shared<IdleObject>(); });
        plumbrae::writers::PstExport exporter;
        idleTime = timedRun(OutputKind::Pst, exporter, files, out).wall;
    }
    std::printf("same run, session doing nothing: %6.3f s (%.2f of the worksheet run)\n", idleTime,
                idleTime / sheetTime);
    std::printf("peak memory of this process:   %8ld KiB\n", plumbrae::bench::peakMemoryKiB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::size_t count =
            argc > 1 ? static_cast<std::size_t>(std::strtoul(argv[1], nullptr, 10)) : 30000;
        if (count < 1 || count > 32767) {
            std::fprintf(stderr, "bench_pst_export: COUNT must be between 1 and 32767\n");
            return 2;
        }
        const fs::path work =
            argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "plumbrae-bench-pst-export";
        const int status = run(count, work);
        if (argc <= 2) {
            fs::remove_all(work);
        }
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_pst_export: %s\n", error.what());
        return 1;
    }
}
