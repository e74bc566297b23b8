#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace plumbrae::ui {

/// Per-user settings stored as named 32-bit values, standing in for the current user's Explorer
/// key in the Windows registry. Reads of a value that is not there give nothing; writes may fail
/// (callers that must not report failures ignore the result).
class Registry {
public:
    virtual ~Registry() = default;
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    [[nodiscard]] virtual std::optional<std::uint32_t> read(const std::string& name) const = 0;
    /// Returns false when the value could not be stored.
    virtual bool write(const std::string& name, std::uint32_t value) = 0;
};

/// A registry kept in a small text file ("Name=value" lines) that outlives the program. A file
/// that does not exist yet reads as Windows' defaults for the Explorer values: "Hidden" 2,
/// "ShowSuperHidden" 0, "HideFileExt" 1. Every write rewrites the whole file through a temporary
/// file and a rename, so an interrupted write never leaves a half-written store.
class FileRegistry : public Registry {
public:
    explicit FileRegistry(std::filesystem::path file);

    [[nodiscard]] std::optional<std::uint32_t> read(const std::string& name) const override;
    bool write(const std::string& name, std::uint32_t value) override;

    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

    /// The store of the current user: $XDG_CONFIG_HOME (or ~/.config) /plumbrae/explorer-settings.
    static std::filesystem::path defaultFile();

private:
    [[nodiscard]] std::optional<std::map<std::string, std::uint32_t>> load() const;

    std::filesystem::path m_file;
};

} // namespace plumbrae::ui
