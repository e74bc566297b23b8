#pragma once

#include "core/contact_file_reader.h"
#include "core/contact_record.h"
#include "support/worker_ring.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace plumbrae::core {

/// One queued file as read ahead: its record as read and trimmed, what it holds, or what reading
/// it threw.
struct ReadAheadFile {
    std::string path;
    ContactRecord record;
    /// The record trimmed, for a contact.
    ContactRecord trimmed;
    std::optional<ReadOutcome> outcome;
    /// Set instead of `outcome` when reading failed (a ContactFileError, or anything else).
    std::exception_ptr error;
    /// A large file is left to the run's thread (see ContactReadAhead::next).
    bool deferred = false;
};

/// Reads the queued contact files on threads of their own, some files ahead of the run that hands
/// them to an output: opening, reading and parsing the next files overlaps with writing the
/// current one, and two files are read at a time. The files come back in the order they were asked
/// for, each with what reading it gave or threw, so the run handles them exactly as if it had read
/// them itself.
class ContactReadAhead {
public:
    explicit ContactReadAhead(UidWanted uid);

    /// True while another file can be asked for.
    [[nodiscard]] bool hasRoom() const { return m_ring.hasRoom(); }
    /// Asks for the file at `path` (only while hasRoom()).
    void request(std::string path);
    /// The oldest file asked for and not yet taken, once read. `whileWaiting` is called about
    /// every 20 ms until then (a window keeps answering), and while a large file is read: those
    /// are read here, on the caller's thread, so that the files held ahead stay small. The file
    /// stays valid until release().
    ReadAheadFile& next(const std::function<void()>& whileWaiting);
    /// Gives the file next() returned back for a later one.
    void release() { m_ring.release(); }

private:
    static constexpr std::size_t Readers = 2;
    /// Files of more pieces than this (of 64 KiB) are not read ahead.
    static constexpr int LargestAhead = 4;

    /// Reads the file; one of more than `largest` pieces is left unread and marked deferred.
    static void readInto(ReadAheadFile& file, UidWanted uid, const std::function<void()>& yield,
                         int largest);

    UidWanted m_uid;

    support::WorkerRing<ReadAheadFile> m_ring;
};

} // namespace plumbrae::core
