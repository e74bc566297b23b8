#include "writers/group_sheet.h"

#include "core/contact_output.h"
#include "support/atomic_file_sink.h"
#include "support/file_path.h"

#include <array>
#include <filesystem>
#include <system_error>

namespace plumbrae::writers {

void GroupSheet::startIn(const std::string& folder) {
    startOn(nullptr);
    m_path = folder + std::string(FileName);
}

void GroupSheet::startOn(support::ByteSink* sink) {
    m_ownedSink.reset();
    m_csv.reset();
    m_path.clear();
    m_sink = sink;
    m_completeSize = 0;
    m_written = false;
}

void GroupSheet::begin() {
    if (m_sink == nullptr && !m_path.empty()) {
        m_ownedSink =
            std::make_unique<support::AtomicFileSink>(support::pathFromUtf8(m_path), true);
        m_sink = m_ownedSink.get();
    }
    if (m_sink != nullptr) {
        m_csv.emplace(*m_sink);
        const std::array<std::string, 3> header = {"Group", "Member name", "Member e-mail address"};
        m_csv->writeRow(header);
    }
}

void GroupSheet::write(const core::ContactGroup& group) {
    try {
        if (!m_csv) {
            begin();
        }
        if (!m_csv) {
            return;
        }
        if (group.members.empty()) {
            const std::array<std::string, 1> row = {group.name};
            m_csv->writeRow(row);
        }
        std::array<std::string, 3> row = {group.name};
        for (const auto& member : group.members) {
            row[1] = member.name;
            row[2] = member.address;
            m_csv->writeRow(row);
        }
        m_completeSize = m_sink->size();
        m_written = true;
    } catch (const support::SinkError& error) {
        throw core::OutputError(error.what());
    }
}

void GroupSheet::finish() {
    try {
        if (m_sink != nullptr && m_csv) {
            m_sink->close();
        }
    } catch (const support::SinkError& error) {
        m_csv.reset();
        m_ownedSink.reset();
        m_sink = nullptr;
        throw core::OutputError(error.what());
    }
    m_csv.reset();
    m_ownedSink.reset();
    m_sink = nullptr;
}

void GroupSheet::abandon() noexcept {
    if (m_sink != nullptr && m_csv && m_written) {
        try {
            m_sink->close();
            // In place now: cut back to its last whole group.
            if (m_ownedSink) {
                std::error_code ignored;
                std::filesystem::resize_file(support::pathFromUtf8(m_path), m_completeSize,
                                             ignored);
            }
        } catch (const support::SinkError&) {
            // Not put in place: a file of that name keeps what it held.
        }
    }
    m_csv.reset();
    m_ownedSink.reset();
    m_sink = nullptr;
}

std::string GroupSheet::writtenFile() const {
    return m_written ? std::string(FileName) : std::string();
}

} // namespace plumbrae::writers
