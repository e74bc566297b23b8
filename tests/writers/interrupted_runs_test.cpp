// Runs of each saving option ended early at several points, by an exception from anywhere (the
// host here throws, as a fault in the window or an exhausted memory would) or by a stop
// request. Whatever ends the run, the outputs are complete: a worksheet that ends with its EOF
// record up to the last row written, whole cards only, a PST file committed with every contact
// saved and readable by libpff, and nothing left beside them.

#include "core/conversion_run.h"
#include "pst/rdo/rdo_session.h"
#include "support/atomic_file_sink.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/excel_records.h"
#include "tests/writers/pst_export_readers.h"
#include "writers/output_set.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using core::OutputKind;
using Outcome = core::RunReport::Outcome;

constexpr int Contacts = 6;

/// Throws once the run has shown progress for `throwAfter` contacts; with 0, when the first
/// row is made current (the run's third yield, after the output was opened).
class FaultyHost : public ScriptedHost {
public:
    int throwAfter = -1;
    void yield() override {
        ScriptedHost::yield();
        if (throwAfter == 0 && yields == 3) {
            throw std::runtime_error("injected fault");
        }
    }
    void showProgress(const core::Progress& shown) override {
        ScriptedHost::showProgress(shown);
        if (throwAfter > 0 && static_cast<int>(progress.size()) == throwAfter) {
            throw std::bad_alloc();
        }
    }
};

struct Interruption {
    OutputKind option;
    /// Contacts shown before the fault; -1: none, the run is stopped instead.
    int throwAfter;
    int stopAfter;
    /// Contacts the outputs hold afterwards.
    int written;
};

void PrintTo(const Interruption& cut, std::ostream* out) {
    *out << static_cast<int>(cut.option) << "/" << cut.throwAfter << "/" << cut.stopAfter;
}

class InterruptedRun : public ::testing::TestWithParam<Interruption> {};

TEST_P(InterruptedRun, LeavesCompleteOutputs) {
    const Interruption& cut = GetParam();
    pst::rdo::registerRdoSession();
    TempDir dir;
    FaultyHost host;
    host.option = cut.option;
    host.folderAnswer = (dir.path() / "out").string();
    fs::create_directory(host.folderAnswer);
    host.queue.clear();
    for (int i = 0; i < Contacts; ++i) {
        host.queue.push_back(
            dir.write("in/" + std::to_string(i) + ".meta",
                      "d3:fldd9:firstName1:" + std::to_string(i) + "8:lastName3:Leee")
                .string());
    }
    host.throwAfter = cut.throwAfter;
    host.stopAfter = cut.stopAfter;
    const auto sheet = fs::path(host.folderAnswer) / "ZimbraContacts.xls";
    writers::OutputSet outputs;
    core::RunReport report;
    {
        core::ConversionRun run(host, [&](OutputKind kind) { return outputs.outputFor(kind); });
        report = run.run();
    }
    EXPECT_EQ(report.outcome, cut.stopAfter >= 0 ? Outcome::Interrupted : Outcome::Failed);
    EXPECT_EQ(report.converted, cut.written);
    if (cut.throwAfter >= 0) {
        ASSERT_FALSE(host.messages.empty());
        EXPECT_NE(host.messages.back().text.find("stopped"), std::string::npos)
            << host.messages.back().text;
    }

    int vcards = 0;
    int others = 0;
    std::string pst;
    for (const auto& entry : fs::directory_iterator(host.folderAnswer)) {
        const auto name = entry.path().filename().string();
        EXPECT_FALSE(support::AtomicFileSink::isAbandonedPart(entry.path())) << name;
        if (entry.path().extension() == ".vcf") {
            const auto card = readFile(entry.path());
            EXPECT_TRUE(card.starts_with("BEGIN:VCARD") && card.ends_with("End:VCARD\r\n"));
            ++vcards;
        } else if (entry.path().extension() == ".pst") {
            pst = entry.path().string();
        } else if (entry.path().filename() == "ZimbraContacts.csv") {
            const auto csv = readFile(entry.path());
            EXPECT_TRUE(csv.empty() || csv.back() == '\n') << "the CSV ends inside a row";
        } else if (entry.path() != sheet) {
            ++others;
        }
    }
    EXPECT_EQ(others, 0) << "something was left beside the outputs";
    switch (cut.option) {
    case OutputKind::VCards:
        EXPECT_EQ(vcards, cut.written);
        break;
    case OutputKind::Excel: {
        bool complete = false;
        const auto records = splitRecords(readFile(sheet), &complete);
        ASSERT_TRUE(complete);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().id, 0x000A); // EOF
        int lastRow = 0;
        for (const auto& record : records) {
            if (record.id == 0x0004) { // LABEL
                lastRow = std::max<int>(lastRow, readLabel(record).row);
            }
        }
        EXPECT_EQ(lastRow, cut.written); // row 0 holds the column titles
        break;
    }
    case OutputKind::Pst:
        ASSERT_FALSE(pst.empty());
        EXPECT_EQ(readPstWith("pst_dump.py", pst)["contacts"].size(),
                  static_cast<std::size_t>(cut.written));
        break;
    case OutputKind::None:
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOption, InterruptedRun,
                         ::testing::Values(Interruption{OutputKind::VCards, 0, -1, 0},
                                           Interruption{OutputKind::VCards, 3, -1, 3},
                                           Interruption{OutputKind::VCards, -1, 2, 2},
                                           Interruption{OutputKind::Excel, 0, -1, 0},
                                           Interruption{OutputKind::Excel, 1, -1, 1},
                                           Interruption{OutputKind::Excel, 4, -1, 4},
                                           Interruption{OutputKind::Excel, -1, 3, 3},
                                           Interruption{OutputKind::Pst, 0, -1, 0},
                                           Interruption{OutputKind::Pst, 2, -1, 2},
                                           Interruption{OutputKind::Pst, 5, -1, 5},
                                           Interruption{OutputKind::Pst, -1, 1, 1}));

} // namespace
} // namespace plumbrae::testing
