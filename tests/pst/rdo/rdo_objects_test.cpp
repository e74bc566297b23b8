#include "automation/registry.h"
#include "automation/session_contract.h"
#include "pst/rdo/rdo_objects_p.h"
#include "pst/rdo/rdo_session.h"
#include "tests/pst/rdo/fake_pst_file.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using plumbrae::testing::PrintTo;

using automation::AutomationError;
using automation::ObjectPtr;
using automation::Variant;

std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const AutomationError& error) {
        return error.what();
    }
    return "no failure";
}

struct RdoFixture : ::testing::Test {
    TempDir dir;
    ObjectPtr session;
    std::string pstPath = dir.folder() + "Zimbracontacts1.2.09 9.5.07.pst";

    RdoFixture() {
        fakePstFiles().clear();
        pst::rdo::registerRdoSession();
        session = automation::createObject("Redemption.RDOSession");
    }

    ObjectPtr addStore() {
        session->call("Logon");
        return session->get("Stores")
            .toObject()
            ->call("AddPSTStore", {pstPath, 1, "Zimbra Contacts : Created - 1.2.09 9.5.07"})
            .toObject();
    }
    ObjectPtr newItem(const std::string& storeId) {
        return session->call("GetStoreFromID", {storeId})
            .toObject()
            ->call("GetDefaultFolder", {10})
            .toObject()
            ->get("Items")
            .toObject()
            ->call("Add", {2})
            .toObject();
    }
    FakePstRecord& file() { return fakePstFiles().at(pstPath); }
};

bool isDate(std::string_view name) {
    return name == "Birthday" || name == "Anniversary";
}

// Every property keeps its own value (no two share a field), reads back without regard to
// case, and the item is saved with its picture into the store it was made in.
TEST_F(RdoFixture, EveryPropertyKeepsItsValueAndTheItemIsSaved) {
    const ObjectPtr store = addStore();
    const std::string storeId = store->get("EntryID").toText();
    EXPECT_EQ(storeId, "0001ABCD");
    store->call("ValidateIPMTree");
    const ObjectPtr item = newItem(storeId);
    const auto& names = automation::contract::ContactPropertyNames;
    // Dates get a year of their own: 2000 + i.
    const auto value = [&](std::size_t i) {
        return isDate(names[i]) ? std::to_string(2000 + i) + "-01-01" : std::to_string(i);
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        item->put(names[i], value(i));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(item->get(names[i]), Variant(value(i))) << names[i];
    }
    EXPECT_EQ(item->get("lastname"), Variant("2"));
    const std::string picture = dir.write("photo.jpg", std::string("\xFF\xD8\x00\xFF", 4));
    item->call("AddPicture", {picture});
    item->call("Save");

    ASSERT_EQ(file().added.size(), 1U);
    EXPECT_EQ(file().displayName, "Zimbra Contacts : Created - 1.2.09 9.5.07");
    EXPECT_EQ(file().added[0].givenName, "0");
    ASSERT_TRUE(file().added[0].picture.has_value());
    EXPECT_EQ(file().added[0].picture->bytes, std::string("\xFF\xD8\x00\xFF", 4));
}

TEST_F(RdoFixture, AnExistingPathIsNeverReplaced) {
    dir.write("Zimbracontacts1.2.09 9.5.07.pst", "earlier run");
    EXPECT_EQ(failureOf([&] { addStore(); }), "RDOStores.AddPSTStore: cannot create \"" + pstPath +
                                                  "\": a file of that name already exists");
    EXPECT_EQ(readFile(pstPath), "earlier run");
}

TEST_F(RdoFixture, LogoffCommitsAndClosesTheStores) {
    const ObjectPtr store = addStore();
    newItem(store->get("EntryID").toText())->call("Save");
    session->call("Logoff");
    EXPECT_TRUE(file().closed);
    EXPECT_EQ(file().committedContacts, 1U);
    EXPECT_THROW(store->call("GetDefaultFolder", {10}), AutomationError);
    EXPECT_THROW(session->get("Stores"), AutomationError);
}

