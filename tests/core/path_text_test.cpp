#include "core/path_text.h"
#include "support/file_path.h"

#include <gtest/gtest.h>
#include <tuple>

namespace plumbrae::core {
namespace {

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

using support::portableFileName;
using TextFunction = std::string (*)(std::string_view);

TEST(PathText, FoldersAndPortableNames) {
    // clang-format off
    const std::tuple<TextFunction, std::string, std::string> cases[] = {
        {GetParentPath, "C:\\a\\b.meta", "C:\\a\\"}, {GetParentPath, "b.meta", ""},
        {GetParentPath, "C:\\a\\", "C:\\a\\"}, {GetParentPath, "/home/ann/x.meta", "/home/ann/"},
        {withTrailingSeparator, "/", "/"}, {withTrailingSeparator, "/out", "/out/"},
        {withTrailingSeparator, "", "/"}, {withTrailingSeparator, "C:\\out\\", "C:\\out\\"},
        // The folder shown while converting: no root, no drive, no last separator.
        {SourceFolderText, "C:\\dir\\sub\\name.meta", "dir\\sub"},
        {SourceFolderText, "/home/ann/contacts/x.meta", "home/ann/contacts"},
        {SourceFolderText, "/x.meta", ""}, {SourceFolderText, "relative.meta", ""},
        // Names Windows refuses get a safe form; names it takes stay as they are.
        {portableFileName, "CON", "CON_"}, {portableFileName, "con.txt", "con_.txt"},
        {portableFileName, "CON .vcf", "CON_ .vcf"}, {portableFileName, "Lpt9.a.b", "Lpt9_.a.b"},
        {portableFileName, "COM\xC2\xB9.vcf", "COM\xC2\xB9_.vcf"}, {portableFileName, "CONIN$", "CONIN$_"},
        {portableFileName, "Ann.", "Ann_"}, {portableFileName, "Ann. .", "Ann___"},
        {portableFileName, "..", "__"}, {portableFileName, "COM10.vcf", "COM10.vcf"},
        {portableFileName, "CONSOLE.vcf", "CONSOLE.vcf"}, {portableFileName, "ACON.vcf", "ACON.vcf"},
        {portableFileName, "Ann Lee1.vcf", "Ann Lee1.vcf"}, {portableFileName, "", ""}};
    // clang-format on
    for (const auto& [function, text, expected] : cases) {
        EXPECT_EQ(function(text), expected) << text;
    }
}

// The window and plumbrae-convert queue the same files from a folder.
TEST(PathText, ContactFileNamesEndInMetaInAnyCase) {
    for (const auto* name : {"/a/b.meta", "b.META", "a.meta ", ".meta"}) {
        EXPECT_TRUE(isContactFileName(name)) << name;
    }
    for (const auto* name : {"a.meta.txt", "a.metadata", "ameta", "meta", " ", ""}) {
        EXPECT_FALSE(isContactFileName(name)) << name;
    }
}

// A card's file name: the name without the characters Windows refuses and control characters,
// cut to 220 bytes between characters before spaces are trimmed; a stray byte is the
// Windows-1252 character it names.
TEST(PathText, VCardFileNames) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"Ann Lee", "Ann Lee1.vcf"}, {"A:B ", "AB1.vcf"}, {"A?B ", "AB1.vcf"}, {":?\\/*\"<>|", "1.vcf"},
        {std::string("A\tB\x01\0C\x1F", 7), "ABC1.vcf"}, {" ", "1.vcf"}, {"Zoë 李", "Zoë 李1.vcf"},
        {"COM", "COM1_.vcf"}, {"nul.x", "nul_.x1.vcf"}, {"Garc\xED" "a \x80", "García €1.vcf"},
        {repeated("\xE9", 111), repeated("é", 110) + "1.vcf"},
        {std::string(300, 'x'), std::string(220, 'x') + "1.vcf"},
        {"  " + std::string(250, 'y'), std::string(218, 'y') + "1.vcf"},
        {"x" + repeated("é", 110), "x" + repeated("é", 109) + "1.vcf"},
        {"x" + repeated("🍣", 55), "x" + repeated("🍣", 54) + "1.vcf"}};
    // clang-format on
    for (const auto& [fullName, expected] : cases) {
        EXPECT_EQ(vCardFileName(fullName, 1), expected) << fullName;
    }
}

} // namespace
} // namespace plumbrae::core
