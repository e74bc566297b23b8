#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plumbrae::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it when the
/// object goes out of scope.
class TempDir {
public:
    TempDir() : m_path(std::filesystem::temp_directory_path() / "plumbrae-test-XXXXXX") {
        std::string pattern = m_path.string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    /// The folder as text, ending in "/".
    [[nodiscard]] std::string folder() const { return m_path.string() + "/"; }
    /// Writes `bytes` to `relative` (creating folders on the way); returns the full path.
    std::filesystem::path write(const std::filesystem::path& relative,
                                std::string_view bytes) const {
        const auto full = m_path / relative;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
            throw std::runtime_error("cannot write " + full.string());
        }
        return full;
    }

private:
    std::filesystem::path m_path;
};

/// The whole content of a file.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return (std::ostringstream() << in.rdbuf()).str();
}

} // namespace plumbrae::testing
