#include "core/conversion_run.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/pst_export_double.h"
#include "writers/pst_export.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

using core::RunReport;

class FixedClock : public writers::Clock {
public:
    writers::LocalDateTime now() override { return {2013, 3, 25, 14, 30, 5}; }
};

struct PstRunFixture : ::testing::Test {
    TempDir dir;
    ScriptedHost host;
    std::shared_ptr<AutomationLog> log = std::make_shared<AutomationLog>();
    RecordingSessionClass sessionClass{log};
    writers::PstExport output{std::make_shared<FixedClock>()};

    PstRunFixture() {
        host.option = core::OutputKind::Pst;
        host.folderAnswer = dir.path().string();
        host.queue = {contactFile("a.meta", "Ann"), contactFile("b.meta", "Bo"),
                      contactFile("c.meta", "Cy")};
    }
    std::string contactFile(const std::string& name, const std::string& first) {
        return dir
            .write(name, "d3:fldd9:firstName" + std::to_string(first.size()) + ":" + first +
                             "8:lastName3:Leee")
            .string();
    }
    RunReport run() {
        core::ConversionRun conversion(host, [this](core::OutputKind kind) {
            return kind == core::OutputKind::Pst ? &output : nullptr;
        });
        return conversion.run();
    }
    [[nodiscard]] long count(const std::string& line) const {
        return std::count(log->lines.begin(), log->lines.end(), line);
    }
};

TEST_F(PstRunFixture, ARunSavesEveryContactLogsOffAndReportsSuccess) {
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
    EXPECT_EQ(count("RDOContactItem.Save()"), 3);
    EXPECT_EQ(count("RDOContactItem.FirstName = \"Bo\""), 1);
    EXPECT_EQ(count("RDOContactItem.FullName = \"Cy Lee\""), 1);
    EXPECT_EQ(count("RDOSession.Logoff()"), 1);
    EXPECT_EQ(log->lines.back(), "RDOSession released");
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].caption, "Plumbrae");
    EXPECT_EQ(host.messages[0].text, core::ConversionRun::SuccessText);
    EXPECT_EQ(output.pstPath(), dir.folder() + "Zimbracontacts25.3.13 14.30.05.pst");
}

struct RunFailureCase {
    const char* failOn;
    int occurrence;
    int savedBefore;
    const char* cause; ///< how the message's cause begins
};

void PrintTo(const RunFailureCase& c, std::ostream* out) {
    *out << c.failOn << " #" << c.occurrence;
}

class PstRunFailure : public PstRunFixture, public ::testing::WithParamInterface<RunFailureCase> {};

// A failure anywhere ends the run with the Outlook message, whose cause says what was being
// done and which call failed.
TEST_P(PstRunFailure, EndsWithTheOutlookErrorAfterTheFinalCommit) {
    log->failOn = GetParam().failOn;
    log->failOccurrence = GetParam().occurrence;
    const RunReport report = run();
    EXPECT_NE(report.outcome, RunReport::Outcome::Completed);
    ASSERT_EQ(host.messages.size(), 1U);
    const core::Message& shown = host.messages[0];
    EXPECT_EQ(shown.caption, "Outlook Error");
    EXPECT_TRUE(shown.text.starts_with("Outlook Session Creation Error !\r\n")) << shown.text;
    const std::string cause = "\r\nCause: " + std::string(GetParam().cause);
    EXPECT_NE(shown.text.find(cause), std::string::npos) << shown.text;
    EXPECT_EQ(std::count(shown.text.begin(), shown.text.end(), '\n'), 4) << shown.text;
    // A run that stopped after its file was set up still logs off, which commits the contacts
    // saved before the failure (after a failed Logoff it tries once more).
    const bool setUpFailed = report.outcome == RunReport::Outcome::Refused;
    EXPECT_EQ(count("RDOSession.Logoff()"),
              setUpFailed ? 0 : (log->failOn == "RDOSession.Logoff" ? 2 : 1));
    // A failure while contacts are written releases the session at once; one while the file
    // is being set up leaves it for the next run to release.
    if (GetParam().savedBefore > 0) {
        EXPECT_EQ(count("RDOSession released"), 1);
    }
    const long saves = count("RDOContactItem.Save()") - (log->failOn == "RDOContactItem.Save");
    EXPECT_EQ(saves, GetParam().savedBefore);
}

constexpr const char* Creating = "Could not create the PST file \"";
constexpr const char* SavingSecond = "Could not save contact 2 in the PST file \"";

INSTANTIATE_TEST_SUITE_P(
    PstExport, PstRunFailure,
    ::testing::Values(
        RunFailureCase{"create", 1, 0,
                       "Could not start the Outlook session: cannot create object "
                       "\"Redemption.RDOSession\": class not registered"},
        RunFailureCase{"RDOSession.Logon", 1, 0,
                       "Could not start the Outlook session: RDOSession.Logon: injected failure"},
        RunFailureCase{"RDOSession.Stores", 1, 0, Creating},
        RunFailureCase{"RDOStores.AddPSTStore", 1, 0, Creating},
        RunFailureCase{"RDOStore.EntryID", 1, 0, Creating},
        RunFailureCase{"RDOStore.ValidateIPMTree", 1, 0, Creating},
        RunFailureCase{"RDOSession.GetStoreFromID", 1, 0,
                       "Could not save contact 1 in the PST file \""},
        RunFailureCase{"RDOStore.GetDefaultFolder", 3, 2,
                       "Could not save contact 3 in the PST file \""},
        RunFailureCase{"RDOFolder.Items", 2, 1, SavingSecond},
        RunFailureCase{"RDOItems.Add", 2, 1, SavingSecond},
        RunFailureCase{"RDOContactItem.Spouse", 2, 1, SavingSecond},
        RunFailureCase{"RDOContactItem.Save", 2, 1, SavingSecond},
        RunFailureCase{"RDOSession.Logoff", 1, 3, "Could not close the PST file \""}));

TEST_F(PstRunFixture, AnUnreadableFileEndsTheRunAfterTheContactsBeforeIt) {
    std::filesystem::remove(host.queue[2]);
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Failed);
    EXPECT_EQ(count("RDOContactItem.Save()"), 2);
    EXPECT_EQ(count("RDOSession.Logoff()"), 1); // the two saved contacts are committed
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].caption, "Outlook Error");
    EXPECT_NE(host.messages[0].text.find(host.queue[2]), std::string::npos)
        << host.messages[0].text;
    // The progress display shows the last contact that was saved.
    ASSERT_EQ(host.progress.size(), 2U);
    EXPECT_EQ(host.progress.back().countCaption, "Contact(s) 2 (of 3)");
}

} // namespace
} // namespace plumbrae::testing
