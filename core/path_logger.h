#pragma once

#include "core/ordered_list.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plumbrae::core {

/// A folder the walk met but could not list, and why. Its entries are missing from the lists.
struct UnreadableFolder {
    std::string path;
    std::string reason;
};

/// Lists every file below one folder, breadth-first, into ordered lists: the folders visited
/// ("K0" for the root, then "K2", "K3", ...), the full file paths ("K1" to "Kn") and, unless
/// only full names are wanted, the bare names with the position of each file's folder.
///
/// Each folder's entries are taken sorted by name (byte order), so the order is the same on
/// every machine. Every folder path ends in "/". A folder that cannot be listed does not end the
/// walk: it is recorded in unreadableFolders() and the rest of the tree is still walked. A link
/// to a folder is followed only when that real folder has not been walked already, so link loops
/// end. Every entry that is not a folder counts as a file, also a pipe, a device, a socket or a
/// link that leads nowhere: whoever reads them reports them, none is dropped silently.
///
/// Use: PathLogInit(), optionally setFullFileNamesOnly(false), LogPath(root), read the lists,
/// Terminate(). The lists are shared: a list taken from a reader stays valid after Terminate().
/// Standard C++ only, so the command-line converter walks folders exactly as the window does.
class pathLogger {
public:
    using TextList = OrderedList<std::string>;
    using PositionList = OrderedList<std::int32_t>;

    /// Prepares a walk: full names only, fresh lists, no unreadable folders.
    void PathLogInit();
    /// Walks the tree below `strPARENT`. A root that is not an existing folder records nothing
    /// and leaves Count() as it was. Throws std::invalid_argument when the lists still hold a
    /// previous walk (PathLogInit() or Terminate() first).
    void LogPath(const std::string& strPARENT);
    /// The number the next file would get: after a walk one more than the number of files.
    [[nodiscard]] std::int32_t Count() const { return m_fileCounter; }
    /// Drops the lists (callers keep the ones they took); the counter and the mode stay.
    void Terminate();

    [[nodiscard]] bool fullFileNamesOnly() const { return m_fullNamesOnly; }
    void setFullFileNamesOnly(bool fullNamesOnly) { m_fullNamesOnly = fullNamesOnly; }

    /// The bare file names (empty when only full names are wanted).
    std::shared_ptr<TextList> fileNames();
    /// The folders in visiting order, each ending in "/".
    std::shared_ptr<TextList> pathNames();
    /// For each file, the position in pathNames() of its folder (empty when only full names
    /// are wanted).
    std::shared_ptr<PositionList> pathPointers();
    /// The full path of every file.
    std::shared_ptr<TextList> fullFileNames();

    /// The folders of the last walk that could not be listed, in the order they were met.
    [[nodiscard]] const std::vector<UnreadableFolder>& unreadableFolders() const {
        return m_unreadable;
    }

private:
    void recordFile(const std::string& folderPath, const std::string& name,
                    std::int32_t folderPosition);
    void dropLists();

    std::int32_t m_fileCounter = 0;
    bool m_fullNamesOnly = false;
    std::shared_ptr<TextList> m_fileNames;
    std::shared_ptr<PositionList> m_pathPointers;
    std::shared_ptr<TextList> m_pathNames;
    std::shared_ptr<TextList> m_fullFileNames;
    std::vector<UnreadableFolder> m_unreadable;
};

} // namespace plumbrae::core
