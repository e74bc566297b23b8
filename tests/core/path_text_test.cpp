#include "core/path_text.h"
#include "tests/support/print_case.h"

#include <gtest/gtest.h>

namespace plumbrae::core {
namespace {

using plumbrae::testing::PrintTo;

TEST(PathText, ParentPathKeepsTheSeparator) {
    EXPECT_EQ(GetParentPath("C:\\a\\b.meta"), "C:\\a\\");
    EXPECT_EQ(GetParentPath("b.meta"), "");
    EXPECT_EQ(GetParentPath("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(GetParentPath("/home/ann/x.meta"), "/home/ann/");
    EXPECT_EQ(withTrailingSeparator("/"), "/");
    EXPECT_EQ(withTrailingSeparator("/out"), "/out/");
}

TEST(PathText, SourceFolderTextDropsRootAndLastSeparator) {
    EXPECT_EQ(SourceFolderText("C:\\dir\\sub\\name.meta"), "dir\\sub");
    EXPECT_EQ(SourceFolderText("/home/ann/contacts/x.meta"), "home/ann/contacts");
    EXPECT_EQ(SourceFolderText("/x.meta"), "");
    EXPECT_EQ(SourceFolderText("relative.meta"), "");
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

struct NameCase {
    const char* name;
    std::string fullName;
    int number;
    std::string expected;
};

class VCardNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(VCardNames, BuildsTheFileName) {
    EXPECT_EQ(vCardFileName(GetParam().fullName, GetParam().number), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VCardNames,
    ::testing::Values(
        NameCase{"Plain", "Ann Lee", 1, "Ann Lee1.vcf"},
        NameCase{"ColonRemoved", "A:B ", 1, "AB1.vcf"},
        NameCase{"QuestionRemoved", "A?B ", 2, "AB2.vcf"},
        NameCase{"AllNine", ":?\\/*\"<>|", 3, "3.vcf"},
        NameCase{"ControlsAndNulRemoved", std::string("A\tB\x01\0C", 6), 4, "ABC4.vcf"},
        NameCase{"NoName", " ", 3, "3.vcf"}, NameCase{"Utf8BytesKept", "Zoë 李", 7, "Zoë 李7.vcf"},
        NameCase{"CutAt220", std::string(300, 'x'), 5, std::string(220, 'x') + "5.vcf"},
        NameCase{"CutBeforeTrim", "  " + std::string(250, 'y'), 6, std::string(218, 'y') + "6.vcf"},
        NameCase{"CutBetweenCharacters", "x" + repeated("\xC3\xA9", 110), 8,
                 "x" + repeated("\xC3\xA9", 109) + "8.vcf"},
        NameCase{"DeviceName", "COM", 1, "COM1_.vcf"},
        NameCase{"DeviceBeforeDot", "nul.x", 3, "nul_.x3.vcf"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace plumbrae::core
