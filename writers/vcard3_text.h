#pragma once

// A contact as a vCard 3.0 card, the form that address books importing one file of many cards
// take (mail programs, phones, CardDAV servers):
//
//   BEGIN:VCARD
//   VERSION:3.0
//   N:family;given;additional;prefix;suffix       always
//   FN:full name                                  always
//   NICKNAME, ORG, TITLE, TEL;TYPE=..., ADR;TYPE=... with its LABEL, URL, EMAIL, the
//   instant-messaging X- lines, NOTE, BDAY, X-ANNIVERSARY   each only when it has a value
//   UID:...                                       always
//   END:VCARD
//
// Text is UTF-8 (a byte that is not part of valid UTF-8 is the Windows-1252 character it names),
// with "\", ",", ";" and line breaks escaped as "\\", "\,", "\;" and "\n". A line longer than 75
// bytes is folded: CR LF and a space go in before the byte that would pass the limit, never
// inside a character or an escape. Every line ends in CR LF.

#include "core/contact_group.h"
#include "core/contact_record.h"

#include <string>
#include <string_view>

namespace plumbrae::writers {

/// Appends the vCard 3.0 card of a (trimmed) record, with `uid` as its UID, to `out`.
void appendVCard3(std::string& out, const core::ContactRecord& record, std::string_view uid);

/// Appends the vCard 3.0 card of a contact group to `out`: its name as N and FN, the mark
/// Evolution reads as a contact list, and an EMAIL line per member (the member's name as the
/// line's X-EVOLUTION-DEST-NAME parameter), with `uid` as its UID.
void appendVCard3Group(std::string& out, const core::ContactGroup& group, std::string_view uid);

/// Appends one property line, folded, to `out`: `nameAndParameters` as it is, ":", then
/// `value` as it is (already escaped), then CR LF.
void appendFoldedLine(std::string& out, std::string_view nameAndParameters, std::string_view value);

/// Appends `value` escaped as vCard 3.0 text (valid UTF-8 first).
void appendEscapedText(std::string& out, std::string_view value);

} // namespace plumbrae::writers
