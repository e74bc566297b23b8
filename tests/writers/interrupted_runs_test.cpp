// Runs of each saving option ended early at several points: by an exception from anywhere (the
// host here throws, as a fault in the window or an exhausted memory would), by a failing call
// of the PST's object model, or by a stop request. Whatever ends the run, the outputs are
// complete: a worksheet that ends with its EOF record after the last row written, whole cards
// only, a PST file committed with every contact saved and readable by libpff, and nothing left
// beside them; the user is told what failed.

#include "automation/registry.h"
#include "automation/session_contract.h"
#include "core/conversion_run.h"
#include "pst/rdo/rdo_session.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/excel_records.h"
#include "writers/output_set.h"
#include "writers/pst_export.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <string>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using automation::InvokeKind;
using automation::Variant;
using core::OutputKind;

/// How often each member of the object model was called ("RDOContactItem.Save") and each
/// object released ("RDOSession released"), and the call that fails at which occurrence.
struct CallLog {
    std::map<std::string, int> calls;
    std::string failOn;
    int failOccurrence = 1;
};

/// Stands between the export and an object of the real object model, logging every call and
/// failing the chosen one.
class Spy : public automation::Object {
public:
    Spy(automation::ObjectPtr inner, std::shared_ptr<CallLog> log)
        : m_inner(std::move(inner)), m_log(std::move(log)) {}
    ~Spy() override { ++m_log->calls[std::string(className()) + " released"]; }
    Spy(const Spy&) = delete;
    Spy& operator=(const Spy&) = delete;
    [[nodiscard]] std::string_view className() const override { return m_inner->className(); }

protected:
    Variant invoke(InvokeKind kind, std::string_view member,
                   std::span<const Variant> arguments) override {
        const auto line = std::string(className()) + "." + std::string(member);
        if (++m_log->calls[line] == m_log->failOccurrence && line == m_log->failOn) {
            throw std::runtime_error("injected failure");
        }
        if (kind == InvokeKind::Put) {
            m_inner->put(member, arguments[0]);
            return {};
        }
        Variant result =
            kind == InvokeKind::Get ? m_inner->get(member) : m_inner->call(member, arguments);
        return result.isObject() ? Variant(std::make_shared<Spy>(result.toObject(), m_log))
                                 : result;
    }

private:
    automation::ObjectPtr m_inner;
    std::shared_ptr<CallLog> m_log;
};

/// Throws once the run has shown progress for `throwAfter` contacts; with 0, when the first
/// row is made current (the run's third yield, after the output was opened).
class FaultyHost : public ScriptedHost {
public:
    int throwAfter = -1;
    void yield() override {
        if (++yields == 3 && throwAfter == 0) {
            throw std::runtime_error("injected fault");
        }
    }
    void showProgress(const core::Progress& shown) override {
        progress.push_back(shown);
        if (throwAfter > 0 && static_cast<int>(progress.size()) == throwAfter) {
            throw std::bad_alloc();
        }
    }
};

struct Interruption {
    OutputKind option;
    int throwAfter;     ///< contacts shown before the host throws; -1: it does not
    int stopAfter;      ///< contacts shown before the user stops; -1: no stop
    const char* failOn; ///< the PST call that fails, at `occurrence`; "create": the session
    int occurrence;
    int written;      ///< contacts the outputs hold afterwards
    const char* told; ///< what the closing message says
};

void PrintTo(const Interruption& cut, std::ostream* out) { // NOLINT(readability-identifier-naming)
    *out << std::array{"none", "pst", "excel", "vcards"}.at(static_cast<std::size_t>(cut.option))
         << " throw " << cut.throwAfter << " stop " << cut.stopAfter << " fail " << cut.failOn
         << " #" << cut.occurrence;
}

class InterruptedRun : public ::testing::TestWithParam<Interruption> {};