TEST_F(RdoFixture, ReleasingASessionWithoutLogoffOnlyCleansUp) {
    // Logoff is the final commit; releasing the session commits nothing more.
    const std::string storeId = addStore()->get("EntryID").toText();
    newItem(storeId)->call("Save");
    newItem(storeId); // never saved: not in the file
    session.reset();
    EXPECT_TRUE(file().destroyed);
    EXPECT_EQ(file().committedContacts, 0U);
    EXPECT_EQ(file().added.size(), 1U);
}

TEST_F(RdoFixture, AFailedCommitAtLogoffIsReported) {
    addStore();
    failNextFakeCommit();
    EXPECT_EQ(failureOf([&] { session->call("Logoff"); }),
              "RDOSession.Logoff: fake: disk full while committing " + pstPath);
}

struct MisuseCase {
    const char* name;
    std::function<void(RdoFixture&)> action;
    const char* message;
};

class RdoMisuse : public RdoFixture, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(RdoMisuse, FailsWithTheObjectMemberAndCause) {
    EXPECT_EQ(failureOf([&] { GetParam().action(*this); }), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Rdo, RdoMisuse,
    ::testing::Values(
        MisuseCase{"StoresBeforeLogon", [](RdoFixture& f) { f.session->get("Stores"); },
                   "RDOSession.Stores: the session is not logged on"},
        MisuseCase{
            "AnsiFormat",
            [](RdoFixture& f) {
                f.session->call("Logon");
                f.session->get("Stores").toObject()->call("AddPSTStore", {f.pstPath, 3, "x"});
            },
            "RDOStores.AddPSTStore: store format 3 is not supported (1 or 2: a Unicode "
            "PST file)"},
        MisuseCase{"UnknownStore",
                   [](RdoFixture& f) {
                       f.addStore();
                       f.session->call("GetStoreFromID", {"00"});
                   },
                   "RDOSession.GetStoreFromID: no store of this session has the entry id "
                   "\"00\""},
        MisuseCase{"InboxFolder",
                   [](RdoFixture& f) { f.addStore()->call("GetDefaultFolder", {6}); },
                   "RDOStore.GetDefaultFolder: default folder 6 is not available: this store "
                   "hands out its Contacts folder (10) only"},
        MisuseCase{"MailItem",
                   [](RdoFixture& f) {
                       f.addStore()
                           ->call("GetDefaultFolder", {10})
                           .toObject()
                           ->get("Items")
                           .toObject()
                           ->call("Add", {0});
                   },
                   "RDOItems.Add: item kind 0 is not supported: only contact items (2) can be "
                   "added"},
        MisuseCase{"UnknownProperty",
                   [](RdoFixture& f) {
                       f.newItem(f.addStore()->get("EntryID").toText())->put("Hobby", "x");
                   },
                   "RDOContactItem has no member \"Hobby\""},
        MisuseCase{"DateWithoutYear",
                   [](RdoFixture& f) {
                       f.newItem(f.addStore()->get("EntryID").toText())->put("Birthday", "--05-01");
                   },
                   "RDOContactItem.Birthday: \"--05-01\" is not a date written yyyy-mm-dd"},
        MisuseCase{"NumberForText",
                   [](RdoFixture& f) {
                       f.newItem(f.addStore()->get("EntryID").toText())->put("FirstName", 5);
                   },
                   "RDOContactItem.FirstName: type mismatch: expected text, got an integer"},
        MisuseCase{"MissingPicture",
                   [](RdoFixture& f) {
                       f.newItem(f.addStore()->get("EntryID").toText())
                           ->call("AddPicture", {"/nonexistent/p.jpg"});
                   },
                   "RDOContactItem.AddPicture: cannot read the picture \"/nonexistent/p.jpg\": "
                   "No such file or directory"},
        MisuseCase{"SavedTwice",
                   [](RdoFixture& f) {
                       const ObjectPtr item = f.newItem(f.addStore()->get("EntryID").toText());
                       item->call("Save");
                       item->call("Save");
                   },
                   "RDOContactItem.Save: the item was already saved"}),
    [](const ::testing::TestParamInfo<MisuseCase>& row) { return row.param.name; });

} // namespace
} // namespace plumbrae::testing
