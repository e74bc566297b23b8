#include "core/contact_file_reader.h"

namespace plumbrae::core {

ContactFileError::ContactFileError(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), m_path(path), m_reason(reason) {}

void ReadContactFile(const std::string& path, ContactRecord& record,
                     const std::function<void()>& yield) {
    (void)record;
    (void)yield;
    throw ContactFileError(path, "not implemented yet");
}

void ReadContactBytes(std::string_view bytes, const std::string& path, ContactRecord& record) {
    (void)bytes;
    (void)record;
    throw ContactFileError(path, "not implemented yet");
}

} // namespace plumbrae::core
