#include "pst/messaging/file_steps_p.h"
#include "support/file_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace plumbrae::pst::messaging::filesteps {

namespace {

bool startsAsPersonalFolders(const std::filesystem::path& path) {
    std::FILE* file = support::openFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    char magic[4] = {};
    const bool ours = std::fread(magic, 1, sizeof magic, file) == sizeof magic &&
                      std::memcmp(magic, "!BDN", sizeof magic) == 0;
    std::fclose(file);
    return ours;
}

} // namespace

void removeLeftover(const std::filesystem::path& aside) {
    std::error_code error;
    // Never through a link: only a regular file of ours is removed.
    if (std::filesystem::symlink_status(aside, error).type() ==
            std::filesystem::file_type::regular &&
        startsAsPersonalFolders(aside)) {
        removeFile(aside);
    }
}

#ifdef _WIN32

int publishNew(const std::filesystem::path& written, const std::filesystem::path& target) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    if (::MoveFileExW(support::systemPath(written).c_str(), support::systemPath(target).c_str(),
                      MOVEFILE_WRITE_THROUGH) != 0) {
        return 0;
    }
    const int error = support::errnoFromSystemError(::GetLastError());
    removeFile(written);
    return error;
}

int replace(const std::filesystem::path& written, const std::filesystem::path& target) {
    // Write-through always: it costs one flush of the folder, and the replaced store must not
    // come back after a power cut either.
    if (::MoveFileExW(support::systemPath(written).c_str(), support::systemPath(target).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return 0;
    }
    return support::errnoFromSystemError(::GetLastError());
}

bool linkAs(const std::filesystem::path& existing, const std::filesystem::path& link) {
    return ::CreateHardLinkW(support::systemPath(link).c_str(),
                             support::systemPath(existing).c_str(), nullptr) != 0;
}

bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::MoveFileExW(support::systemPath(from).c_str(), support::systemPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING) != 0;
}

void removeFile(const std::filesystem::path& path) {
    ::DeleteFileW(support::systemPath(path).c_str());
}

void syncFolder(const std::filesystem::path& /*folder*/) {
    // The moves above are written through already.
}

#else

int publishNew(const std::filesystem::path& written, const std::filesystem::path& target) {
    // A link fails when the target exists, unlike a rename.
    const int error = ::link(written.c_str(), target.c_str()) == 0 ? 0 : errno;
    removeFile(written);
    return error;
}

int replace(const std::filesystem::path& written, const std::filesystem::path& target) {
    return ::rename(written.c_str(), target.c_str()) == 0 ? 0 : errno;
}

bool linkAs(const std::filesystem::path& existing, const std::filesystem::path& link) {
    return ::link(existing.c_str(), link.c_str()) == 0;
}

bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void removeFile(const std::filesystem::path& path) {
    ::unlink(path.c_str());
}

void syncFolder(const std::filesystem::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

#endif

} // namespace plumbrae::pst::messaging::filesteps
