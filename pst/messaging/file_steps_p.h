#pragma once

#include <filesystem>

/// The file-system steps of a commit, the same promise on every system: a rename puts the
/// written file in the target's place in one step, so a killed process leaves either the old
/// or the new store, never a mix. Results are 0 or an errno value for describeFileError.
namespace plumbrae::pst::messaging::filesteps {

/// Moves `written` to `target` unless something of that name exists (then EEXIST). `written`
/// is gone afterwards, whether the move succeeded or not.
int publishNew(const std::filesystem::path& written, const std::filesystem::path& target);

/// Moves `written` over `target` in one step.
int replace(const std::filesystem::path& written, const std::filesystem::path& target);

/// Gives `existing` a second name `link` (a hard link); false when the file system has none.
bool linkAs(const std::filesystem::path& existing, const std::filesystem::path& link);

/// Renames a file; false when that failed.
bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to);

/// Removes a file; a missing one is no failure.
void removeFile(const std::filesystem::path& path);

/// Removes a personal folders file left aside by a writer killed in the middle of a commit.
/// Anything else of that name stays, and the commit reports it.
void removeLeftover(const std::filesystem::path& aside);

/// Makes the renames in `folder` durable; failure only weakens durability, so it is not
/// reported.
void syncFolder(const std::filesystem::path& folder);

} // namespace plumbrae::pst::messaging::filesteps
