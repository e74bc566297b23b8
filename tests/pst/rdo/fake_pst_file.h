#pragma once

#include "pst/messaging/pst_file.h"

#include <map>
#include <string>
#include <vector>

namespace plumbrae::testing {

/// What the stand-in PST file (linked into the object-model tests in place of the writer)
/// was given for one path.
struct FakePstRecord {
    std::string displayName;
    std::vector<pst::messaging::Contact> added;
    std::size_t committedContacts = 0; ///< contacts the last commit made durable
    bool closed = false;
    bool destroyed = false;
};

/// Every file the stand-in created, by path. Tests clear it.
std::map<std::string, FakePstRecord>& fakePstFiles();

/// The next commit of any stand-in file fails (once).
void failNextFakeCommit();

} // namespace plumbrae::testing
