// The object model over the real PST writer; what reaches the file is read back by libpff.

#include "automation/registry.h"
#include "automation/session_contract.h"
#include "pst/rdo/rdo_session.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/support/temp_dir.h"

#include <cctype>
#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using automation::AutomationError;
using automation::ObjectPtr;
using automation::Variant;

struct RdoFixture : ::testing::Test {
    TempDir dir;
    ObjectPtr session;
    std::string pstPath = dir.folder() + "Zimbracontacts1.2.09 9.5.07.pst";
    const char* storeName = "Zimbra Contacts : Created - 1.2.09 9.5.07";

    RdoFixture() {
        pst::rdo::registerRdoSession();
        session = automation::createObject(std::string(automation::contract::SessionProgId));
    }
    ObjectPtr addStore(int format = 1) {
        session->call("Logon");
        const ObjectPtr stores = session->get("Stores").toObject();
        return stores->call("AddPSTStore", {pstPath, format, storeName}).toObject();
    }
    static ObjectPtr newItem(const ObjectPtr& store) {
        const ObjectPtr folder = store->call("GetDefaultFolder", {10}).toObject();
        return folder->get("Items").toObject()->call("Add", {2}).toObject();
    }
    static std::string failureOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const AutomationError& error) {
            return error.what();
        }
        return "no failure";
    }
};

// Logoff writes the saved item (its properties named in any case, its picture) and closes the
// store; an item never saved is not written. Every property's place in the file is checked by
// the conversion's outside-reader test (tests/writers).
TEST_F(RdoFixture, LogoffWritesTheSavedItemAndClosesTheStore) {
    const ObjectPtr store =
        session->call("GetStoreFromID", {addStore()->get("EntryID")}).toObject();
    EXPECT_EQ(store->get("DisplayName"), Variant(storeName));
    store->call("ValidateIPMTree");
    const ObjectPtr item = newItem(store);
    item->put("fIRSTnAME", "Ann");
    item->call("AddPicture", {dir.write("photo.jpg", std::string("\xFF\xD8\x00\xFF", 4)).string()});
    item->call("Save");
    newItem(store); // never saved: not in the file
    session->call("Logoff");
    const auto contacts = libpffContacts(pstPath);
    ASSERT_EQ(contacts.size(), 1U);
    EXPECT_EQ(contacts[0]["given_name"], "Ann");
    EXPECT_EQ(contacts[0]["attachments"][0]["size"], 4);
    EXPECT_THROW(store->call("GetDefaultFolder", {10}), AutomationError);
    EXPECT_THROW(session->get("Stores"), AutomationError);
}

// A distribution list is added by its message class among the contacts; its members, added by
// name, address and type, reach the file in order.
TEST_F(RdoFixture, SavesADistributionListWithItsMembers) {
    const ObjectPtr store = addStore();
    const ObjectPtr items =
        store->call("GetDefaultFolder", {10}).toObject()->get("Items").toObject();
    const ObjectPtr list = items->call("Add", {"ipm.distlist"}).toObject();
    list->put("DLName", "Club");
    list->call("AddMemberEx", {"Ann Lee", "ann@x", "SMTP"});
    list->call("AddMemberEx", {"", "bob@x", "SMTP"});
    EXPECT_EQ(list->get("MemberCount"), Variant(2));
    EXPECT_EQ(list->get("MessageClass"), Variant("IPM.DistList"));
    list->call("Save");
    newItem(store)->call("Save");
    EXPECT_EQ(items->get("Count"), Variant(2));
    EXPECT_EQ(failureOf([&] { items->call("Add", {"IPM.Note"}); }).substr(0, 30),
              "RDOItems.Add: items of class \"");
    EXPECT_EQ(failureOf([&] {
                  list->call("AddMemberEx", {"a", "b"});
              }).substr(0, 27),
              "RDODistListItem.AddMemberEx");
    session->call("Logoff");
    const auto dump = pstReaderJson("pst_dump.py", pstPath);
    ASSERT_EQ(dump["dist_lists"].size(), 1U);
    EXPECT_EQ(
        dump["dist_lists"][0]["members"],
        nlohmann::json::parse(R"([["Ann Lee", "SMTP", "ann@x"], ["bob@x", "SMTP", "bob@x"]])"));
    EXPECT_EQ(dump["contacts"].size(), 1U);
}