TEST_P(InterruptedRun, LeavesCompleteOutputs) {
    const Interruption& cut = GetParam();
    auto log = std::make_shared<CallLog>(CallLog{{}, cut.failOn, cut.occurrence});
    const automation::ScopedRegistration spied(
        automation::contract::SessionProgId, [log]() -> automation::ObjectPtr {
            if (log->failOn == "create") {
                throw std::runtime_error("class not registered");
            }
            return std::make_shared<Spy>(pst::rdo::makeRdoSession(), log);
        });
    TempDir dir;
    FaultyHost host;
    host.option = cut.option;
    host.folderAnswer = (dir.path() / "out").string();
    fs::create_directory(host.folderAnswer);
    host.queue.clear();
    for (const char* name : {"0", "1", "2", "3", "4", "5"}) {
        const std::string meta = std::string("d3:fldd9:firstName1:") + name + "8:lastName3:Leee";
        host.queue.push_back(dir.write(std::string("in/") + name + ".meta", meta).string());
    }
    host.throwAfter = cut.throwAfter;
    host.stopAfter = cut.stopAfter;
    writers::OutputSet outputs;
    const core::RunReport report =
        core::ConversionRun(host, [&](OutputKind kind) { return outputs.outputFor(kind); }).run();
    using Outcome = core::RunReport::Outcome;
    EXPECT_EQ(report.outcome == Outcome::Interrupted, cut.stopAfter >= 0);
    EXPECT_NE(report.outcome, Outcome::Completed);
    EXPECT_EQ(report.converted, cut.written);
    const std::string text = host.messages.empty() ? "" : host.messages.back().text;
    EXPECT_NE(text.find(cut.told), std::string::npos) << text;
    EXPECT_TRUE(*cut.failOn == '\0' || text.starts_with("Outlook Session Creation Error !\r\n"));
    // A PST run whose file was set up logs off, which commits the contacts saved before (after a
    // failed Logoff it tries once more), and releases its session.
    auto& calls = log->calls;
    const bool setUp =
        calls["RDOStore.ValidateIPMTree"] == 1 && log->failOn != "RDOStore.ValidateIPMTree";
    EXPECT_EQ(calls["RDOSession.Logoff"], setUp ? 1 + (log->failOn == "RDOSession.Logoff") : 0);
    EXPECT_TRUE(!setUp || calls["RDOSession released"] == 1);

    int vcards = 0;
    std::string pst;
    for (const auto& entry : fs::directory_iterator(host.folderAnswer)) {
        const auto name = entry.path().filename().string();
        const auto bytes = readFile(entry.path());
        if (name == "ZimbraContacts.vcf") {
            std::size_t cards = 0;
            for (auto at = bytes.find("BEGIN:VCARD"); at != std::string::npos;
                 at = bytes.find("BEGIN:VCARD", at + 1)) {
                ++cards;
            }
            EXPECT_EQ(cards, std::size_t(cut.written));
            EXPECT_TRUE(bytes.empty() || bytes.ends_with("END:VCARD\r\n"));
        } else if (name.ends_with(".vcf")) {
            EXPECT_TRUE(bytes.starts_with("BEGIN:VCARD") && bytes.ends_with("End:VCARD\r\n"));
            ++vcards;
        } else if (name.ends_with(".pst")) {
            pst = entry.path().string();
        } else if (name == "ZimbraContacts.csv") {
            EXPECT_TRUE(bytes.empty() || bytes.back() == '\n') << "the CSV ends inside a row";
        } else if (name == "ZimbraContacts.xls") {
            bool complete = false;
            const auto records = splitRecords(bytes, complete);
            ASSERT_TRUE(complete && !records.empty());
            EXPECT_EQ(records.back().id, 0x000A); // EOF
            const auto lastLabel = std::find_if(records.rbegin(), records.rend(),
                                                [](const auto& record) { return record.id == 4; });
            EXPECT_EQ(support::readLe16(lastLabel->body, 0), cut.written); // row 0: the titles
        } else {
            ADD_FAILURE() << name << " was left beside the outputs";
        }
    }
    EXPECT_EQ(vcards, cut.option == OutputKind::VCards ? cut.written : 0);
    if (cut.option == OutputKind::Pst && (setUp || cut.written > 0)) {
        ASSERT_FALSE(pst.empty());
        EXPECT_EQ(pstReaderJson("pst_dump.py", pst)["contacts"].size(), std::size_t(cut.written));
        EXPECT_EQ(pstFindings(pst), "");
    }
}

constexpr const char* Stopped = "stopped";
constexpr const char* Creating = "Cause: Could not create the PST file \"";
constexpr const char* SavingSecond = "Cause: Could not save contact 2 in the PST file \"";
using enum OutputKind;
using I = Interruption;

// clang-format off
INSTANTIATE_TEST_SUITE_P(EveryOption, InterruptedRun, ::testing::Values(
    I{VCards, 0, -1, "", 0, 0, Stopped}, I{VCards, 3, -1, "", 0, 3, Stopped},
    I{VCards, -1, 2, "", 0, 2, ""}, I{Excel, 0, -1, "", 0, 0, Stopped},
    I{Excel, 1, -1, "", 0, 1, Stopped}, I{Excel, 4, -1, "", 0, 4, Stopped},
    I{Excel, -1, 3, "", 0, 3, ""}, I{Pst, 0, -1, "", 0, 0, Stopped}, I{Pst, -1, 1, "", 0, 1, ""},
    I{Pst, 2, -1, "", 0, 2, Stopped}, I{Pst, 5, -1, "", 0, 5, Stopped},
    // A failing call ends the run with the Outlook message, whose cause says what was being
    // done and which call failed.
    I{Pst, -1, -1, "create", 1, 0, "Cause: Could not start the Outlook session: "
        "cannot create object \"Redemption.RDOSession\": class not registered"},
    I{Pst, -1, -1, "RDOSession.Logon", 1, 0,
        "Cause: Could not start the Outlook session: RDOSession.Logon: injected failure"},
    I{Pst, -1, -1, "RDOStores.AddPSTStore", 1, 0, Creating},
    I{Pst, -1, -1, "RDOStore.ValidateIPMTree", 1, 0, Creating},
    I{Pst, -1, -1, "RDOSession.GetStoreFromID", 1, 0, "Cause: Could not save contact 1 in the PST"},
    I{Pst, -1, -1, "RDOStore.GetDefaultFolder", 3, 2, "Cause: Could not save contact 3 in the PST"},
    I{Pst, -1, -1, "RDOItems.Add", 2, 1, SavingSecond},
    I{Pst, -1, -1, "RDOContactItem.Save", 2, 1, SavingSecond},
    I{Pst, -1, -1, "RDOSession.Logoff", 1, 6, "Cause: Could not close the PST file \""}));
// clang-format on

TEST(PstTimeStamp, HasNoLeadingZerosButInTheSeconds) {
    EXPECT_EQ(writers::pstTimeStamp({2013, 3, 25, 23, 59, 5}), "25.3.13 23.59.05");
    EXPECT_EQ(writers::pstTimeStamp({2009, 2, 1, 9, 5, 7}), "1.2.09 9.5.07");
    EXPECT_EQ(writers::pstTimeStamp({2000, 12, 31, 0, 0, 0}), "31.12.00 0.0.00");
}

} // namespace
} // namespace plumbrae::testing
