#include "core/contact_read_ahead.h"

#include "support/thread_priority.h"

#include <limits>

namespace plumbrae::core {
namespace {

/// Ends the reading of a file too large to be read ahead.
struct TooLargeAhead {};

/// Puts a reading thread behind the run's thread, once: the run's thread hands the files on in
/// order, and the readers only need to stay ahead of it.
void runBehindOnce() {
    thread_local bool behind = false;
    if (!behind) {
        behind = true;
        support::runBehindOtherThreads();
    }
}

} // namespace

ContactReadAhead::ContactReadAhead(UidWanted uid)
    : m_uid(uid), m_ring(
                      [uid](ReadAheadFile& file) {
                          runBehindOnce();
                          readInto(file, uid, {}, LargestAhead);
                      },
                      Readers) {}

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
