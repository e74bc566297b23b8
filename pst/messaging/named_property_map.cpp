#include "pst/messaging/named_property_map.h"

#include "pst/ltp/property_context.h"
#include "support/crc32.h"
#include "support/le_writer.h"

#include <array>
#include <cstring>
#include <stdexcept>

namespace plumbrae::pst::messaging {
namespace {

constexpr std::uint16_t MapiGuidIndex = 1;
constexpr std::uint16_t PublicStringsGuidIndex = 2;
constexpr std::uint16_t FirstStreamGuidIndex = 3;
constexpr std::uint16_t FirstNamedId = 0x8000;
constexpr std::size_t MaxNamedProperties = 0x7FFF;

constexpr std::uint16_t BucketCountId = 0x0001;
constexpr std::uint16_t GuidStreamId = 0x0002;
constexpr std::uint16_t EntryStreamId = 0x0003;
constexpr std::uint16_t StringStreamId = 0x0004;
constexpr std::uint16_t FirstBucketId = 0x1000;

/// Two GUIDs compared as two 64-bit words: every named property a message sets looks its set up.
bool sameGuid(const Guid& a, const Guid& b) {
    std::array<std::uint64_t, 2> left{};
    std::array<std::uint64_t, 2> right{};
    static_assert(sizeof left == sizeof(Guid));
    std::memcpy(left.data(), a.data(), sizeof left);
    std::memcpy(right.data(), b.data(), sizeof right);
    return left == right;
}

} // namespace

std::uint32_t NamedPropertyMap::bucketOf(std::uint32_t idOrCrc, std::uint16_t guidField) {
    return (idOrCrc ^ guidField) % NameBucketCount;
}

std::uint16_t NamedPropertyMap::guidIndex(const Guid& set) {
    if (sameGuid(set, MapiPropertySet)) {
        return MapiGuidIndex;
    }
    if (sameGuid(set, PublicStringsPropertySet)) {
        return PublicStringsGuidIndex;
    }
    for (std::size_t i = 0; i < m_guids.size(); ++i) {
        if (sameGuid(m_guids[i], set)) {
            return static_cast<std::uint16_t>(FirstStreamGuidIndex + i);
        }
    }
    m_guids.push_back(set);
    return static_cast<std::uint16_t>(FirstStreamGuidIndex + m_guids.size() - 1);
}

std::uint16_t NamedPropertyMap::idFor(const Guid& set, std::uint32_t lid) {
    const auto guid = guidIndex(set);
    const auto found = m_byLid.find({guid, lid});
    if (found != m_byLid.end()) {
        return found->second;
    }
    if (m_entries.size() >= MaxNamedProperties) {
        throw std::length_error("too many named properties");
    }
    const auto id = static_cast<std::uint16_t>(FirstNamedId + m_entries.size());
    m_entries.push_back({guid, false, lid, {}});
    m_byLid.emplace(std::make_pair(guid, lid), id);
    return id;
}

std::uint16_t NamedPropertyMap::idFor(const Guid& set, const std::string& name) {
    const auto guid = guidIndex(set);
    const auto found = m_byName.find({guid, name});
    if (found != m_byName.end()) {
        return found->second;
    }
    if (m_entries.size() >= MaxNamedProperties) {
        throw std::length_error("too many named properties");
    }
    const auto id = static_cast<std::uint16_t>(FirstNamedId + m_entries.size());
    m_entries.push_back({guid, true, 0, name});
    m_byName.emplace(std::make_pair(guid, name), id);
    return id;
}

ndb::NodeContent NamedPropertyMap::build() const {
    std::string guids;
    for (const auto& guid : m_guids) {
        guids.append(guid.begin(), guid.end());
    }
    std::string entries;
    std::string strings;
    std::map<std::uint32_t, std::string> buckets;
    for (std::size_t position = 0; position < m_entries.size(); ++position) {
        const auto& entry = m_entries[position];
        const auto field =
            static_cast<std::uint16_t>((entry.guidIndex << 1U) | (entry.isString ? 1U : 0U));
        std::uint32_t streamValue = entry.lid;
        std::uint32_t hashValue = entry.lid;
        if (entry.isString) {
            const auto text = ltp::stringValue(entry.name);
            streamValue = static_cast<std::uint32_t>(strings.size());
            hashValue = support::pstCrc32(text);
            support::LeWriter(strings).u32(static_cast<std::uint32_t>(text.size())).bytes(text);
            strings.resize((strings.size() + 3) / 4 * 4, '\0');
        }
        const auto index = static_cast<std::uint16_t>(position);
        support::LeWriter(entries).u32(streamValue).u16(field).u16(index);
        support::LeWriter(buckets[bucketOf(hashValue, field)]).u32(hashValue).u16(field).u16(index);
    }
    std::vector<ltp::Property> properties;
    properties.push_back({ltp::makeTag(BucketCountId, ltp::PropertyType::Int32),
                          ltp::int32Value(static_cast<std::int32_t>(NameBucketCount))});
    properties.push_back({ltp::makeTag(GuidStreamId, ltp::PropertyType::Binary), guids});
    properties.push_back({ltp::makeTag(EntryStreamId, ltp::PropertyType::Binary), entries});
    properties.push_back({ltp::makeTag(StringStreamId, ltp::PropertyType::Binary), strings});
    for (auto& [bucket, records] : buckets) {
        properties.push_back({ltp::makeTag(static_cast<std::uint16_t>(FirstBucketId + bucket),
                                           ltp::PropertyType::Binary),
                              std::move(records)});
    }
    return ltp::buildPropertyContext(properties);
}

} // namespace plumbrae::pst::messaging
