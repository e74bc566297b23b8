#pragma once

// A table context: a heap (client signature 0x7C) whose user root is the table description
//   {0x7C, column count, end offsets of the 4/8-byte, 2-byte and 1-byte cell bands and of the
//    whole row, row-index B-tree, row matrix reference, 0, column descriptors sorted by tag}
// Each row is the fixed cells band by band, then a bitmap saying which cells exist. Variable
// cells hold a heap id (or subnode id) of the value. The row matrix sits in the heap when it
// is small, otherwise in a subnode whose blocks are full (8176 bytes) but the last, each
// holding as many whole rows as fit, the rest unused. The row index maps a row id to the row's
// position; its B-tree header is the heap's first allocation.

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/property_value.h"
#include "pst/ndb/node_content.h"

#include <cstdint>
#include <vector>

namespace plumbrae::pst::ltp {

inline constexpr PropertyTag RowIdTag = 0x67F20003;
inline constexpr PropertyTag RowVersionTag = 0x67F30003;

/// Collects rows, then builds the node content; rows can be added after a build and the table
/// built again. The row id and row version columns are always present; the row id cell of
/// each row is its id, the version cell is left at zero.
///
/// Each row is stored as it will be written when it is added, its variable values already in
/// the heap, so that building the table again after more rows costs copies, not per-row work.
/// Once a build is committed, the heap pages and row-matrix blocks that more rows can no longer
/// change are kept only by their print (see ndb::DataBlock): a table that grows commit after
/// commit holds its last blocks and the row index in memory, not every row.
class TableBuilder {
public:
    explicit TableBuilder(const std::vector<PropertyTag>& columns);

    /// Adds a row. Cells whose tag is not a column are ignored; missing cells do not exist.
    void addRow(std::uint32_t rowId, const std::vector<Property>& cells);

    [[nodiscard]] ndb::NodeContent finish();
    /// The content the last finish() made is now the table's node in the file, and rows are
    /// added after it: what they cannot change is let go. Only for a table whose every build
    /// is committed as its node.
    void committed();

    [[nodiscard]] std::size_t rowSize() const { return m_rowSize; }
    [[nodiscard]] std::size_t rowCount() const { return m_rowIndex.size() / RowIndexRecordSize; }

private:
    struct Column {
        PropertyTag tag;
        std::uint16_t offset = 0;
        std::uint8_t size = 0;
        std::uint8_t bit = 0;
    };

    static constexpr std::size_t RowIndexRecordSize = 8;

    [[nodiscard]] std::size_t rowsPerBlock() const { return ndb::MaxBlockData / m_rowSize; }
    [[nodiscard]] std::vector<ndb::DataBlock> matrixBlocks() const;
    [[nodiscard]] std::string sortedRowIndex() const;

    std::vector<Column> m_columns; // sorted by tag
    std::uint16_t m_bandEnds[4] = {};
    std::size_t m_rowSize = 0;
    HeapBuilder m_values{HeapClient::TableContext}; // the variable cells, in row order
    Hid m_rowIndexHeader = 0;                // the first heap id, kept for the row index's header
    std::vector<ndb::Subnode> m_bigValues;   // variable cells too big for the heap
    std::vector<ndb::BlockPrint> m_keptRows; // committed row-matrix blocks followed by more rows
    std::string m_rows;                      // the rows after those, one after another
    std::string m_rowIndex;                  // row id and position of each row, in row order
    bool m_indexSorted = true;
};

} // namespace plumbrae::pst::ltp
