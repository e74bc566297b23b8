#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plumbrae::core::detail {

/// The thirteen contact keys the reader takes, in the order they are listed to users.
constexpr std::array<std::string_view, 13> ContactKeys = {
    "company",        "email",       "firstName",  "homeCountry", "homeCity",
    "homePostalCode", "homeState",   "homeStreet", "homeURL",     "jobTitle",
    "lastName",       "mobilePhone", "notes"};

/// The values found for the thirteen keys (index as in ContactKeys); nothing when absent.
using ContactValues = std::array<std::optional<std::string>, ContactKeys.size()>;

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

} // namespace plumbrae::core::detail
