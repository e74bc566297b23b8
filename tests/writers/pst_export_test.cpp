#include "core/contact_record.h"
#include "tests/writers/pst_export_double.h"
#include "writers/pst_export.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

using writers::LocalDateTime;
using writers::PstExport;

/// Hands out the readings it was given, one per call; the last one repeats.
class ScriptedClock : public writers::Clock {
public:
    explicit ScriptedClock(std::vector<LocalDateTime> readings) : m_readings(std::move(readings)) {}
    LocalDateTime now() override {
        const LocalDateTime reading = m_readings.at(std::min(m_next, m_readings.size() - 1));
        ++m_next;
        return reading;
    }

private:
    std::vector<LocalDateTime> m_readings;
    std::size_t m_next = 0;
};

constexpr LocalDateTime March25 = {2013, 3, 25, 14, 30, 5};

core::ContactRecord contactNamed(const std::string& first, const std::string& last) {
    core::ContactRecord record;
    record.FirstName = first;
    record.LastName = last;
    record.FullName = first + " " + last;
    return record;
}

struct ExportFixture : ::testing::Test {
    std::shared_ptr<AutomationLog> log = std::make_shared<AutomationLog>();
    RecordingSessionClass sessionClass{log};

    static std::unique_ptr<PstExport> exportAt(std::vector<LocalDateTime> readings) {
        return std::make_unique<PstExport>(std::make_shared<ScriptedClock>(std::move(readings)));
    }
    static void writeContact(PstExport& output, const core::ContactRecord& record, int number) {
        output.write(core::ContactToWrite{record, record, number});
    }
    [[nodiscard]] bool logged(const std::string& line) const {
        return std::find(log->lines.begin(), log->lines.end(), line) != log->lines.end();
    }
    [[nodiscard]] std::vector<std::string> linesStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        std::copy_if(log->lines.begin(), log->lines.end(), std::back_inserter(found),
                     [&](const std::string& line) { return line.starts_with(prefix); });
        return found;
    }
};

/// The calls for one contact, its property assignments folded into one line (see calls()).
std::vector<std::string> expectedItemCalls(const core::ContactRecord& r, std::size_t properties) {
    auto text = [](const std::string& value) { return "\"" + value + "\""; };
    const std::string id = std::string("\"") + RecordingObject::StoreId + "\"";
    std::vector<std::string> lines = {
        "RDOSession.GetStoreFromID(" + id + ")",
        "RDOStore.GetDefaultFolder(10)",
        "RDOFolder.Items",
        "RDOItems.Add(2)",
        "(" + std::to_string(properties) + " properties)",
    };
    if (!r.Photo.empty()) {
        lines.push_back("RDOContactItem.AddPicture(" + text(r.Photo) + ")");
    }
    lines.emplace_back("RDOContactItem.Save()");
    // The chain is dropped after every contact, the item first.
    for (const char* name : {"RDOContactItem", "RDOItems", "RDOFolder", "RDOStore"}) {
        lines.push_back(std::string(name) + " released");
    }
    return lines;
}

// Every record field gets a distinct value (the dates distinct dates), so a property fed from
// the wrong field shows.
core::ContactRecord everyFieldSet(const std::string& tag) {
    core::ContactRecord record;
    for (const auto& info : core::ContactRecord::fields()) {
        record.*info.field = std::string(info.name) + "-" + tag;
    }
    record.Photo.clear();
    record.Birthday = "1984-03-17";
    record.Anniversary = "2010-06-02";
    return record;
}

/// The log with each contact's run of property assignments folded into "(N properties)";
/// `values` receives the assigned values of each run.
std::vector<std::string> calls(const std::vector<std::string>& log,
                               std::vector<std::set<std::string>>& values) {
    std::vector<std::string> folded;
    for (const std::string& line : log) {
        const auto assigned = line.find(" = ");
        if (!line.starts_with("RDOContactItem.") || assigned == std::string::npos) {
            folded.push_back(line);
            continue;
        }
        if (folded.empty() || !folded.back().ends_with(" properties)")) {
            folded.emplace_back("(0 properties)");
            values.emplace_back();
        }
        values.back().insert(line.substr(assigned + 3));
        folded.back() =
            "(" + std::to_string(std::stoi(folded.back().substr(1)) + 1) + " properties)";
    }
    return folded;
}

TEST_F(ExportFixture, TwoContactsMakeExactlyTheSessionCallsInOrder) {
    auto output = exportAt({March25});
    output->open("/out/");
    const core::ContactRecord first = everyFieldSet("1");
    core::ContactRecord second = contactNamed("Bo", "Ek");
    second.Photo = "/pics/bo.jpg";
    writeContact(*output, first, 1);
    writeContact(*output, second, 2);
    output->close();

    const std::string stamp = "25.3.13 14.30.05";
    std::vector<std::string> expected = {
        "create Redemption.RDOSession",
        "RDOSession.Logon()",
        "RDOSession.Stores",
        "RDOStores.AddPSTStore(\"/out/Zimbracontacts" + stamp +
            ".pst\", 1, \"Zimbra Contacts : Created - " + stamp + "\")",
        "RDOStore.EntryID",
        "RDOStore.ValidateIPMTree()",
        "RDOStores released",
    };
    // A contact without the values that came later (second numbers, other address, dates ...)
    // gets the 41 properties it always got; one with all of them every property.
    const std::size_t always = 41;
    for (const auto& [record, properties] :
         {std::pair{first, automation::contract::ContactPropertyNames.size()},
          std::pair{second, always}}) {
        const auto item = expectedItemCalls(record, properties);
        expected.insert(expected.end(), item.begin(), item.end());
    }
    expected.insert(expected.end(),
                    {"RDOSession.Logoff()", "RDOStore released", "RDOSession released"});
    std::vector<std::set<std::string>> values;
    EXPECT_EQ(calls(log->lines, values), expected);
    // Every property of the first contact gets a value of its own: no two are fed from one
    // field (the work web page takes the business home page from the web page).
    ASSERT_EQ(values.size(), 2U);
    EXPECT_EQ(values[0].size(), automation::contract::ContactPropertyNames.size());
    EXPECT_EQ(output->pstPath(), "/out/Zimbracontacts" + stamp + ".pst");
}

