#pragma once

#include "core/contact_group.h"
#include "core/contact_output.h"
#include "core/contact_record.h"
#include "support/byte_sink.h"
#include "support/file_system.h"
#include "support/whole_file_folder.h"
#include "support/worker_ring.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace plumbrae::writers {

/// A contact's vCard 2.1 text, each line ending in CR LF: 21 lines that every card has, in a
/// fixed order, and after the line of their kind one more for each further value the contact
/// holds (a second e-mail address, telephone number, nickname, birthday ...). Plain ASCII
/// values are written as they are; a line whose values hold other characters says
/// ";CHARSET=UTF-8". A ";" inside a part of N, ADR or ORG is written "\;"; a value with a line
/// break, or with a ";" in any other property, makes its line quoted-printable
/// (ENCODING=QUOTED-PRINTABLE), where "=", ";", line breaks and every byte above 127 are written
/// "=XX".
std::string vCardText(const core::ContactRecord& record);
/// The same, appended to `out`.
void appendVCardText(std::string& out, const core::ContactRecord& record);

/// A contact group's vCard 2.1 text, each line ending in CR LF: N and FN the group's name,
/// "X-EVOLUTION-LIST:TRUE", which marks the card as a contact list for the readers that keep
/// lists, and one "EMAIL;INTERNET" line per member with the member's address, in order (so that
/// every reader keeps the addresses); a member's name goes into the line's
/// X-EVOLUTION-DEST-NAME parameter, in double quotes when it holds a separator (its own double
/// quotes become single ones and its line breaks spaces, which a parameter cannot hold). Values
/// are encoded as in a contact's card.
std::string vCardGroupText(const core::ContactGroup& group);

/// Writes the vCard of a (trimmed) record to the sink.
void writeVCard(const core::ContactRecord& record, support::ByteSink& sink);

/// Writes the vCard of a (trimmed) record to the file `sFile`, replacing any file of that name
/// whole (the card is written aside and renamed into place).
/// `vCardCnt` is the contact's number; the text does not depend on it. Throws
/// support::SinkError naming the file and the cause.
void Save2vCardContact(const std::string& sFile, const core::ContactRecord& record,
                       std::int32_t vCardCnt);

/// The vCard saving option: one vCard 2.1 file per contact in the output folder, named after the
/// contact's full name and number, and beside them `ZimbraContacts.vcf` holding every contact of
/// the run in queue order as a vCard 3.0 card, for address books that import one file. Two
/// contacts of one run never share a file: a name already used in this run (in any case) gets
/// " (2)", " (3)", ... before ".vcf"; nor a UID: a repeated one is replaced (repeatedUid).
///
/// `ZimbraContacts.vcf` is written aside as the cards come (nothing is held) and put in place
/// when the run ends, also when it stops early: then it holds the cards written so far, each
/// whole. A failure to write it leaves the file of that name as it was.
///
/// A contact group gets a 2.1 card of its own (vCardGroupText), named in the same way after the
/// group, and its 3.0 card joins the contacts in `ZimbraContacts.vcf` in queue order.
///
/// The cards are made on the run's thread and written on a thread of their own, in order: a
/// card's file, then its 3.0 card in the one file. A card that cannot be written stops the
/// writing there (no later card is written, in either place); the failure is thrown by a later
/// write() or by close().
class VCardOutput : public core::ContactOutput {
public:
    VCardOutput();
    ~VCardOutput() override;
    VCardOutput(const VCardOutput&) = delete;
    VCardOutput& operator=(const VCardOutput&) = delete;

    static constexpr std::string_view OneFileName = "ZimbraContacts.vcf";

    void open(const std::string& outputFolder) override;
    void write(const core::ContactToWrite& contact) override;
    bool writeGroup(const core::GroupToWrite& group) override;
    void close() override;
    void abandon() noexcept override;
    /// What was written where, and on a line of its own `ZimbraContacts.vcf`.
    [[nodiscard]] std::vector<std::string> writtenFiles() const override;

    /// The same on a sink the caller owns (tests, benchmarks): the cards go to `oneFile`, each
    /// 2.1 card to its own file in `outputFolder` as usual.
    void openOn(const std::string& outputFolder, support::ByteSink& oneFile);

private:
    /// One card on its way to the files: made by the run, written by the writing thread.
    struct PendingCard {
        std::string fileName;
        std::string card;
        /// The 3.0 card for ZimbraContacts.vcf (empty: none).
        std::string oneFileCard;
        /// What writing it threw (an OutputError naming the file, or anything else).
        std::exception_ptr error;
    };

    void start(const std::string& outputFolder);
    /// The card to fill next, taking written ones back while the ring is full.
    PendingCard& cardToFill();
    /// Takes the oldest card back once written; throws what writing it threw.
    void takeBack();
    /// Writes a card's files (on the writing thread); keeps what went wrong in the card.
    void writePending(PendingCard& card);
    /// The UID the card of this contact carries: its own, unless an earlier card has it.
    std::string_view uniqueUid(std::string_view uid);
    /// The file name for a card named `name` with `number`, not yet used in this run.
    std::string unusedFileName(std::string_view name, std::int32_t number);

    std::string m_folder;
    std::unordered_set<std::string> m_usedNames;
    std::unordered_set<std::string> m_usedUids;
    /// Where the single cards go, from open() to the end of the run.
    std::unique_ptr<support::WholeFileFolder> m_cards;
    std::string m_uid;
    bool m_wroteGroups = false;
    /// Held from open() to the end of the run.
    std::unique_ptr<support::OutputFolderLock> m_lock;
    std::unique_ptr<support::ByteSink> m_ownedOneFile;
    support::ByteSink* m_oneFile = nullptr;
    /// Set on the writing thread by the first card that could not be written: later ones are
    /// not written.
    bool m_writeFailed = false;
    /// The cards between the run and the writing thread; made by open(), ended by close().
    std::unique_ptr<support::WorkerRing<PendingCard>> m_writer;
};

} // namespace plumbrae::writers
