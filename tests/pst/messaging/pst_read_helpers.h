#pragma once

// Reading back what the messaging layer wrote, for its tests: nodes through the test reader,
// property contexts parsed apart from the writer.

#include "pst/messaging/pst_file.h"
#include "pst/ndb/node_content.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace plumbrae::testing {

struct ReadNodeContent {
    std::vector<std::string> blocks;
    std::map<std::uint32_t, ReadNodeContent> subnodes;
};

/// Writes one node into a file in memory and reads it back (subnodes too).
ReadNodeContent writeAndReadNode(const pst::ndb::NodeContent& content);

/// Property id -> value bytes of a property context.
std::map<std::uint16_t, std::string> readPropertyContext(const ReadNodeContent& node);

/// The UTF-8 text of a string property ("" when absent).
std::string textOf(const std::map<std::uint16_t, std::string>& properties, std::uint16_t id);

/// Rows of the Contacts folder's contents table in a file on disk.
std::size_t countContacts(const std::filesystem::path& path);

/// A contact with every field set (one e-mail address missing).
pst::messaging::Contact sampleContactForTests();

std::uint16_t readLe16(std::string_view bytes, std::size_t at);
std::uint32_t readLe32(std::string_view bytes, std::size_t at);

} // namespace plumbrae::testing
