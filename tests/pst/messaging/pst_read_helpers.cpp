#include "tests/pst/messaging/pst_read_helpers.h"

#include "pst/ndb/node_database_writer.h"
#include "support/text.h"
#include "tests/pst/ndb/pst_test_reader.h"
#include "tests/support/temp_dir.h"

namespace plumbrae::testing {
namespace {

ReadNodeContent readBack(TestPstReader& reader, std::uint64_t dataBid, std::uint64_t subBid) {
    ReadNodeContent node{reader.nodeData(dataBid), {}};
    for (const auto& [nid, sub] : reader.subnodes(subBid)) {
        node.subnodes[nid] = readBack(reader, sub.dataBid, sub.subnodeBid);
    }
    return node;
}

std::string allocation(const std::vector<std::string>& blocks, std::uint32_t hid) {
    const auto& block = blocks.at(hid >> 16U);
    const auto index = (hid >> 5U) & 0x7FFU;
    const auto map = readLe16(block, 0);
    const auto start = readLe16(block, map + 4 + 2 * (index - 1));
    const auto end = readLe16(block, map + 4 + 2 * index);
    return block.substr(start, end - start);
}

std::string valueOf(const ReadNodeContent& node, std::uint32_t hnid) {
    if (hnid == 0) {
        return {};
    }
    if ((hnid & 0x1FU) != 0) {
        std::string joined;
        for (const auto& piece : node.subnodes.at(hnid).blocks) {
            joined += piece;
        }
        return joined;
    }
    return allocation(node.blocks, hnid);
}

} // namespace

std::uint16_t readLe16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(at)) |
                                      static_cast<std::uint8_t>(bytes.at(at + 1)) << 8U);
}
std::uint32_t readLe32(std::string_view bytes, std::size_t at) {
    return readLe16(bytes, at) | static_cast<std::uint32_t>(readLe16(bytes, at + 2)) << 16U;
}

ReadNodeContent writeAndReadNode(const pst::ndb::NodeContent& content) {
    pst::ndb::MemoryFile file;
    pst::ndb::NodeDatabaseWriter writer(file);
    writer.addNode(0x21, 0, content);
    writer.finish(1);
    TestPstReader reader(file.bytes());
    const auto& node = reader.nodes().at(0x21);
    return readBack(reader, node.dataBid, node.subnodeBid);
}

std::map<std::uint16_t, std::string> readPropertyContext(const ReadNodeContent& node) {
    std::map<std::uint16_t, std::string> out;
    const auto& first = node.blocks.at(0);
    const auto header = allocation(node.blocks, readLe32(first, 4));
    if (header.at(3) != 0) {
        throw std::runtime_error("property contexts of one leaf only");
    }
    const auto leaf = allocation(node.blocks, readLe32(header, 4));
    for (std::size_t at = 0; at + 8 <= leaf.size(); at += 8) {
        const auto id = readLe16(leaf, at);
        const auto type = readLe16(leaf, at + 2);
        const auto reference = readLe32(leaf, at + 4);
        switch (type) {
        case 0x0002:
            out[id] = leaf.substr(at + 4, 2);
            break;
        case 0x0003:
            out[id] = leaf.substr(at + 4, 4);
            break;
        case 0x000B:
            out[id] = leaf.substr(at + 4, 1);
            break;
        default:
            out[id] = valueOf(node, reference);
        }
    }
    return out;
}

std::string textOf(const std::map<std::uint16_t, std::string>& properties, std::uint16_t id) {
    const auto found = properties.find(id);
    if (found == properties.end()) {
        return {};
    }
    std::u16string units;
    for (std::size_t at = 0; at + 1 < found->second.size(); at += 2) {
        units.push_back(static_cast<char16_t>(readLe16(found->second, at)));
    }
    return support::fromUtf16(units);
}

std::size_t countContacts(const std::filesystem::path& path) {
    TestPstReader reader(readFile(path));
    std::size_t count = 0;
    for (const auto& [nid, node] : reader.nodes()) {
        count += (nid & 0x1FU) == 0x04 && node.parent == 0x8142 ? 1 : 0;
    }
    return count;
}

pst::messaging::Contact sampleContactForTests() {
    pst::messaging::Contact c;
    c.givenName = "Ann";
    c.middleName = "B";
    c.surname = "Lee";
    c.displayName = "Ann B Lee";
    c.jobTitle = "Engineer";
    c.companyName = "Acme Ωμέγα";
    c.businessTelephone = "1";
    c.businessFax = "2";
    c.homeTelephone = "3";
    c.homeFax = "4";
    c.mobileTelephone = "5";
    c.pager = "6";
    c.carTelephone = "7";
    c.workAddress = "1 Work St\nfloor 2";
    c.workStreet = "1 Work St";
    c.workCity = "Worktown";
    c.workState = "WS";
    c.workPostalCode = "11111";
    c.workCountry = "Workland";
    c.homeStreet = "2 Home Rd";
    c.homeCity = "Hometown";
    c.homeState = "HS";
    c.homePostalCode = "22222";
    c.homeCountry = "Homeland";
    c.email1 = "ann@example.org";
    c.email2 = "ann.lee@example.org";
    c.businessHomePage = "https://example.org";
    c.webPage = "https://example.org";
    c.imAddress = "im@example.org  ";
    c.categories = "Friends, Work,";
    c.department = "R&D";
    c.officeLocation = "Room 1";
    c.profession = "Builder";
    c.managerName = "Boss";
    c.assistantName = "Helper";
    c.displayNamePrefix = "Dr.";
    c.generation = "Jr.";
    c.spouse = "Sam \xF0\x9F\x98\x80";
    c.body = "line 1\nline 2";
    return c;
}

} // namespace plumbrae::testing
