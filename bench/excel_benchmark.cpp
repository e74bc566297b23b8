// Excel run benchmark: generated contact files converted into one worksheet by the conversion
// run, against `cat` of the same files into one file, measured in the same run.
//
//   bench_excel [COUNT [WORK_FOLDER]]     (COUNT defaults to 30000)
//
// The tree is the generator's (every key, mixed scripts, groups, folder and message files). The
// two are timed in alternating pairs, the first of each pair taking turns, seven pairs in all.
// Prints the median wall time of both and their ratio (target: at most 1.5), the same for the
// processor time (user and system) and the user time alone, the writer alone on records
// already in memory, and the peak memory of a run of COUNT / 3 files against one of COUNT
// files, each in a fresh process (target: flat, ratio near 1).
//
//   bench_excel --peak COUNT LIST OUT_FOLDER   (the measured process; prints its peak in KiB)

#include "bench/meta_tree_generator.h"
#include "core/conversion_host.h"
#include "core/conversion_run.h"
#include "support/byte_sink.h"
#include "writers/excel_contact_sheet.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using plumbrae::core::OutputKind;

/// A host without a window: Excel chosen, the folder answered, the queue read from a list.
class BenchHost : public plumbrae::core::ConversionHost {
public:
    BenchHost(const std::vector<fs::path>& files, std::size_t count, std::string folder)
        : m_files(files), m_count(count), m_folder(std::move(folder)) {}

    OutputKind savingOption() override { return OutputKind::Excel; }
    std::string chooseOutputFolder(const std::string&) override { return m_folder; }
    void showMessage(const plumbrae::core::Message& message) override { m_last = message.text; }
    std::int32_t queueRowCount() override { return static_cast<std::int32_t>(m_count); }
    std::string queueRowText(std::int32_t row) override {
        return m_files[static_cast<std::size_t>(row)].string();
    }
    void setCurrentRow(std::int32_t) override {}
    void prepareProgress() override {}
    void showProgress(const plumbrae::core::Progress&) override {}
    void disableConvert() override {}
    void yield() override {}
    [[nodiscard]] const std::string& lastMessage() const { return m_last; }

private:
    const std::vector<fs::path>& m_files;
    std::size_t m_count;
    std::string m_folder;
    std::string m_last;
};

/// The same host reading its queue from a NUL-separated list as the run asks for the rows (in
/// order), so that the memory measured is the run's own and not the queue's.
class StreamingHost : public BenchHost {
public:
    StreamingHost(const fs::path& list, std::size_t count, std::string folder)
        : BenchHost(noFiles(), count, std::move(folder)), m_list(list),
          m_in(list, std::ios::binary) {}

    std::string queueRowText(std::int32_t row) override {
        if (row < m_row) {
            m_in = std::ifstream(m_list, std::ios::binary);
            m_row = -1;
        }
        while (m_row < row && std::getline(m_in, m_text, '\0')) {
            ++m_row;
        }
        return m_text;
    }

private:
    static const std::vector<fs::path>& noFiles() {
        static const std::vector<fs::path> None;
        return None;
    }

    fs::path m_list;
    std::ifstream m_in;
    std::int32_t m_row = -1;
    std::string m_text;
};

/// What one timed piece of work cost.
struct Cost {
    double seconds = 0.0;
    double cpuSeconds = 0.0;  ///< user and system
    double userSeconds = 0.0; ///< user alone
};

/// User and system time of this process so far.
std::pair<double, double> ownTimes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Queued files the run handled: converted, or skipped because they hold no contact.
std::int32_t handled(const plumbrae::core::RunReport& report) {
    return report.converted + report.notContacts + report.groupsConverted +
           static_cast<std::int32_t>(report.contactGroups.size());
}

/// One Excel run over the first `count` files, in this process; returns what it cost.
Cost convert(const std::vector<fs::path>& files, std::size_t count, const fs::path& out) {
    plumbrae::writers::ExcelContactSheet sheet;
    BenchHost host(files, count, out.string() + "/");
    plumbrae::core::ConversionRun run(
        host, [&sheet](OutputKind kind) { return kind == OutputKind::Excel ? &sheet : nullptr; });
    const auto [userBefore, systemBefore] = ownTimes();
    const auto start = std::chrono::steady_clock::now();
    const auto report = run.run();
    Cost cost;
    cost.seconds = seconds(start);
    const auto [userAfter, systemAfter] = ownTimes();
    cost.userSeconds = userAfter - userBefore;
    cost.cpuSeconds = cost.userSeconds + systemAfter - systemBefore;
    if (report.outcome != plumbrae::core::RunReport::Outcome::Completed ||
        handled(report) != static_cast<std::int32_t>(count)) {
        throw std::runtime_error("the run did not convert every file: " + host.lastMessage());
    }
    return cost;
}

/// The floor: a shell running the command, its children's time included.
Cost floorCost(const std::string& command) {
    const auto child = plumbrae::bench::runProgram({"/bin/sh", "-c", command});
    if (child.exitStatus != 0) {
        throw std::runtime_error("command failed: " + command);
    }
    return {child.seconds, child.cpuSeconds, child.userSeconds};
}

/// Converts the first `count` files of the list in this process and prints its peak memory.
int measurePeak(std::size_t count, const fs::path& list, const fs::path& out) {
    plumbrae::writers::ExcelContactSheet sheet;
    StreamingHost host(list, count, out.string() + "/");
    plumbrae::core::ConversionRun run(
        host, [&sheet](OutputKind kind) { return kind == OutputKind::Excel ? &sheet : nullptr; });
    const auto report = run.run();
    if (handled(report) != static_cast<std::int32_t>(count)) {
        std::fprintf(stderr, "bench_excel: %s\n", host.lastMessage().c_str());
        return 1;
    }
    std::printf("%ld\n", plumbrae::bench::peakMemoryKiB());
    return 0;
}

