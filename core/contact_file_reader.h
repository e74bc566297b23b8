#pragma once

#include "core/contact_record.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plumbrae::core {

/// A contact file could not be read. `what()` names the file and the reason; `reason()` is the
/// reason alone.
class ContactFileError : public std::runtime_error {
public:
    ContactFileError(const std::string& path, const std::string& reason);
    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] const std::string& reason() const { return m_reason; }

private:
    std::string m_path;
    std::string m_reason;
};

/// Reads one Zimbra contact file (`*.meta`) into `record`, which the caller has cleared.
/// Takes the thirteen contact fields (first occurrence wins) and sets `FullName` last.
/// The file is streamed: memory is needed only for its last line, or for the one JSON object
/// of a desktop export. `yield` (optional) is called regularly while a large file is read.
/// Throws ContactFileError.
void ReadContactFile(const std::string& path, ContactRecord& record,
                     const std::function<void()>& yield = {});

/// The same, on the file's bytes already in memory (used by the fuzzer and the tests).
void ReadContactBytes(std::string_view bytes, const std::string& path, ContactRecord& record);

} // namespace plumbrae::core
