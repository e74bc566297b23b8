#include "pst/ltp/property_context.h"

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/ltp_format.h"
#include "support/le_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace plumbrae::pst::ltp {
namespace {

/// Stores a variable or 8-byte value: in the heap when small enough, else in a new subnode.
std::uint32_t storeValue(HeapBuilder& heap, std::vector<ndb::Subnode>& subnodes,
                         std::uint32_t& nextSubnodeIndex, std::string_view value) {
    if (value.empty()) {
        return 0; // an empty value needs no allocation
    }
    if (value.size() <= MaxHeapAllocation) {
        return heap.allocate(value);
    }
    const auto nid = ndb::makeNid(ndb::NidType::Ltp, nextSubnodeIndex++);
    subnodes.push_back({nid, {ndb::splitIntoBlocks(value), {}}});
    return nid;
}

} // namespace

ndb::NodeContent buildPropertyContext(const std::vector<Property>& properties,
                                      std::vector<ndb::Subnode> extraSubnodes) {
    std::vector<PropertyView> views;
    views.reserve(properties.size());
    for (const auto& property : properties) {
        views.push_back({property.tag, property.value});
    }
    return buildPropertyContext(views, std::move(extraSubnodes));
}

ndb::NodeContent buildPropertyContext(std::span<const PropertyView> properties,
                                      std::vector<ndb::Subnode> extraSubnodes) {
    std::vector<const PropertyView*> sorted;
    sorted.reserve(properties.size());
    for (const auto& property : properties) {
        sorted.push_back(&property);
    }
    std::sort(sorted.begin(), sorted.end(), [](const PropertyView* a, const PropertyView* b) {
        return tagId(a->tag) < tagId(b->tag);
    });
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        if (tagId(sorted[i]->tag) == tagId(sorted[i - 1]->tag)) {
            throw std::invalid_argument("a property is set twice on one object");
        }
    }
    HeapBuilder heap(HeapClient::PropertyContext);
    // The B-tree header comes first (heap id 0x20), as in Outlook's own files.
    const auto header = heap.allocate(std::string(HeapBTreeHeaderSize, '\0'));
    ndb::NodeContent content;
    content.subnodes = std::move(extraSubnodes);
    std::uint32_t nextSubnodeIndex = 1;
    std::string records;
    records.reserve(sorted.size() * sizeof(PropertyRecord));
    for (const auto* property : sorted) {
        const auto type = tagType(property->tag);
        const auto size = fixedSize(type);
        std::uint32_t reference = 0;
        if (size != 0 && size <= 4) {
            std::array<char, 4> inlineValue{};
            std::copy_n(property->value.begin(), std::min<std::size_t>(property->value.size(), 4),
                        inlineValue.begin());
            reference = support::readLe32(std::string_view(inlineValue.data(), 4), 0);
        } else {
            reference = storeValue(heap, content.subnodes, nextSubnodeIndex, property->value);
        }
        ndb::appendRecord(records, PropertyRecord{tagId(property->tag),
                                                  static_cast<std::uint16_t>(type), reference});
    }
    heap.setUserRoot(buildHeapBTree(heap, 2, 6, records, header));
    content.blocks = heap.finish();
    return content;
}

} // namespace plumbrae::pst::ltp
