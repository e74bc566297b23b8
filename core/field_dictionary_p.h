#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plumbrae::core::detail {

/// The keys of a contact's field dictionary that the reader takes, in byte order, so that a key
/// is found by binary search. Besides the contact's values: "type", "fileAs" and "dlist", which
/// tell a contact group, its name and its members, and "vcardUID", the contact's own identifier.
constexpr std::array<std::string_view, 61> ContactKeys = {
    "anniversary",    "birthday",        "carPhone",       "company",         "companyPhone",
    "department",     "dlist",           "email",          "email2",          "email3",
    "fileAs",         "firstName",       "fullName",       "homeCity",        "homeCity2",
    "homeCountry",    "homeCountry2",    "homeFax",        "homePhone",       "homePhone2",
    "homePostalCode", "homePostalCode2", "homeState",      "homeState2",      "homeStreet",
    "homeStreet2",    "homeURL",         "imAddress1",     "imAddress2",      "imAddress3",
    "jobTitle",       "lastName",        "middleName",     "mobilePhone",     "mobilePhone2",
    "namePrefix",     "nameSuffix",      "nickname",       "notes",           "office",
    "otherCity",      "otherCountry",    "otherPhone",     "otherPostalCode", "otherState",
    "otherStreet",    "pager",           "type",           "vcardUID",        "workCity",
    "workCountry",    "workEmail1",      "workEmail2",     "workEmail3",      "workFax",
    "workPhone",      "workPhone2",      "workPostalCode", "workState",       "workStreet",
    "workURL"};

static_assert(std::is_sorted(ContactKeys.begin(), ContactKeys.end()));

/// The index of `key` in ContactKeys, or ContactKeys.size() when it is not one of them.
constexpr std::size_t contactKeyIndex(std::string_view key) {
    const auto* found = std::lower_bound(ContactKeys.begin(), ContactKeys.end(), key);
    return found != ContactKeys.end() && *found == key
               ? static_cast<std::size_t>(found - ContactKeys.begin())
               : ContactKeys.size();
}

/// The same, found by the key's length and first letter before any comparison: the reader looks
/// up every key of every field dictionary.
std::size_t findContactKey(std::string_view key);

/// The first value found for each key (index as in ContactKeys), as it stands in the metadata
/// text; nothing when absent.
using ContactValues = std::array<std::optional<std::string_view>, ContactKeys.size()>;

/// The outcome of reading the field dictionary: the values, or the byte offset (within the
/// metadata text) where the data stopped making sense.
struct FieldReadResult {
    std::optional<ContactValues> values;
    std::size_t errorOffset = 0;
};

/// Reads the field dictionary of a contact's metadata text: the bencode dictionary behind the
/// first "d3:fldd" (or, when there is none, the first "e3:fldd"). String lengths are taken as
/// UTF-16 code units, the way the desktop client writes them, or as bytes, the way tools that
/// model the file on bytes write them; whichever makes the metadata well formed is used.
/// Returns nothing when the text holds no field dictionary at all.
std::optional<FieldReadResult> readFieldDictionary(std::string_view metadata);

/// The contact values of metadata written by older versions of the client, which hold the
/// fields at the top of the metadata dictionary (`d5:email15:ann@example.com9:firstName3:Anne`):
/// the values when the text, apart from white space around it, is one well-formed dictionary
/// with at least one key of a contact's value; otherwise nothing.
std::optional<ContactValues> readTopLevelFields(std::string_view metadata);

/// True when the text, apart from white space around it, is one well-formed bencode dictionary:
/// the metadata of an item (a folder, a message) that is not a contact.
bool isWellFormedMetadata(std::string_view metadata);

} // namespace plumbrae::core::detail
