#pragma once

#include "support/file_system.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::pst::messaging {

/// A contact photo: the image bytes (JPEG) and the file name the attachment carries.
struct ContactPicture {
    std::string bytes;
    std::string fileName;
};

/// One contact item. Text is UTF-8 bytes (a byte that is not valid UTF-8 is taken as the
/// Windows-1252 character it names); an empty text is not written at all.
struct Contact {
    std::string givenName, middleName, surname, displayName, jobTitle, companyName,
        businessTelephone, businessFax, homeTelephone, homeFax, mobileTelephone, pager,
        carTelephone, workAddress, workStreet, workCity, workState, workPostalCode, workCountry,
        homeAddress, homeStreet, homeCity, homeState, homePostalCode, homeCountry, email1, email2,
        email3, businessHomePage, webPage, imAddress, categories, department, officeLocation,
        profession, managerName, assistantName, displayNamePrefix, generation, spouse, body;
    std::string nickname, otherTelephone, companyMainTelephone, home2Telephone, business2Telephone,
        otherAddress, otherStreet, otherCity, otherState, otherPostalCode, otherCountry;
    /// Dates as "yyyy-mm-dd" (see dateFromText); empty when unknown.
    std::string birthday, anniversary;
    std::optional<ContactPicture> picture;
};

/// One member of a distribution list, kept as a one-off address: the name it is shown by (when
/// empty, its address), the address type ("SMTP") and the address.
struct DistListMember {
    std::string displayName;
    std::string addressType;
    std::string address;
};

/// A distribution list item (a contact group) in the Contacts folder: its name (shown, and
/// filed under) and its members in order. Text is UTF-8 as for a contact.
struct DistList {
    std::string name;
    std::vector<DistListMember> members;
};

/// A day of the calendar written "yyyy-mm-dd" (year 1601 to 9999), as the number of days since
/// 1 January 1601; nothing for any other text.
inline std::optional<std::int64_t> dateFromText(std::string_view text) {
    constexpr std::string_view Shape = "dddd-dd-dd";
    if (text.size() != Shape.size()) {
        return std::nullopt;
    }
    std::array<int, 3> parts{}; // year, month, day
    std::size_t part = 0;
    for (std::size_t i = 0; i < Shape.size(); ++i) {
        if (Shape[i] == '-') {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++part;
        } else if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        } else {
            parts[part] = parts[part] * 10 + (text[i] - '0');
        }
    }
    const auto [year, month, day] = parts;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr std::array<int, 12> DaysIn = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || month < 1 || month > 12 || day < 1 ||
        day > DaysIn[static_cast<std::size_t>(month - 1)] + (month == 2 && leap ? 1 : 0)) {
        return std::nullopt;
    }
    // Days from 1601-01-01: whole years, then the months of this year, then the day.
    const std::int64_t y = year - 1601;
    std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) {
        days += DaysIn[static_cast<std::size_t>(m - 1)] + (m == 2 && leap ? 1 : 0);
    }
    return days + day - 1;
}

/// Creating, writing or committing the file failed. The message names the file and the cause.
class PstError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// When added contacts are made durable: after this many contacts, or when this much time has
/// passed since the last commit (checked as contacts are added), whichever comes first. The
/// time bounds what a crash can lose; the count bounds what the writer holds (a few KB per
/// contact) and keeps the two forced writes of each commit (milliseconds each) rare in a fast
/// run. A commit writes the Contacts folder's row index again, so a folder of more than
/// maxPendingContacts * folderShare items waits for that share of the items it holds instead
/// (up to largestBatch contacts): what the commits cost per contact then grows far slower than
/// the folder.
struct CommitPolicy {
    std::size_t maxPendingContacts = 5000;
    std::chrono::milliseconds maxPendingTime{2000};
    std::size_t folderShare = 32;
    std::size_t largestBatch = 5000;
};

class PstFileImpl;

/// A new personal folders file (Unicode format) holding one store with the standard folder
/// tree, into whose Contacts folder contact items are added.
///
/// The file on disk is always a complete store. The first commit writes the empty store
/// beside the target (name + ".tmp", created exclusively) and gives it the target's name only
/// when complete, never replacing a file of that name. Later commits write into the target
/// itself what changed (the new contacts, the Contacts folder's tables and counts, the B-tree
/// pages and allocation maps that changed) into space the committed store does not use, and
/// its header last, in one write: the blocks and pages they replace are reused only by the
/// commit after. A process killed at any moment leaves the last committed store (or, before
/// the first commit finished, no file at all), and the disk holds the store plus at most one
/// batch. Each commit forces its bytes to the device before its header and the header after
/// them, so that a power cut leaves a complete store too. Nothing stays beside the target
/// after the first commit, and the first writer in a folder removes what killed writers of
/// this or older versions left there (a store header, or none yet, under "<name>.pst.tmp" or
/// "<name>.pst.spare").
class PstFile {
public:
    /// Creates the file (PstError when the path exists or cannot be written). On return the file
    /// on disk is a complete, valid empty store with the standard folders. `files` gives the
    /// steps that put a written file in place (tests refuse some).
    static std::unique_ptr<PstFile>
    create(const std::filesystem::path& path, const std::string& displayName,
           CommitPolicy policy = {}, support::FileSystem& files = support::FileSystem::system());

    /// Contacts added since the last commit are not written (close() is the final commit, and
    /// reports its failure).
    ~PstFile();
    PstFile(const PstFile&) = delete;
    PstFile& operator=(const PstFile&) = delete;

    /// The store's entry identifier (raw bytes), as a client passes it to open the store.
    [[nodiscard]] std::string storeEntryId() const;
    /// The entry identifier of the default Contacts folder (raw bytes).
    [[nodiscard]] std::string contactsFolderEntryId() const;
    /// Items added to the Contacts folder so far, contacts and distribution lists (committed or
    /// not).
    [[nodiscard]] std::size_t contactCount() const;
    /// Commits performed so far, including the one made by create().
    [[nodiscard]] std::size_t commitCount() const;
    [[nodiscard]] const std::filesystem::path& path() const;

    /// Adds one contact to the Contacts folder; commits when the policy says so. PstError when
    /// the file was closed or a commit fails.
    void addContact(const Contact& contact);
    /// Adds one distribution list to the Contacts folder, after the items added before it; as
    /// addContact.
    void addDistList(const DistList& list);
    /// Makes the file on disk complete and valid with every contact added so far.
    void commit();
    /// Final commit; no contacts can be added afterwards. Closing twice does nothing.
    void close();

private:
    explicit PstFile(std::unique_ptr<PstFileImpl> impl);
    std::unique_ptr<PstFileImpl> m_impl;
};

} // namespace plumbrae::pst::messaging
