#include "core/path_logger.h"

#include "support/file_path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace plumbrae::core {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char Separator = '\\';
#else
constexpr char Separator = '/';
#endif

std::string AddTrailingBackslash(const std::string& path) {
    if (!path.empty() && (path.back() == Separator || path.back() == '/')) {
        return path;
    }
    return path + Separator;
}

std::string keyFor(std::int32_t number) {
    return "K" + std::to_string(number);
}

enum class EntryKind { Folder, File };

struct Entry {
    std::string name;
    EntryKind kind = EntryKind::File;
    bool isLink = false;
};

EntryKind kindOf(const fs::directory_entry& entry) {
    // The type the listing already delivered answers these without another system call, except
    // for links.
    std::error_code ignored;
    if (entry.is_directory(ignored)) {
        return EntryKind::Folder;
    }
    // Everything else is listed like a file: a pipe, device or socket, a dangling link or a link
    // loop. Those that carry a contact file's name are queued, and their read fails with a
    // reason the user sees ("not a regular file", never by opening them), so none is skipped
    // silently.
    return EntryKind::File;
}

/// The name of a listed entry: the last component of its path.
std::string entryName(const fs::path& path) {
#ifdef _WIN32
    return support::pathToUtf8(path.filename());
#else
    // The listed folder, a separator and the name: cheaper than taking the path apart.
    const std::string& full = path.native();
    return full.substr(full.find_last_of(Separator) + 1);
#endif
}

/// The real location of a folder, so that links to an already walked folder can be recognised.
std::string realPathOf(const fs::path& path) {
    std::error_code error;
    auto real = fs::canonical(path, error);
    return support::pathToUtf8(error ? path : real);
}

} // namespace

void pathLogger::PathLogInit() {
    m_fullNamesOnly = true;
    dropLists();
}

void pathLogger::Terminate() {
    dropLists();
}

void pathLogger::dropLists() {
    m_fileNames.reset();
    m_pathPointers.reset();
    m_pathNames.reset();
    m_fullFileNames.reset();
    m_unreadable.clear();
}

std::shared_ptr<pathLogger::TextList> pathLogger::fileNames() {
    if (!m_fileNames) {
        m_fileNames = std::make_shared<TextList>();
    }
    return m_fileNames;
}

std::shared_ptr<pathLogger::TextList> pathLogger::pathNames() {
    if (!m_pathNames) {
        m_pathNames = std::make_shared<TextList>();
    }
    return m_pathNames;
}

std::shared_ptr<pathLogger::PositionList> pathLogger::pathPointers() {
    if (!m_pathPointers) {
        m_pathPointers = std::make_shared<PositionList>();
    }
    return m_pathPointers;
}

std::shared_ptr<pathLogger::TextList> pathLogger::fullFileNames() {
    if (!m_fullFileNames) {
        m_fullFileNames = std::make_shared<TextList>();
    }
    return m_fullFileNames;
}

void pathLogger::LogPath(const std::string& strPARENT) {
    std::error_code error;
    if (strPARENT.empty() || !fs::is_directory(support::pathFromUtf8(strPARENT), error)) {
        return;
    }
    if (!pathNames()->isEmpty() || !fullFileNames()->isEmpty() || !fileNames()->isEmpty() ||
        !pathPointers()->isEmpty()) {
        throw std::invalid_argument("the walker's lists still hold an earlier walk");
    }
    m_unreadable.clear();
    m_fileCounter = 1;
    const auto root = AddTrailingBackslash(strPARENT);
    m_pathNames->add(keyFor(0), root);

    // The real location of every folder queued so far, and of each by position, so that a link
    // leads into a folder only once.
    std::vector<std::string> realFolders{realPathOf(support::pathFromUtf8(root))};
    std::unordered_set<std::string> visited{realFolders.front()};

    for (std::size_t position = 1; position <= m_pathNames->count(); ++position) {
        const std::string folderPath = m_pathNames->item(position);
        const auto folderPosition = static_cast<std::int32_t>(position);
        struct {
            std::vector<Entry> entries;
            std::error_code error;
        } listed;
        for (fs::directory_iterator it(support::pathFromUtf8(folderPath), listed.error), end;
             !listed.error && it != end; it.increment(listed.error)) {
            std::error_code ignored;
            listed.entries.push_back(
                Entry{entryName(it->path()), kindOf(*it), it->is_symlink(ignored)});
        }
        if (listed.error) {
            // What was listed before the failure is still recorded.
            m_unreadable.push_back(UnreadableFolder{folderPath, listed.error.message()});
        }
        std::sort(listed.entries.begin(), listed.entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });

        const std::string realParent = realFolders[position - 1];
        for (const auto& entry : listed.entries) {
            if (entry.kind != EntryKind::Folder) {
                continue;
            }
            auto real = entry.isLink ? realPathOf(support::pathFromUtf8(folderPath + entry.name))
                                     : AddTrailingBackslash(realParent) + entry.name;
            if (!visited.insert(real).second) {
                continue;
            }
            realFolders.push_back(std::move(real));
            m_pathNames->addNew(keyFor(static_cast<std::int32_t>(m_pathNames->count() + 1)),
                                folderPath + entry.name + Separator);
        }
        for (const auto& entry : listed.entries) {
            if (entry.kind == EntryKind::File) {
                recordFile(folderPath, entry.name, folderPosition);
            }
        }
    }
}

void pathLogger::recordFile(const std::string& folderPath, const std::string& name,
                            std::int32_t folderPosition) {
    const auto key = keyFor(m_fileCounter);
    if (!m_fullNamesOnly) {
        fileNames()->addNew(key, name);
        pathPointers()->addNew(key, folderPosition);
    }
    m_fullFileNames->addNew(key, folderPath + name);
    ++m_fileCounter;
}

} // namespace plumbrae::core
