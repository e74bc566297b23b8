#include "support/file_path.h"

#include <gtest/gtest.h>
#include <utility>

namespace plumbrae::support {
namespace {

TEST(PortableFileName, GivesNamesWindowsRefusesASafeForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"CON", "CON_"},
        {"con.txt", "con_.txt"},
        {"CON .vcf", "CON_ .vcf"},
        {"Lpt9.a.b", "Lpt9_.a.b"},
        {"COM\xC2\xB9.vcf", "COM\xC2\xB9_.vcf"},
        {"CONIN$", "CONIN$_"},
        {"Ann.", "Ann_"},
        {"Ann. .", "Ann___"},
        {"..", "__"},
        // Names Windows takes as they are.
        {"COM10.vcf", "COM10.vcf"},
        {"CONSOLE.vcf", "CONSOLE.vcf"},
        {"ACON.vcf", "ACON.vcf"},
        {"Ann Lee1.vcf", "Ann Lee1.vcf"},
        {"", ""},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(portableFileName(name), expected) << name;
    }
}

} // namespace
} // namespace plumbrae::support
