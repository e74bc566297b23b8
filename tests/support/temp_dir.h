#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace plumbrae::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it when the
/// object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    /// The folder as text, ending in "/".
    [[nodiscard]] std::string folder() const { return m_path.string() + "/"; }
    /// Writes `bytes` to `relative` (creating folders on the way); returns the full path.
    std::filesystem::path write(const std::filesystem::path& relative,
                                std::string_view bytes) const;

private:
    std::filesystem::path m_path;
};

/// The whole content of a file.
std::string readFile(const std::filesystem::path& path);

} // namespace plumbrae::testing
