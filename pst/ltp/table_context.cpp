#include "pst/ltp/table_context.h"

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/ltp_format.h"
#include "support/le_writer.h"

#include <algorithm>
#include <stdexcept>

namespace plumbrae::pst::ltp {
namespace {

constexpr std::uint8_t TableSignature = 0x7C;

std::uint8_t cellSize(PropertyTag tag) {
    const auto size = fixedSize(tagType(tag));
    return static_cast<std::uint8_t>(size == 0 ? 4 : size);
}

} // namespace

TableBuilder::TableBuilder(const std::vector<PropertyTag>& columns)
    : m_rowIndexHeader(m_values.allocate(std::string(HeapBTreeHeaderSize, '\0'))) {
    std::vector<PropertyTag> tags = columns;
    for (const auto required : {RowIdTag, RowVersionTag}) {
        if (std::find(tags.begin(), tags.end(), required) == tags.end()) {
            tags.push_back(required);
        }
    }
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    for (const auto tag : tags) {
        m_columns.push_back({tag, 0, cellSize(tag), 0});
    }
    // Row id and version come first, at offsets 0 and 4 with bits 0 and 1; the other cells
    // follow band by band (4/8-byte, 2-byte, 1-byte).
    std::vector<Column*> order;
    for (auto& column : m_columns) {
        if (column.tag == RowIdTag || column.tag == RowVersionTag) {
            order.push_back(&column);
        }
    }
    std::sort(order.begin(), order.end(), [](const Column* a, const Column* b) {
        return (a->tag == RowIdTag) && (b->tag != RowIdTag);
    });
    for (const int band : {8, 4, 2, 1}) {
        for (auto& column : m_columns) {
            if (column.size == band && column.tag != RowIdTag && column.tag != RowVersionTag) {
                order.push_back(&column);
            }
        }
    }
    std::uint16_t offset = 0;
    std::uint8_t bit = 0;
    for (auto* column : order) {
        column->offset = offset;
        column->bit = bit++;
        offset = static_cast<std::uint16_t>(offset + column->size);
        if (column->size >= 4) {
            m_bandEnds[0] = offset;
        }
        if (column->size >= 2) {
            m_bandEnds[1] = offset;
        }
        m_bandEnds[2] = offset;
    }
    m_rowSize = offset + (m_columns.size() + 7) / 8;
    m_bandEnds[3] = static_cast<std::uint16_t>(m_rowSize);
}

void TableBuilder::addRow(std::uint32_t rowId, const std::vector<Property>& cells) {
    std::string row(m_rowSize, '\0');
    const auto bitmapAt = m_bandEnds[2];
    auto setBit = [&](const Column& column) {
        auto& byte = row[bitmapAt + column.bit / 8U];
        byte = static_cast<char>(byte | (0x80 >> (column.bit % 8U)));
    };
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        row.replace(at, 4, support::LeWriter().u32(value).str());
    };
    for (const auto& column : m_columns) {
        if (column.tag == RowIdTag) {
            put32(column.offset, rowId);
            setBit(column);
        } else if (column.tag == RowVersionTag) {
            setBit(column);
        }
    }
    for (const auto& cell : cells) {
        const auto column =
            std::lower_bound(m_columns.begin(), m_columns.end(), cell.tag,
                             [](const Column& a, PropertyTag tag) { return a.tag < tag; });
        if (column == m_columns.end() || column->tag != cell.tag || cell.tag == RowIdTag ||
            cell.tag == RowVersionTag) {
            continue;
        }
        if (fixedSize(tagType(column->tag)) != 0) {
            std::string value = cell.value;
            value.resize(column->size, '\0');
            row.replace(column->offset, column->size, value);
        } else if (cell.value.empty()) {
            put32(column->offset, 0); // an empty value needs no allocation
        } else if (cell.value.size() <= MaxHeapAllocation) {
            put32(column->offset, m_values.allocate(cell.value));
        } else {
            const auto nid =
                ndb::makeNid(ndb::NidType::Ltp, static_cast<std::uint32_t>(m_bigValues.size() + 1));
            m_bigValues.push_back({nid, {ndb::splitIntoBlocks(cell.value), {}}});
            put32(column->offset, nid);
        }
        setBit(*column);
    }
    if (!m_index.empty() && m_index.back().first > rowId) {
        m_indexSorted = false;
    }
    m_index.emplace_back(rowId, static_cast<std::uint32_t>(m_index.size()));
    m_matrix.append(row);
}

ndb::NodeContent TableBuilder::finish() const {
    HeapBuilder heap = m_values;
    ndb::NodeContent content;
    content.subnodes = m_bigValues;
    std::uint32_t rowsReference = 0;
    if (!m_matrix.empty() && m_matrix.size() <= MaxHeapAllocation) {
        rowsReference = heap.allocate(m_matrix);
    } else if (!m_matrix.empty()) {
        // Rows never straddle blocks: each block holds as many whole rows as fit and is
        // padded to a full block, so that row n sits in block n / perBlock for every reader,
        // whether it reads block by block or the blocks one after another.
        const auto perBlock = (ndb::MaxBlockData / m_rowSize) * m_rowSize;
        std::vector<std::string> blocks;
        for (std::size_t at = 0; at < m_matrix.size(); at += perBlock) {
            blocks.push_back(m_matrix.substr(at, perBlock));
            if (at + perBlock < m_matrix.size()) {
                blocks.back().resize(ndb::MaxBlockData, '\0');
            }
        }
        rowsReference =
            ndb::makeNid(ndb::NidType::Ltp, static_cast<std::uint32_t>(m_bigValues.size() + 1));
        content.subnodes.push_back({rowsReference, {std::move(blocks), {}}});
    }
    auto index = m_index;
    if (!m_indexSorted) {
        std::sort(index.begin(), index.end());
    }
    std::vector<std::string> records;
    records.reserve(index.size());
    for (const auto& [id, position] : index) {
        records.push_back(ndb::recordBytes(RowIndexRecord{id, position}));
    }
    const auto rowIndex = buildHeapBTree(heap, 4, 4, records, m_rowIndexHeader);

    TableInfoHeader head{TableSignature,
                         static_cast<std::uint8_t>(m_columns.size()),
                         {},
                         rowIndex,
                         rowsReference,
                         0};
    std::copy(std::begin(m_bandEnds), std::end(m_bandEnds), std::begin(head.bandEnds));
    auto info = ndb::recordBytes(head);
    for (const auto& column : m_columns) {
        ndb::appendRecord(
            info, TableColumnDescriptor{column.tag, column.offset, column.size, column.bit});
    }
    heap.setUserRoot(heap.allocate(info));
    content.blocks = heap.finish();
    return content;
}

} // namespace plumbrae::pst::ltp
