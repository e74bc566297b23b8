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

const std::string OutlookLines =
    "Outlook Session Creation Error !\r\n"
    "Check if Outlook is installed and configured.\r\n"
    "If Outlook 2010 (64 Bit) is installed, then please try to re-install it as Outlook 2010 (32 "
    "Bit).\r\n"
    "For more details visit this link : https://support.microsoft.com/en-us/office/"
    "choose-between-the-64-bit-or-32-bit-version-of-office-2dee7807-8f95-4d0c-b5fe-6c6f49b8d261"
    "\r\nCause: ";

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
};

class PstRunFailure : public PstRunFixture, public ::testing::WithParamInterface<RunFailureCase> {};

TEST_P(PstRunFailure, EndsWithTheOutlookErrorAndNoLogoff) {
    log->failOn = GetParam().failOn;
    log->failOccurrence = GetParam().occurrence;
    const RunReport report = run();
    EXPECT_NE(report.outcome, RunReport::Outcome::Completed);
    ASSERT_EQ(host.messages.size(), 1U);
    const core::Message& shown = host.messages[0];
    EXPECT_EQ(shown.caption, "Outlook Error");
    EXPECT_EQ(shown.icon, core::MessageIcon::Information);
    EXPECT_TRUE(shown.text.starts_with(OutlookLines)) << shown.text;
    EXPECT_EQ(std::count(shown.text.begin(), shown.text.end(), '\n'), 4) << shown.text;
    // Only the failing Logoff itself may appear: nothing logs off after a failure.
    EXPECT_EQ(count("RDOSession.Logoff()"), log->failOn == "RDOSession.Logoff" ? 1 : 0);
    // A failure while contacts are written releases the session at once (committing them);
    // one while the file is being set up leaves it for the next run to release.
    if (GetParam().savedBefore > 0) {
        EXPECT_EQ(count("RDOSession released"), 1);
    }
    const long saves = count("RDOContactItem.Save()") - (log->failOn == "RDOContactItem.Save");
    EXPECT_EQ(saves, GetParam().savedBefore);
}

INSTANTIATE_TEST_SUITE_P(PstExport, PstRunFailure,
                         ::testing::Values(RunFailureCase{"create", 1, 0},
                                           RunFailureCase{"RDOSession.Logon", 1, 0},
                                           RunFailureCase{"RDOStores.AddPSTStore", 1, 0},
                                           RunFailureCase{"RDOStore.EntryID", 1, 0},
                                           RunFailureCase{"RDOStore.ValidateIPMTree", 1, 0},
                                           RunFailureCase{"RDOSession.GetStoreFromID", 1, 0},
                                           RunFailureCase{"RDOStore.GetDefaultFolder", 3, 2},
                                           RunFailureCase{"RDOFolder.Items", 2, 1},
                                           RunFailureCase{"RDOItems.Add", 2, 1},
                                           RunFailureCase{"RDOContactItem.Spouse", 3, 2},
                                           RunFailureCase{"RDOContactItem.Save", 2, 1},
                                           RunFailureCase{"RDOSession.Logoff", 1, 3}));

TEST_F(PstRunFixture, AnUnreadableFileEndsTheRunAfterTheContactsBeforeIt) {
    std::filesystem::remove(host.queue[2]);
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Failed);
    EXPECT_EQ(count("RDOContactItem.Save()"), 2);
    EXPECT_EQ(count("RDOSession.Logoff()"), 0);
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
