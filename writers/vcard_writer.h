#pragma once

#include "core/contact_output.h"
#include "core/contact_record.h"
#include "support/byte_sink.h"
#include "support/file_system.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
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

/// Writes the vCard of a (trimmed) record to the sink.
void writeVCard(const core::ContactRecord& record, support::ByteSink& sink);

/// Writes the vCard of a (trimmed) record to the file `sFile`, replacing any file of that name
/// whole (the card is written aside and renamed into place).
/// `vCardCnt` is the contact's number; the text does not depend on it. Throws
/// support::SinkError naming the file and the cause.
void Save2vCardContact(const std::string& sFile, const core::ContactRecord& record,
                       std::int32_t vCardCnt);

/// The vCard saving option: one file per contact in the output folder, named after the
/// contact's full name and number. Two contacts of one run never share a file: a name already
/// used in this run (in any case) gets " (2)", " (3)", ... before ".vcf".
class VCardOutput : public core::ContactOutput {
public:
    void open(const std::string& outputFolder) override;
    void write(const core::ContactToWrite& contact) override;
    void close() override;
    void abandon() noexcept override;
    [[nodiscard]] std::vector<std::string> writtenFiles() const override;

private:
    std::string m_folder;
    std::set<std::string> m_usedNames;
    /// Held from open() to the end of the run.
    std::unique_ptr<support::OutputFolderLock> m_lock;
};

} // namespace plumbrae::writers
