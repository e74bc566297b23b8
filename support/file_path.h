#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace plumbrae::support {

/// A path from the UTF-8 text every path is held as inside the program. On Windows the text
/// becomes UTF-16 for the file system (a byte that is not UTF-8 is taken as the Windows-1252
/// character it names), never through the ANSI code page; elsewhere the bytes are the path.
/// Never build a std::filesystem::path from a std::string directly: on Windows that goes
/// through the code page.
std::filesystem::path pathFromUtf8(std::string_view text);

/// The path as UTF-8 text (on Windows, unpaired surrogates become U+FFFD).
std::string pathToUtf8(const std::filesystem::path& path);

/// std::fopen for a path in any script. On Windows the wide form is used, and a path of 260
/// characters or more is given the "\\?\" form that lifts the system's length limit.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

/// On Windows, the form of `path` that passes the system's 260-character limit ("\\?\C:\..."
/// or "\\?\UNC\server\share\...") when it is that long and absolute; elsewhere, and for
/// shorter paths, the path itself.
std::filesystem::path systemPath(const std::filesystem::path& path);

#ifdef _WIN32
/// The errno value for a Windows system error code (GetLastError), so that describeFileError
/// words it like any other file error: a file another program holds open reads as EBUSY.
int errnoFromSystemError(unsigned long error);
#endif

/// A file name that Windows accepts as it is, so a folder written on any system can be copied
/// there: a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case and with
/// any extension) gets "_" behind the device name, and the dots and spaces Windows would drop
/// from the end become "_". Every other name is returned unchanged.
std::string portableFileName(std::string_view name);

} // namespace plumbrae::support
