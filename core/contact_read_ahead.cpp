#include "core/contact_read_ahead.h"

namespace plumbrae::core {

ContactReadAhead::ContactReadAhead(UidWanted uid)
    : m_ring([uid](ReadAheadFile& file) { readInto(file, uid); }, Readers) {}

void ContactReadAhead::request(std::string path) {
    m_ring.slotToFill().path = std::move(path);
    m_ring.submit();
}

void ContactReadAhead::readInto(ReadAheadFile& file, UidWanted uid) {
    file.outcome.reset();
    file.error = nullptr;
    file.record.FreevCard();
    try {
        file.outcome = ReadContactFile(file.path, file.record, {}, uid);
        if (file.outcome->kind == ItemKind::Contact) {
            file.trimmed.assignTrimmed(file.record);
        }
    } catch (...) {
        file.outcome.reset();
        file.error = std::current_exception();
    }
}

} // namespace plumbrae::core
