#include "pst/ltp/table_context.h"

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/ltp_format.h"
#include "support/le_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace plumbrae::pst::ltp {
namespace {

constexpr std::uint8_t TableSignature = 0x7C;
static_assert(sizeof(RowIndexRecord) == 8);

/// Takes back, when it goes, what was allocated in a heap after it was made.
class HeapRollback {
public:
    explicit HeapRollback(HeapBuilder& heap) : m_heap(heap), m_mark(heap.mark()) {}
    ~HeapRollback() { m_heap.rollback(m_mark); }
    HeapRollback(const HeapRollback&) = delete;
    HeapRollback& operator=(const HeapRollback&) = delete;

private:
    HeapBuilder& m_heap;
    HeapBuilder::Mark m_mark;
};

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
        for (std::size_t i = 0; i < 4; ++i, value >>= 8U) {
            row[at + i] = static_cast<char>(value & 0xFFU);
        }
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
            // The value's bytes, cut or padded with zeros to the cell's size.
            const auto cellBytes = std::min<std::size_t>(cell.value.size(), column->size);
            std::copy_n(cell.value.begin(), cellBytes, row.begin() + column->offset);
            std::fill_n(row.begin() + column->offset + static_cast<std::ptrdiff_t>(cellBytes),
                        column->size - cellBytes, '\0');
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
    if (!m_rowIndex.empty() &&
        support::readLe32(m_rowIndex, m_rowIndex.size() - RowIndexRecordSize) > rowId) {
        m_indexSorted = false;
    }
    ndb::appendRecord(m_rowIndex, RowIndexRecord{rowId, static_cast<std::uint32_t>(rowCount())});
    m_rows.append(row);
}

std::vector<ndb::DataBlock> TableBuilder::matrixBlocks() const {
    // Rows never straddle blocks: each block holds as many whole rows as fit and is padded to a
    // full block, so that row n sits in block n / perBlock for every reader, whether it reads
    // block by block or the blocks one after another. Only the last block is not padded.
    const auto perBlock = rowsPerBlock() * m_rowSize;
    std::vector<ndb::DataBlock> blocks;
    blocks.reserve(m_keptRows.size() + m_rows.size() / perBlock + 1);
    for (const auto& print : m_keptRows) {
        blocks.emplace_back(print);
    }
    for (std::size_t at = 0; at < m_rows.size(); at += perBlock) {
        std::string block = m_rows.substr(at, perBlock);
        if (at + perBlock < m_rows.size()) {
            block.resize(ndb::MaxBlockData, '\0');
        }
        blocks.emplace_back(std::move(block));
    }
    return blocks;
}

std::string TableBuilder::sortedRowIndex() const {
    std::vector<RowIndexRecord> records(rowCount());
    std::memcpy(records.data(), m_rowIndex.data(), m_rowIndex.size());
    std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.rowId != b.rowId ? a.rowId < b.rowId : a.position < b.position;
    });
    std::string sorted(m_rowIndex.size(), '\0');
    std::memcpy(sorted.data(), records.data(), sorted.size());
    return sorted;
}

ndb::NodeContent TableBuilder::finish() {
    // The matrix (while small), the row index and the table's description go into the heap
    // after the values for this build only: the values of rows added later follow the ones
    // there are now, as they do when every row is added before the first build.
    const HeapRollback rollback(m_values);
    ndb::NodeContent content;
    content.subnodes = m_bigValues;
    std::uint32_t rowsReference = 0;
    const auto matrixSize = rowCount() * m_rowSize;
    if (matrixSize != 0 && matrixSize <= MaxHeapAllocation) {
        rowsReference = m_values.allocate(m_rows);
    } else if (matrixSize != 0) {
        rowsReference =
            ndb::makeNid(ndb::NidType::Ltp, static_cast<std::uint32_t>(m_bigValues.size() + 1));
        content.subnodes.push_back({rowsReference, {matrixBlocks(), {}}});
    }
    const std::string sorted = m_indexSorted ? std::string() : sortedRowIndex();
    const auto rowIndex = buildHeapBTree(
        m_values, 4, 4, m_indexSorted ? std::string_view(m_rowIndex) : sorted, m_rowIndexHeader);

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
    m_values.setUserRoot(m_values.allocate(info));
    content.blocks = m_values.finish();
    return content;
}

void TableBuilder::committed() {
    // Every value page but the last is full; so is every matrix block that more rows follow.
    m_values.freezePages(m_values.pageCount() - 1);
    if (rowCount() * m_rowSize > MaxHeapAllocation) {
        const auto perBlock = rowsPerBlock() * m_rowSize;
        std::size_t at = 0;
        for (; m_rows.size() - at > perBlock; at += perBlock) {
            std::string block = m_rows.substr(at, perBlock);
            block.resize(ndb::MaxBlockData, '\0');
            m_keptRows.push_back(ndb::blockPrint(block));
        }
        m_rows.erase(0, at);
    }
    for (auto& value : m_bigValues) {
        for (auto& block : value.content.blocks) {
            if (!block.kept) {
                block = ndb::DataBlock(ndb::blockPrint(block.bytes));
            }
        }
    }
}

} // namespace plumbrae::pst::ltp
