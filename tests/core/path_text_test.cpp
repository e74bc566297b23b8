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
    const std::tuple<TextFunction, std::string, std::string> cases[] = {
        {GetParentPath, "C:\\a\\b.meta", "C:\\a\\"},
        {GetParentPath, "b.meta", ""},
        {GetParentPath, "C:\\a\\", "C:\\a\\"},
        {GetParentPath, "/home/ann/x.meta", "/home/ann/"},
        {withTrailingSeparator, "/", "/"},
        {withTrailingSeparator, "/out", "/out/"},
        {withTrailingSeparator, "", "/"},
        {withTrailingSeparator, "C:\\out\\", "C:\\out\\"},
        // The folder shown while converting: no root, no drive, no last separator.
        {SourceFolderText, "C:\\dir\\sub\\name.meta", "dir\\sub"},
        {SourceFolderText, "/home/ann/contacts/x.meta", "home/ann/contacts"},
        {SourceFolderText, "/x.meta", ""},
        {SourceFolderText, "relative.meta", ""},
        // Names Windows refuses get a safe form; names it takes stay as they are.
        {portableFileName, "CON", "CON_"},
        {portableFileName, "con.txt", "con_.txt"},
        {portableFileName, "CON .vcf", "CON_ .vcf"},
        {portableFileName, "Lpt9.a.b", "Lpt9_.a.b"},
        {portableFileName, "COM\xC2\xB9.vcf", "COM\xC2\xB9_.vcf"},
        {portableFileName, "CONIN$", "CONIN$_"},
        {portableFileName, "Ann.", "Ann_"},
        {portableFileName, "Ann. .", "Ann___"},
        {portableFileName, "..", "__"},
        {portableFileName, "COM10.vcf", "COM10.vcf"},
        {portableFileName, "CONSOLE.vcf", "CONSOLE.vcf"},
        {portableFileName, "ACON.vcf", "ACON.vcf"},
        {portableFileName, "Ann Lee1.vcf", "Ann Lee1.vcf"},
        {portableFileName, "", ""}};
    for (const auto& [function, text, expected] : cases) {
        EXPECT_EQ(function(text), expected) << text;
    }
}

// The window and plumbrae-convert queue the same files from a folder.
TEST(PathText, ContactFileNamesEndInMetaInAnyCase) {
    for (const auto* name : {"/a/b.meta", "b.META", "a.meta ", ".meta"}) {
        EXPECT_TRUE(isContactFileName(name)) << name;
    }
    for (const auto* name : {"a.meta.txt", "a.metadata", "ameta", ""}) {
        EXPECT_FALSE(isContactFileName(name)) << name;
    }
}

TEST(PathText, VCardFileNames) {
    const std::tuple<std::string, int, std::string> cases[] = {
        {"Ann Lee", 1, "Ann Lee1.vcf"},
        {"A:B ", 1, "AB1.vcf"},
        {"A?B ", 2, "AB2.vcf"},
        {":?\\/*\"<>|", 3, "3.vcf"},
        {std::string("A\tB\x01\0C\x1F", 7), 4, "ABC4.vcf"},
        {" ", 3, "3.vcf"},
        {"Zoë 李", 7, "Zoë 李7.vcf"},
        {std::string(300, 'x'), 5, std::string(220, 'x') + "5.vcf"},
        {"  " + std::string(250, 'y'), 6, std::string(218, 'y') + "6.vcf"}, // cut before trim
        {"x" + repeated("\xC3\xA9", 110), 8, "x" + repeated("\xC3\xA9", 109) + "8.vcf"},
        {"x" + repeated("🍣", 55), 9, "x" + repeated("🍣", 54) + "9.vcf"},
        {"COM", 1, "COM1_.vcf"},
        {"nul.x", 3, "nul_.x3.vcf"}};
    for (const auto& [fullName, number, expected] : cases) {
        EXPECT_EQ(vCardFileName(fullName, number), expected) << fullName;
    }
}

} // namespace
} // namespace plumbrae::core
