#include "core/contact_read_ahead.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace plumbrae::core {
namespace {

/// Ends the reading of a file too large to be read ahead.
struct TooLargeAhead {};

} // namespace

ContactReadAhead::ContactReadAhead(UidWanted uid, std::size_t readers)
    : m_uid(uid), m_ring([uid](ReadAheadFile& file) { readInto(file, uid, {}, LargestAhead); },
                         std::max<std::size_t>(readers, 1)) {}

std::size_t ContactReadAhead::readersBeside(bool busyRun) {
    if (!busyRun) {
        return DefaultReaders;
    }
    const std::size_t processors = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(processors > 1 ? processors - 1 : 1, 1, DefaultReaders);
}

void ContactReadAhead::request(std::string path) {
    m_ring.slotToFill().path = std::move(path);
    m_ring.submit();
}

ReadAheadFile& ContactReadAhead::next(const std::function<void()>& whileWaiting) {
    ReadAheadFile& file = m_ring.next(whileWaiting);
    if (file.deferred) {
        readInto(file, m_uid, whileWaiting, std::numeric_limits<int>::max());
    }
    return file;
}

void ContactReadAhead::readInto(ReadAheadFile& file, UidWanted uid,
                                const std::function<void()>& yield, int largest) {
    file.outcome.reset();
    file.error = nullptr;
    file.deferred = false;
    file.record.FreevCard();
    int pieces = 0;
    try {
        // The reader asks before each piece it reads.
        file.outcome = ReadContactFile(
            file.path, file.record,
            [&] {
                if (++pieces > largest) {
                    throw TooLargeAhead{};
                }
                if (yield) {
                    yield();
                }
            },
            uid);
        if (file.outcome->kind == ItemKind::Contact) {
            file.trimmed.assignTrimmed(file.record);
        }
    } catch (const TooLargeAhead&) {
        file.outcome.reset();
        file.record.FreevCard();
        file.deferred = true;
    } catch (...) {
        file.outcome.reset();
        file.error = std::current_exception();
    }
}

} // namespace plumbrae::core