struct StampCase {
    LocalDateTime time;
    const char* stamp;
};

void PrintTo(const StampCase& c, std::ostream* out) {
    *out << c.stamp;
}

class StampTest : public ExportFixture, public ::testing::WithParamInterface<StampCase> {};

TEST_P(StampTest, NamesCarryTheStamp) {
    auto output = exportAt({GetParam().time});
    output->open("/out/");
    const std::string stamp = GetParam().stamp;
    EXPECT_EQ(output->pstPath(), "/out/Zimbracontacts" + stamp + ".pst");
    EXPECT_EQ(output->storeDisplayName(), "Zimbra Contacts : Created - " + stamp);
    EXPECT_EQ(writers::pstTimeStamp(GetParam().time), stamp);
}

INSTANTIATE_TEST_SUITE_P(PstExport, StampTest,
                         ::testing::Values(StampCase{{2013, 3, 25, 14, 30, 5}, "25.3.13 14.30.05"},
                                           StampCase{{2009, 2, 1, 9, 5, 7}, "1.2.09 9.5.07"},
                                           StampCase{{2000, 12, 31, 0, 0, 0}, "31.12.00 0.0.00"},
                                           StampCase{{2026, 10, 9, 23, 59, 59},
                                                     "9.10.26 23.59.59"}));

TEST_F(ExportFixture, PathAndStoreNameComeFromTwoClockReadings) {
    auto output = exportAt({{2013, 3, 25, 14, 30, 59}, {2013, 3, 25, 14, 31, 0}});
    output->open("/out/");
    EXPECT_EQ(output->pstPath(), "/out/Zimbracontacts25.3.13 14.30.59.pst");
    EXPECT_EQ(output->storeDisplayName(), "Zimbra Contacts : Created - 25.3.13 14.31.00");
}

TEST_F(ExportFixture, ImAddressIsTheInstantMessagingAddressThenTheOtherAddresses) {
    auto output = exportAt({March25});
    output->open("/out/");
    core::ContactRecord record;
    writeContact(*output, record, 1);
    record.IMAddress = "xmpp://ann@x";
    record.OtherEmail1 = "a@x";
    record.OtherEmail3 = "c@x";
    writeContact(*output, record, 2);
    EXPECT_EQ(linesStartingWith("RDOContactItem.IMAddress"),
              (std::vector<std::string>{"RDOContactItem.IMAddress = \"  \"",
                                        "RDOContactItem.IMAddress = \"xmpp://ann@x a@x  c@x\""}));
}

TEST_F(ExportFixture, NewPropertiesOnlyWithAValueAndDatesOnlyWithTheirYear) {
    auto output = exportAt({March25});
    output->open("/out/");
    core::ContactRecord record;
    record.Nickname = "Annie";
    record.Birthday = "--05-01";
    record.Anniversary = "2010-06-02";
    record.WebPage = "home.example";
    record.WorkWebPage = "work.example";
    writeContact(*output, record, 1);
    EXPECT_EQ(linesStartingWith("RDOContactItem.NickName"),
              std::vector<std::string>{"RDOContactItem.NickName = \"Annie\""});
    EXPECT_TRUE(linesStartingWith("RDOContactItem.Birthday").empty());
    EXPECT_TRUE(linesStartingWith("RDOContactItem.OtherTelephoneNumber").empty());
    EXPECT_EQ(linesStartingWith("RDOContactItem.Anniversary"),
              std::vector<std::string>{"RDOContactItem.Anniversary = \"2010-06-02\""});
    EXPECT_EQ(linesStartingWith("RDOContactItem.BusinessHomePage"),
              std::vector<std::string>{"RDOContactItem.BusinessHomePage = \"work.example\""});
}

TEST_F(ExportFixture, PictureIsAddedOnlyForAContactWithAPhoto) {
    auto output = exportAt({March25});
    output->open("/out/");
    core::ContactRecord record = contactNamed("Al", "Bo");
    writeContact(*output, record, 1);
    record.Photo = "/in/al.jpg";
    writeContact(*output, record, 2);
    record.Photo.clear();
    writeContact(*output, record, 3);
    EXPECT_EQ(linesStartingWith("RDOContactItem.AddPicture"),
              std::vector<std::string>{"RDOContactItem.AddPicture(\"/in/al.jpg\")"});
}

TEST_F(ExportFixture, AFailedRunLogsOffAndReleasesItsSession) {
    log->failOn = "RDOContactItem.Save";
    auto output = exportAt({March25, March25, {2013, 3, 25, 14, 30, 6}});
    output->open("/out/");
    EXPECT_THROW(writeContact(*output, contactNamed("A", "B"), 1), core::OutputError);
    output->abandon();
    EXPECT_TRUE(logged("RDOSession released"));
    EXPECT_TRUE(logged("RDOSession.Logoff()"));
    output->open("/out/");
    const auto released = std::find(log->lines.begin(), log->lines.end(), "RDOSession released");
    const auto created = std::find(released, log->lines.end(), "create Redemption.RDOSession");
    EXPECT_NE(released, log->lines.end());
    EXPECT_NE(created, log->lines.end());
    EXPECT_EQ(output->pstPath(), "/out/Zimbracontacts25.3.13 14.30.06.pst");
}

} // namespace
} // namespace plumbrae::testing