/// Peak resident memory (KiB) of a fresh process that converts the first `count` files.
long peakOfRun(std::size_t count, const fs::path& list, const fs::path& out) {
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --peak " +
                                std::to_string(count) + " '" + list.string() + "' '" +
                                out.string() + "'";
    std::FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        throw std::runtime_error("cannot start " + command);
    }
    long peak = 0;
    const int read = std::fscanf(child, "%ld", &peak);
    if (pclose(child) != 0 || read != 1) {
        throw std::runtime_error("the measured run failed: " + command);
    }
    return peak;
}

/// The writer alone: synthetic records straight into a sheet on disk.
double writerOnly(std::size_t count, const fs::path& out) {
    plumbrae::core::ContactRecord record;
    record.FirstName = "Ann";
    record.LastName = "Lee";
    record.FullName = "Ann Lee";
    record.Email = "ann.lee@example.org";
    record.Company = "Acme";
    record.PersonalStreet = "12 Main St";
    record.PersonalCity = "Springfield";
    record.Comments = std::string(120, 'n');
    plumbrae::writers::ExcelContactSheet sheet;
    const auto start = std::chrono::steady_clock::now();
    sheet.open(out.string() + "/");
    for (std::size_t number = 1; number <= count; ++number) {
        sheet.Save2ExcelContact(record, static_cast<std::int32_t>(number));
    }
    sheet.close();
    return seconds(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int run(std::size_t count, const fs::path& work) {
    const fs::path tree = work / "tree";
    const fs::path out = work / "out";
    fs::remove_all(tree);
    fs::create_directories(out);
    std::printf("generating %zu contact files below %s\n", count, tree.c_str());
    const auto files = plumbrae::bench::generateMetaTree(tree, static_cast<int>(count), 1);
    count = files.size(); // with the folder and message files an export holds

    // The floor: the same files, in queue order, concatenated by cat into one file.
    const fs::path list = work / "files.list";
    {
        std::ofstream names(list, std::ios::binary | std::ios::trunc);
        for (const auto& file : files) {
            names << file.string() << '\0';
        }
    }
    const std::string catCommand =
        "xargs -0 cat < '" + list.string() + "' > '" + (work / "cat.out").string() + "'";
    plumbrae::bench::timeShellCommand(catCommand); // warms the page cache for both
    constexpr int Pairs = 7;
    std::vector<Cost> cats;
    std::vector<Cost> runs;
    for (int pair = 0; pair < Pairs; ++pair) {
        if (pair % 2 == 0) {
            cats.push_back(floorCost(catCommand));
            runs.push_back(convert(files, count, out));
        } else {
            runs.push_back(convert(files, count, out));
            cats.push_back(floorCost(catCommand));
        }
    }
    const auto medianOf = [](const std::vector<Cost>& costs, double Cost::*part) {
        std::vector<double> values;
        for (const auto& cost : costs) {
            values.push_back(cost.*part);
        }
        return median(values);
    };
    const double catTime = medianOf(cats, &Cost::seconds);
    const double runTime = medianOf(runs, &Cost::seconds);
    const auto sheetSize = fs::file_size(out / "ZimbraContacts.xls");
    std::printf("cat of %zu files:            %8.3f s (median of %d)\n", count, catTime, Pairs);
    std::printf("Excel run of %zu files:      %8.3f s (median of %d), sheet %ju bytes\n", count,
                runTime, Pairs, static_cast<std::uintmax_t>(sheetSize));
    std::printf("ratio run / cat:               %8.2f (target <= 1.5)\n", runTime / catTime);
    for (const auto& [name, part] :
         {std::pair{"processor", &Cost::cpuSeconds}, std::pair{"user     ", &Cost::userSeconds}}) {
        const double catCpu = medianOf(cats, part);
        const double runCpu = medianOf(runs, part);
        std::printf("%s time: cat %6.3f s, run %6.3f s, ratio %6.2f (medians)\n", name, catCpu,
                    runCpu, runCpu / catCpu);
    }

    const double writerTime = writerOnly(count, work / "out");
    std::printf("writer alone, %zu records:   %8.3f s (%.2f of cat)\n", count, writerTime,
                writerTime / catTime);

    const std::size_t smaller = count / 3;
    const long peakSmall = peakOfRun(smaller, list, out);
    const long peakLarge = peakOfRun(count, list, out);
    std::printf("peak memory, %zu files:      %8ld KiB\n", smaller, peakSmall);
    std::printf("peak memory, %zu files:      %8ld KiB\n", count, peakLarge);
    std::printf("ratio large / small:           %8.2f (target: flat, near 1)\n",
                static_cast<double>(peakLarge) / static_cast<double>(peakSmall));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 5 && std::string(argv[1]) == "--peak") {
            return measurePeak(static_cast<std::size_t>(std::strtoul(argv[2], nullptr, 10)),
                               argv[3], argv[4]);
        }
        const std::size_t count =
            argc > 1 ? static_cast<std::size_t>(std::strtoul(argv[1], nullptr, 10)) : 30000;
        if (count < 3 || count > 65535) {
            std::fprintf(stderr, "bench_excel: COUNT must be between 3 and 65535\n");
            return 2;
        }
        const fs::path work =
            argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "plumbrae-bench-excel";
        const int status = run(count, work);
        if (argc <= 2) {
            fs::remove_all(work);
        }
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_excel: %s\n", error.what());
        return 1;
    }
}
