#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace plumbrae::support {

/// Writes many small files into one folder, each whole: a file shows under its name only with
/// all its bytes, and a file of that name is replaced in one step, also when the process is
/// killed or another process writes the same name at the same time.
///
/// On Linux each file is first an unnamed file of the folder's file system and gets its name
/// once its bytes are written: the folder gains one entry per file, where writing aside and
/// renaming adds and removes a second one (in a folder of many thousand files, the folder's
/// entries are most of the cost). A file killed half-way has no name and is gone. Where the
/// file system has no unnamed files (network shares, FAT), and on other systems, each file is
/// written aside and renamed into place (AtomicFileSink).
class WholeFileFolder {
public:
    /// `folder` must exist; it is opened with the first file.
    explicit WholeFileFolder(std::filesystem::path folder);
    ~WholeFileFolder();
    WholeFileFolder(const WholeFileFolder&) = delete;
    WholeFileFolder& operator=(const WholeFileFolder&) = delete;

    /// Writes `bytes` as the file `name` (UTF-8, no folder part), replacing any file of that
    /// name whole. Throws SinkError naming the file and the cause; the name is then left as it
    /// was.
    void write(const std::string& name, std::string_view bytes);

private:
    /// Writes through an unnamed file; false when the file system cannot, so that the file is
    /// written aside instead (and so is every later one).
    bool writeUnnamed(const std::string& name, std::string_view bytes);

    std::filesystem::path m_folder;
    int m_folderFd = -1;
    bool m_unnamedFiles = true;
};

} // namespace plumbrae::support
