#pragma once

#include "core/contact_group.h"
#include "support/byte_sink.h"
#include "writers/csv_file.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plumbrae::writers {

/// The contact groups of an Excel run, `ZimbraGroups.csv` beside the worksheet, in the same form
/// as the contacts' CSV: a header row (Group, Member name, Member e-mail address), then a row per
/// member, groups in queue order; a group without members has one row holding its name alone.
/// The file is begun by the run's first group (a run without groups writes none), written aside
/// and put in place whole when the run ends.
class GroupSheet {
public:
    static constexpr std::string_view FileName = "ZimbraGroups.csv";

    /// Starts a run whose groups go into `folder` (ending in the separator); nothing is created
    /// yet.
    void startIn(const std::string& folder);
    /// Starts a run whose groups go to a sink the caller owns (nullptr: nowhere).
    void startOn(support::ByteSink* sink);
    /// Writes a group's rows. Throws core::OutputError naming the file and the cause.
    void write(const core::ContactGroup& group);
    /// Puts the file in place. Throws core::OutputError.
    void finish();
    /// Puts in place what was written of whole groups, as far as the disk allows.
    void abandon() noexcept;
    /// Names the file when the run wrote one ("" otherwise).
    [[nodiscard]] std::string writtenFile() const;

private:
    void begin();

    std::string m_path;
    std::unique_ptr<support::ByteSink> m_ownedSink;
    support::ByteSink* m_sink = nullptr;
    std::optional<CsvFile> m_csv;
    /// The file's size after its last whole group.
    std::size_t m_completeSize = 0;
    bool m_written = false;
};

} // namespace plumbrae::writers
