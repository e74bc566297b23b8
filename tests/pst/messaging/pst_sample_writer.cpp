// Writes a sample personal folders file for the reader scripts:
//   pst-sample-writer OUT.pst COUNT [--batch N] [--stop-after-commits K]
// --batch commits every N contacts; --stop-after-commits ends the process right after the
// K-th commit without closing, as a crash would, so the file on disk is the one that commit
// left.

#include "pst/messaging/pst_file.h"
#include "tests/pst/messaging/sample_contacts.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr
            << "usage: pst-sample-writer OUT.pst COUNT [--batch N] [--stop-after-commits K]\n";
        return 2;
    }
    const std::string out = argv[1];
    const auto count = std::stoul(argv[2]);
    plumbrae::pst::messaging::CommitPolicy policy;
    std::size_t stopAfter = 0;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--batch") {
            policy.maxPendingContacts = std::stoul(argv[i + 1]);
        } else if (option == "--stop-after-commits") {
            stopAfter = std::stoul(argv[i + 1]);
        } else {
            std::cerr << "unknown option " << option << "\n";
            return 2;
        }
    }
    policy.maxPendingTime = std::chrono::hours(1);
    try {
        auto file = plumbrae::pst::messaging::PstFile::create(out, "Sample Contacts", policy);
        for (std::size_t i = 0; i < count; ++i) {
            file->addContact(plumbrae::testing::sampleContact(i));
            if (stopAfter != 0 && file->commitCount() >= stopAfter) {
                std::_Exit(0);
            }
        }
        file->close();
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
