#pragma once

#include "pst/ndb/node_database.h"

#include <cstdint>

namespace plumbrae::pst::ndb {

/// Lays out a whole new file in one go: nodes are added, then finish() writes everything,
/// header last. (The node database's first commit, for callers that write a file once.)
class NodeDatabaseWriter {
public:
    explicit NodeDatabaseWriter(OutputFile& file) : m_file(file) {}

    /// Stores a node. Node identifiers must be unique; the order of calls does not matter.
    void addNode(Nid nid, Nid parent, NodeContent content) {
        m_database.putNode(nid, parent, std::move(content));
    }

    /// Writes blocks, indexes, maps and header and completes the file (forcing it to the device
    /// with `flush`); returns the file size. `unique` goes into the header.
    std::uint64_t finish(std::uint32_t unique, bool flush = true) {
        return m_database.commit(m_file, unique, flush);
    }

    [[nodiscard]] std::size_t blockCount() const { return m_database.blockCount(); }
    [[nodiscard]] std::size_t nodeCount() const { return m_database.nodeCount(); }

private:
    OutputFile& m_file;
    NodeDatabase m_database;
};

} // namespace plumbrae::pst::ndb