TEST_F(RdoFixture, ReleasingASessionWithoutLogoffOnlyCleansUp) {
    newItem(addStore())->call("Save");
    session.reset();
    EXPECT_EQ(libpffContacts(pstPath).size(), 0U);
}

// Misuse fails naming the object, the member and the cause, and changes nothing: an existing
// file stays as it was, a failed call adds no item.
TEST_F(RdoFixture, MisuseFailsWithTheObjectMemberAndCause) {
    EXPECT_EQ(failureOf([&] { session->get("Stores"); }),
              "RDOSession.Stores: the session is not logged on");
    dir.write("Zimbracontacts1.2.09 9.5.07.pst", "earlier run");
    EXPECT_EQ(failureOf([&] { addStore(); }), "RDOStores.AddPSTStore: cannot create \"" + pstPath +
                                                  "\": a file of that name already exists");
    EXPECT_EQ(readFile(pstPath), "earlier run");
    std::filesystem::remove(pstPath);
    const ObjectPtr item = newItem(addStore());
    const std::vector<std::pair<std::function<void()>, std::string>> failures = {
        {[&] { addStore(3); }, "RDOStores.AddPSTStore: store format 3"},
        {[&] { session->call("GetStoreFromID", {"00"}); }, "RDOSession.GetStoreFromID: no store"},
        {[&] { item->put("Birthday", "--05-01"); }, "RDOContactItem.Birthday: "},
        {[&] { item->call("AddPicture", {"/no/p.jpg"}); },
         "RDOContactItem.AddPicture: cannot read the picture \"/no/p.jpg\": No such file"},
        {[&] { item->call("Save"), item->call("Save"); }, "RDOContactItem.Save: "},
        {[&] { session->get("Nope"); }, "RDOSession has no member \"Nope\""},
        {[&] { item->call("AddPicture"); }, "RDOContactItem.AddPicture: AddPicture takes 1 "},
        {[&] { item->call("AddPicture", {5}); },
         "RDOContactItem.AddPicture: type mismatch: expected text"},
        {[&] { (void)Variant(ObjectPtr{}).toObject(); }, "type mismatch"}};
    for (const auto& [action, failure] : failures) {
        EXPECT_EQ(failureOf(action).substr(0, failure.size()), failure);
    }
    session->call("Logoff");
    EXPECT_EQ(libpffContacts(pstPath).size(), 1U);
}

// Objects are made by the factory registered under their ProgID, in any case; a failure names
// the ProgID and the cause, and a registration made for a while restores the one before.
TEST(AutomationRegistry, CreatesRegisteredClassesAndReportsFailuresWithTheProgId) {
    EXPECT_FALSE(automation::sameMemberName("a@", "a`"));
    EXPECT_EQ(RdoFixture::failureOf([] { automation::createObject("Test.Nothing"); }),
              "cannot create object \"Test.Nothing\": no class is registered under that name");
    pst::rdo::registerRdoSession();
    const auto progId = std::string(automation::contract::SessionProgId);
    std::string otherCase = progId;
    for (char& c : otherCase) {
        c = static_cast<char>(std::isupper(c) != 0 ? std::tolower(c) : std::toupper(c));
    }
    auto first = automation::createObject(otherCase);
    EXPECT_NE(first, automation::createObject(progId));
    {
        const automation::ScopedRegistration replaced(
            progId, []() -> ObjectPtr { throw std::runtime_error("no profile"); });
        EXPECT_EQ(RdoFixture::failureOf([&] { automation::createObject(progId); }),
                  "cannot create object \"" + progId + "\": no profile");
        const automation::ScopedRegistration empty(progId, [] { return ObjectPtr{}; });
        EXPECT_THROW(automation::createObject(progId), AutomationError);
    }
    EXPECT_EQ(automation::createObject(progId)->className(), "RDOSession");
    automation::unregisterFactory(progId);
    EXPECT_THROW(automation::createObject(progId), AutomationError);
}

} // namespace
} // namespace plumbrae::testing
