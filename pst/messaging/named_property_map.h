#pragma once

// The name-to-id map (node 0x61): a property context listing every named property the store
// uses, so that property ids 0x8000 and up mean the same thing to every client.
//   0x0001  bucket count (251)
//   0x0002  GUID stream: the property sets beyond the two implicit ones, 16 bytes each
//   0x0003  entry stream: 8-byte records {id or string offset (4), (guid index << 1) | is-string
//           (2), record position (2)}; property id = 0x8000 + record position
//   0x0004  string stream: per name, its byte length (4) and UTF-16LE text, 4-byte aligned
//   0x1000 + b  hash buckets: the records whose (id or name CRC) ^ (guid index << 1 | is-string)
//               leaves b modulo 251, with the name's CRC in place of its string offset

#include "pst/ltp/property_value.h"
#include "pst/ndb/node_content.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace plumbrae::pst::messaging {

using Guid = std::array<std::uint8_t, 16>;

/// The contact properties' set, {00062004-0000-0000-C000-000000000046}.
inline constexpr Guid AddressPropertySet = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
/// {00020329-0000-0000-C000-000000000046}, implicit in every map.
inline constexpr Guid PublicStringsPropertySet = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
/// {00020328-0000-0000-C000-000000000046}, implicit in every map.
inline constexpr Guid MapiPropertySet = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

inline constexpr std::uint32_t NameBucketCount = 251;

/// Hands out property ids for named properties and builds the map node.
class NamedPropertyMap {
public:
    /// The property id of a numeric named property, adding it on first use.
    std::uint16_t idFor(const Guid& set, std::uint32_t lid);
    /// The property id of a string named property (UTF-8 name), adding it on first use.
    std::uint16_t idFor(const Guid& set, const std::string& name);

    [[nodiscard]] ndb::NodeContent build() const;
    [[nodiscard]] std::size_t size() const { return m_entries.size(); }

    /// The hash bucket a record falls into, given its id (or the name's CRC) and its
    /// (guid index << 1) | is-string field.
    static std::uint32_t bucketOf(std::uint32_t idOrCrc, std::uint16_t guidField);

private:
    struct Entry {
        std::uint16_t guidIndex;
        bool isString;
        std::uint32_t lid;
        std::string name;
    };
    std::uint16_t guidIndex(const Guid& set);

    std::vector<Guid> m_guids; // index 3 onwards
    std::vector<Entry> m_entries;
    std::map<std::pair<std::uint16_t, std::uint32_t>, std::uint16_t> m_byLid;
    std::map<std::pair<std::uint16_t, std::string>, std::uint16_t> m_byName;
};

} // namespace plumbrae::pst::messaging
