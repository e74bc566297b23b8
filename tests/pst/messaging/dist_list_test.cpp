// Distribution lists among the contacts of a store, read back by libpff (pst_dump.py) and the
// checker, which also refuses a list whose two member properties, checksum or members stream
// disagree.

#include "pst/messaging/pst_file.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using namespace pst::messaging;

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// A copy of `path` with the bytes at `at` replaced.
fs::path damaged(const fs::path& path, std::size_t at, const std::string& bytes) {
    auto data = bytesOf(path);
    data.replace(at, bytes.size(), bytes);
    const auto copy = path.parent_path() / ("damaged-" + std::to_string(at) + ".pst");
    std::ofstream(copy, std::ios::binary) << data;
    return copy;
}

std::string utf16(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(DistList, ReadersSeeEveryMemberInOrderAndTheCheckerItsFaults) {
    const TempDir dir;
    const auto path = dir.path() / "lists.pst";
    std::vector<DistList> lists = {{"Club \xF0\x9F\x93\x9A",
                                    {{"Lee, Ann", "SMTP", "ann@example.org"},
                                     {"", "SMTP", "bob@example.org"},
                                     {"\xE6\x9D\x8E\xE5\x8D\x8E", "SMTP", "li@example.cn"}}},
                                   {"Empty", {}},
                                   {"Large", {}}};
    for (int i = 0; i < 300; ++i) {
        lists[2].members.push_back(
            {"Member " + std::to_string(i), "SMTP", "m" + std::to_string(i) + "@example.org"});
    }
    {
        auto file = PstFile::create(path, "Lists");
        file->addContact(sampleContact(0));
        for (const auto& list : lists) {
            file->addDistList(list);
        }
        file->addContact(sampleContact(1));
        EXPECT_EQ(file->contactCount(), 5U);
        file->close();
    }
    EXPECT_EQ(pstFindings(path), "");
    std::string failure;
    const auto dump = pstReaderJson("pst_dump.py", path, &failure);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(dump["contacts"].size(), 2U);
    ASSERT_EQ(dump["dist_lists"].size(), lists.size());
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const auto& seen = dump["dist_lists"][i];
        for (const char* name : {"name", "subject", "display_name"}) {
            EXPECT_EQ(seen[name], lists[i].name) << name;
        }
        Json members = Json::array();
        for (const auto& member : lists[i].members) {
            members.push_back({member.displayName.empty() ? member.address : member.displayName,
                               member.addressType, member.address});
        }
        // A list too long for the member properties is whole in the members stream, the
        // properties holding as many leading members as fit; a shorter list has no stream.
        EXPECT_EQ(seen["one_off_members"], seen["members"]) << lists[i].name;
        const auto leading = static_cast<std::ptrdiff_t>(seen["members"].size());
        EXPECT_EQ(seen["members"], Json(members.begin(), members.begin() + leading));
        if (lists[i].members.size() < 300) {
            EXPECT_EQ(seen["members"], members) << lists[i].name;
            EXPECT_TRUE(seen["stream_members"].is_null()) << lists[i].name;
        } else {
            EXPECT_EQ(seen["stream_members"], members);
            EXPECT_GT(leading, 100); // about 15,000 bytes of ~100-byte members
        }
    }

    // The checksum, and one member's address in the second of its two copies.
    const auto data = bytesOf(path);
    const auto checksum = dump["dist_lists"][0]["checksum"].get<std::uint32_t>();
    const std::string checksumBytes = {
        static_cast<char>(checksum & 0xFF), static_cast<char>((checksum >> 8) & 0xFF),
        static_cast<char>((checksum >> 16) & 0xFF), static_cast<char>(checksum >> 24)};
    const auto at = data.find(checksumBytes);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(pstFindings(damaged(path, at, "\x01\x02\x03\x04")).find("checksum"),
              std::string::npos);
    const auto address = utf16("bob@example.org");
    const auto second = data.find(address, data.find(address) + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(pstFindings(damaged(path, second, "c")).find("member 2 differs between the member"),
              std::string::npos);
    // The last member, held by the stream alone, changed in its entry id but not in its one-off
    // form.
    const auto last = data.find(utf16("m299@example.org"));
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(pstFindings(damaged(path, last, "n")).find("stream does not hold member 300"),
              std::string::npos);
}

} // namespace
} // namespace plumbrae::testing
