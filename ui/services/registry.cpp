#include "ui/services/registry.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace plumbrae::ui {

namespace {

/// What Windows has in a new user's profile.
const std::map<std::string, std::uint32_t>& windowsDefaults() {
    static const std::map<std::string, std::uint32_t> Defaults{
        {"Hidden", 2}, {"ShowSuperHidden", 0}, {"HideFileExt", 1}};
    return Defaults;
}

} // namespace

FileRegistry::FileRegistry(std::filesystem::path file) : m_file(std::move(file)) {}

std::filesystem::path FileRegistry::defaultFile() {
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != 0) {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    return base / "plumbrae" / "explorer-settings";
}

std::optional<std::map<std::string, std::uint32_t>> FileRegistry::load() const {
    std::error_code error;
    if (!std::filesystem::exists(m_file, error)) {
        return windowsDefaults();
    }
    std::ifstream in(m_file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::map<std::string, std::uint32_t> values;
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::uint32_t value = 0;
        const char* first = line.data() + equals + 1;
        const char* last = line.data() + line.size();
        const auto [end, parseError] = std::from_chars(first, last, value);
        if (parseError == std::errc() && end == last) {
            values[line.substr(0, equals)] = value;
        }
    }
    return values;
}

std::optional<std::uint32_t> FileRegistry::read(const std::string& name) const {
    const auto values = load();
    if (!values) {
        return std::nullopt;
    }
    const auto found = values->find(name);
    if (found == values->end()) {
        return std::nullopt;
    }
    return found->second;
}

bool FileRegistry::write(const std::string& name, std::uint32_t value) {
    auto values = load();
    if (!values) {
        return false;
    }
    (*values)[name] = value;
    std::error_code error;
    std::filesystem::create_directories(m_file.parent_path(), error);
    auto temporary = m_file;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const auto& [key, stored] : *values) {
            out << key << '=' << stored << '\n';
        }
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, m_file, error);
    return !error;
}

} // namespace plumbrae::ui
