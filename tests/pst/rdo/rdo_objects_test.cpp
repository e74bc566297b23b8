// The object model over the real PST writer; what reaches the file is read back by libpff.

#include "automation/registry.h"
#include "automation/session_contract.h"
#include "pst/rdo/rdo_session.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

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
    nlohmann::json contactsInFile() const {
        return pstReaderJson("pst_dump.py", pstPath)["contacts"];
    }
};

// Every property keeps its own value (no two share a field) and reads back without regard to
// case; Logoff writes the saved item with its picture and closes the store.
TEST_F(RdoFixture, EveryPropertyKeepsItsValueAndLogoffWritesTheSavedItem) {
    const ObjectPtr store = addStore();
    EXPECT_EQ(store->get("DisplayName"), Variant("Zimbra Contacts : Created - 1.2.09 9.5.07"));
    store->call("ValidateIPMTree");
    const ObjectPtr item = newItem(store->get("EntryID").toText());
    const auto& names = automation::contract::ContactPropertyNames;
    const auto value = [&](std::size_t i) {
        const bool date = names[i] == "Birthday" || names[i] == "Anniversary";
        return date ? std::to_string(2000 + i) + "-01-01" : std::to_string(i);
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        item->put(names[i], value(i));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(item->get(names[i]), Variant(value(i))) << names[i];
    }
    EXPECT_EQ(item->get("lastname"), Variant("2"));
    item->call("AddPicture", {dir.write("photo.jpg", std::string("\xFF\xD8\x00\xFF", 4)).string()});
    item->call("Save");
    newItem(store->get("EntryID").toText()); // never saved: not in the file
    session->call("Logoff");
    const auto contacts = contactsInFile();
    ASSERT_EQ(contacts.size(), 1U);
    EXPECT_EQ(contacts[0]["given_name"], "0");
    EXPECT_EQ(contacts[0]["attachments"][0]["size"], 4);
    EXPECT_THROW(store->call("GetDefaultFolder", {10}), AutomationError);
    EXPECT_THROW(session->get("Stores"), AutomationError);
}

TEST_F(RdoFixture, ReleasingASessionWithoutLogoffOnlyCleansUp) {
    newItem(addStore()->get("EntryID").toText())->call("Save");
    session.reset();
    EXPECT_EQ(contactsInFile().size(), 0U);
}

TEST_F(RdoFixture, AnExistingPathIsNeverReplaced) {
    dir.write("Zimbracontacts1.2.09 9.5.07.pst", "earlier run");
    EXPECT_EQ(failureOf([&] { addStore(); }), "RDOStores.AddPSTStore: cannot create \"" + pstPath +
                                                  "\": a file of that name already exists");
    EXPECT_EQ(readFile(pstPath), "earlier run");
}

// Misuse fails naming the object, the member and the cause, and changes nothing.
TEST_F(RdoFixture, MisuseFailsWithTheObjectMemberAndCause) {
    EXPECT_EQ(failureOf([&] { session->get("Stores"); }),
              "RDOSession.Stores: the session is not logged on");
    session->call("Logon");
    const ObjectPtr stores = session->get("Stores").toObject();
    EXPECT_EQ(
        failureOf([&] {
            stores->call("AddPSTStore", {pstPath, 3, "x"});
        }),
        "RDOStores.AddPSTStore: store format 3 is not supported (1 or 2: a Unicode PST file)");
    const std::string storeId = addStore()->get("EntryID").toText();
    EXPECT_EQ(failureOf([&] { session->call("GetStoreFromID", {"00"}); }),
              "RDOSession.GetStoreFromID: no store of this session has the entry id \"00\"");
    const ObjectPtr item = newItem(storeId);
    EXPECT_EQ(failureOf([&] { item->put("Birthday", "--05-01"); }),
              "RDOContactItem.Birthday: \"--05-01\" is not a date written yyyy-mm-dd");
    EXPECT_EQ(failureOf([&] { item->call("AddPicture", {"/nonexistent/p.jpg"}); }),
              "RDOContactItem.AddPicture: cannot read the picture \"/nonexistent/p.jpg\": No such "
              "file or directory");
    item->call("Save");
    EXPECT_EQ(failureOf([&] { item->call("Save"); }),
              "RDOContactItem.Save: the item was already saved");
    session->call("Logoff");
    EXPECT_EQ(contactsInFile().size(), 1U);
}

} // namespace
} // namespace plumbrae::testing
