// How much a commit writes. The node database's structures, checksums and signatures are checked
// in written files by the independent checker and the outside readers
// (tests/pst/messaging/reader_interop_test.cpp).

#include "pst/ndb/node_database.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

// A commit writes what changed: the new nodes' blocks, the B-tree pages above them and the
// allocation maps they touch, not the pages whose entries stayed; an unchanged data tree
// keeps its blocks, and one that grows at its end writes only its new blocks.
TEST(Commits, WriteOnlyWhatChanged) {
    pst::ndb::MemoryFile file;
    pst::ndb::NodeDatabase database;
    auto message = [](std::uint32_t i) {
        return pst::ndb::makeNid(pst::ndb::NidType::NormalMessage, 0x10001 + i);
    };
    auto content = [](std::uint32_t i) {
        return pst::ndb::NodeContent{{"contact " + std::to_string(i) + std::string(300, '.')}, {}};
    };
    std::vector<std::string> table(6, std::string(8000, 't'));
    for (std::uint32_t i = 0; i < 3000; ++i) {
        database.putNode(message(i), 0x8142, content(i));
    }
    database.putNode(0x814E, 0, {table, {}});
    database.commit(file, 1, false);
    database.putNode(0x814E, 0, {table, {}});
    for (std::uint32_t i = 3000; i < 3010; ++i) {
        database.putNode(message(i), 0x8142, content(i));
    }
    database.commit(file, 2, false);
    EXPECT_LE(database.lastCommitWrites(), 10U + 16U);
    table.back() = std::string(8000, 'u');
    table.emplace_back("tail");
    database.putNode(0x814E, 0, {table, {}});
    database.commit(file, 3, false);
    EXPECT_LE(database.lastCommitWrites(), 3U + 12U);
}

} // namespace
} // namespace plumbrae::testing
