#include "core/contact_record.h"
#include "tests/writers/pst_export_double.h"
#include "writers/pst_export.h"

#include <algorithm>
#include <gtest/gtest.h>
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

std::vector<std::string> expectedItemCalls(const core::ContactRecord& r) {
    auto text = [](const std::string& value) { return "\"" + value + "\""; };
    const std::string id = std::string("\"") + RecordingObject::StoreId + "\"";
    std::vector<std::string> lines = {
        "RDOSession.GetStoreFromID(" + id + ")",
        "RDOStore.GetDefaultFolder(10)",
        "RDOFolder.Items",
        "RDOItems.Add(2)",
        "RDOContactItem.FirstName = " + text(r.FirstName),
        "RDOContactItem.MiddleName = " + text(r.MiddleName),
        "RDOContactItem.LastName = " + text(r.LastName),
        "RDOContactItem.FullName = " + text(r.FullName),
        "RDOContactItem.JobTitle = " + text(r.JobTitle),
        "RDOContactItem.CompanyName = " + text(r.Company),
        "RDOContactItem.BusinessTelephoneNumber = " + text(r.OfficePhone),
        "RDOContactItem.BusinessFaxNumber = " + text(r.OfficeFax),
        "RDOContactItem.HomeTelephoneNumber = " + text(r.HomePhone),
        "RDOContactItem.HomeFaxNumber = " + text(r.HomeFax),
        "RDOContactItem.MobileTelephoneNumber = " + text(r.CellPhone),
        "RDOContactItem.PagerNumber = " + text(r.Pager),
        "RDOContactItem.CarTelephoneNumber = " + text(r.CarPhone),
        "RDOContactItem.BusinessAddress = " + text(r.BusinessAddress),
        "RDOContactItem.BusinessAddressStreet = " + text(r.BusinessStreet),
        "RDOContactItem.BusinessAddressCity = " + text(r.BusinessCity),
        "RDOContactItem.BusinessAddressState = " + text(r.BusinessState),
        "RDOContactItem.BusinessAddressPostalCode = " + text(r.BusinessZip),
        "RDOContactItem.BusinessAddressCountry = " + text(r.BusinessCountry),
        "RDOContactItem.HomeAddress = " + text(r.PersonalAddress),
        "RDOContactItem.HomeAddressStreet = " + text(r.PersonalStreet),
        "RDOContactItem.HomeAddressCity = " + text(r.PersonalCity),
        "RDOContactItem.HomeAddressState = " + text(r.PersonalState),
        "RDOContactItem.HomeAddressPostalCode = " + text(r.PersonalZip),
        "RDOContactItem.HomeAddressCountry = " + text(r.PersonalCountry),
        "RDOContactItem.Email1Address = " + text(r.Email),
        "RDOContactItem.Email2Address = " + text(r.Email2),
        "RDOContactItem.Email3Address = " + text(r.Email3),
        "RDOContactItem.BusinessHomePage = " + text(r.WebPage),
        "RDOContactItem.WebPage = " + text(r.WebPage),
        "RDOContactItem.IMAddress = " +
            text(r.OtherEmail1 + " " + r.OtherEmail2 + " " + r.OtherEmail3),
        "RDOContactItem.Categories = " + text(r.Categories),
        "RDOContactItem.Department = " + text(r.Department),
        "RDOContactItem.OfficeLocation = " + text(r.Location),
        "RDOContactItem.Profession = " + text(r.Profession),
        "RDOContactItem.ManagerName = " + text(r.Manager),
        "RDOContactItem.AssistantName = " + text(r.Assistant),
        "RDOContactItem.Title = " + text(r.Title),
        "RDOContactItem.Suffix = " + text(r.Suffix),
        "RDOContactItem.Spouse = " + text(r.Spouse),
        "RDOContactItem.Body = " + text(r.Comments),
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

// Every record field gets a distinct value, so a property fed from the wrong field shows.
core::ContactRecord everyFieldSet(const std::string& tag) {
    core::ContactRecord record;
    for (const auto& info : core::ContactRecord::fields()) {
        record.*info.field = std::string(info.name) + "-" + tag;
    }
    record.Photo.clear();
    return record;
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
    for (const auto& record : {first, second}) {
        const auto item = expectedItemCalls(record);
        expected.insert(expected.end(), item.begin(), item.end());
    }
    expected.insert(expected.end(),
                    {"RDOSession.Logoff()", "RDOStore released", "RDOSession released"});
    EXPECT_EQ(log->lines, expected);
    EXPECT_EQ(output->pstPath(), "/out/Zimbracontacts" + stamp + ".pst");
}

struct StampCase {
    LocalDateTime time;
    const char* stamp;
};

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

TEST_F(ExportFixture, ImAddressJoinsTheOtherAddressesWithTwoSpacesEvenWhenEmpty) {
    auto output = exportAt({March25});
    output->open("/out/");
    core::ContactRecord record;
    record.IMAddress = "never used";
    writeContact(*output, record, 1);
    record.OtherEmail1 = "a@x";
    record.OtherEmail3 = "c@x";
    writeContact(*output, record, 2);
    EXPECT_EQ(linesStartingWith("RDOContactItem.IMAddress"),
              (std::vector<std::string>{"RDOContactItem.IMAddress = \"  \"",
                                        "RDOContactItem.IMAddress = \"a@x  c@x\""}));
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

TEST_F(ExportFixture, FailureMessageKeepsTheFourLinesAndAddsTheCause) {
    const PstExport output;
    const core::Message message = output.failureMessage("the disk is full");
    EXPECT_EQ(message.caption, "Outlook Error");
    EXPECT_EQ(message.icon, core::MessageIcon::Information);
    EXPECT_EQ(message.text,
              "Outlook Session Creation Error !\r\n"
              "Check if Outlook is installed and configured.\r\n"
              "If Outlook 2010 (64 Bit) is installed, then please try to re-install it as "
              "Outlook 2010 (32 Bit).\r\n"
              "For more details visit this link : https://support.microsoft.com/en-us/office/"
              "choose-between-the-64-bit-or-32-bit-version-of-office-"
              "2dee7807-8f95-4d0c-b5fe-6c6f49b8d261\r\n"
              "Cause: the disk is full");
}

struct FailureCase {
    const char* failOn;
    int occurrence;
    const char* causeStart;
};

class FailureTest : public ExportFixture, public ::testing::WithParamInterface<FailureCase> {};

// A failure anywhere stops the export with a cause naming what was being done and the call
// that failed; the session is not logged off, but abandoning the run releases it, which commits
// what was saved.
TEST_P(FailureTest, StopsWithTheCauseWithoutLoggingOff) {
    log->failOn = GetParam().failOn;
    log->failOccurrence = GetParam().occurrence;
    auto output = exportAt({March25});
    std::string cause;
    try {
        output->open("/out/");
        core::ContactRecord record = contactNamed("Al", "Bo");
        record.Photo = "/in/al.jpg";
        writeContact(*output, record, 1);
        writeContact(*output, record, 2);
        output->close();
    } catch (const core::OutputError& error) {
        cause = error.what();
        output->abandon();
    }
    EXPECT_TRUE(cause.starts_with(GetParam().causeStart)) << cause;
    EXPECT_TRUE(cause.ends_with("injected failure") || cause.ends_with("class not registered"))
        << cause;
    EXPECT_FALSE(logged("RDOSession.Logoff()"));
    if (std::string(GetParam().failOn) != "create") {
        // Released (which commits the file) without being logged off.
        EXPECT_EQ(log->lines.back(), "RDOSession released");
    }
}

const std::string SavingSecond =
    "Could not save contact 2 in the PST file \"/out/Zimbracontacts25.3.13 14.30.05.pst\": ";

INSTANTIATE_TEST_SUITE_P(
    PstExport, FailureTest,
    ::testing::Values(
        FailureCase{"create", 1,
                    "Could not start the Outlook session: cannot create object "
                    "\"Redemption.RDOSession\""},
        FailureCase{"RDOSession.Logon", 1, "Could not start the Outlook session: RDOSession.Logon"},
        FailureCase{"RDOSession.Stores", 1,
                    "Could not create the PST file \"/out/Zimbracontacts25.3.13 14.30.05.pst\": "
                    "RDOSession.Stores: "},
        FailureCase{"RDOStores.AddPSTStore", 1, "Could not create the PST file"},
        FailureCase{"RDOStore.EntryID", 1, "Could not create the PST file"},
        FailureCase{"RDOStore.ValidateIPMTree", 1, "Could not create the PST file"},
        FailureCase{"RDOSession.GetStoreFromID", 2, SavingSecond.c_str()},
        FailureCase{"RDOStore.GetDefaultFolder", 2, SavingSecond.c_str()},
        FailureCase{"RDOFolder.Items", 2, SavingSecond.c_str()},
        FailureCase{"RDOItems.Add", 2, SavingSecond.c_str()},
        FailureCase{"RDOContactItem.FirstName", 2, SavingSecond.c_str()},
        FailureCase{"RDOContactItem.Body", 2, SavingSecond.c_str()},
        FailureCase{"RDOContactItem.AddPicture", 2, SavingSecond.c_str()},
        FailureCase{"RDOContactItem.Save", 1,
                    "Could not save contact 1 in the PST file \"/out/Zimbracontacts25.3.13 "
                    "14.30.05.pst\": RDOContactItem.Save: injected failure"}));

TEST_F(ExportFixture, AFailedRunReleasesItsSessionWithoutLoggingOff) {
    log->failOn = "RDOContactItem.Save";
    auto output = exportAt({March25, March25, {2013, 3, 25, 14, 30, 6}});
    output->open("/out/");
    EXPECT_THROW(writeContact(*output, contactNamed("A", "B"), 1), core::OutputError);
    output->abandon();
    EXPECT_TRUE(logged("RDOSession released"));
    EXPECT_FALSE(logged("RDOSession.Logoff()"));
    output->open("/out/");
    const auto released = std::find(log->lines.begin(), log->lines.end(), "RDOSession released");
    const auto created = std::find(released, log->lines.end(), "create Redemption.RDOSession");
    EXPECT_NE(released, log->lines.end());
    EXPECT_NE(created, log->lines.end());
    EXPECT_EQ(output->pstPath(), "/out/Zimbracontacts25.3.13 14.30.06.pst");
}

} // namespace
} // namespace plumbrae::testing
