#pragma once

#include <string>
#include <string_view>

namespace plumbrae::core {

/// The path separator that ends every folder path built on.
#ifdef _WIN32
constexpr char PathSeparator = '\\';
#else
constexpr char PathSeparator = '/';
#endif

/// The path of a queued file from its queue row. On Windows the spaces at both ends are removed
/// (the system would drop them anyway); elsewhere a file name may end in a space, so the row is
/// the path as it stands.
std::string queuedFilePath(std::string_view rowText);

/// The folder part of a path, up to and including its last separator ("/" or, for paths of the
/// "C:\dir" form, "\"); "" when it has none.
std::string GetParentPath(std::string_view path);

/// `folder` with a separator appended unless it already ends in one.
std::string withTrailingSeparator(std::string_view folder);

/// A folder as messages name it: without the separator that ends it, unless it is a root ("/",
/// "C:\\").
std::string folderForDisplay(std::string_view folder);

/// The folder of a queued file as the progress label shows it: "C:\dir\sub\x.meta" gives
/// "dir\sub"; a path without a drive colon gives its folder without the root "/" and without
/// the trailing separator ("/home/ann/x.meta" gives "home/ann", "/x.meta" gives "").
std::string SourceFolderText(std::string_view path);

/// True when `path` names a Zimbra contact file: its name, trimmed of spaces and compared
/// without regard to ASCII case, ends in ".meta". Add folder and plumbrae-convert queue exactly
/// the files this accepts.
bool isContactFileName(std::string_view path);

/// The vCard file name (without folder) for a contact: `FullName` as read (as UTF-8, a byte that
/// is not UTF-8 taken as the Windows-1252 character it names), with the characters
/// that cannot stand in a file name removed, cut to 220 characters, trimmed, then the number
/// and ".vcf"; a name Windows keeps for a device ("COM1.vcf") gets its safe form ("COM1_.vcf").
std::string vCardFileName(std::string_view fullName, int contactNumber);

} // namespace plumbrae::core
