// PST writer benchmark: generated contacts written into one personal folders file, against the
// same contacts written as one worksheet, measured in the same run.
//
//   bench_pst [COUNT [WORK_FOLDER]]     (COUNT defaults to 30000)
//
// Prints the wall time of both and their ratio (target: at most 2), the file size, the time
// of the first and the last batch commit (how a commit's cost grows with the file), then how
// the writer grows (below).
//
//   bench_pst --growth COUNT [ROUNDS]
//
// Only how the writer grows: processes that write COUNT / 10 and COUNT contacts, each contact
// made as it is written (so that the process holds what the writer keeps, not the input),
// alternating, ROUNDS of each (default 3). Prints the median user CPU time of both and their
// ratio (target: at most 10.5, the contacts' ratio and a little), and the peak memory of each
// (target for 300,000 contacts: under 128 MB).
//
//   bench_pst --peak COUNT OUT.pst   (the measured process)

#include "bench/meta_tree_generator.h"
#include "core/contact_file_reader.h"
#include "core/contact_record.h"
#include "pst/messaging/pst_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#ifdef PLUMBRAE_BENCH_HAS_EXCEL
#include "writers/excel_contact_sheet.h"
#endif

namespace {

namespace fs = std::filesystem;
using plumbrae::core::ContactRecord;
using plumbrae::pst::messaging::Contact;
using plumbrae::pst::messaging::PstFile;

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

ContactRecord makeRecord(std::size_t index) {
    ContactRecord record;
    plumbrae::core::ReadContactBytes(
        plumbrae::bench::generateMetaFile(static_cast<std::uint32_t>(index), 1),
        "contact" + std::to_string(index) + ".meta", record);
    return record.trimmed();
}

std::vector<ContactRecord> makeRecords(std::size_t count) {
    std::vector<ContactRecord> records;
    records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        records.push_back(makeRecord(i));
    }
    return records;
}

/// The item properties a contact gets from a record, as the PST export sets them.
Contact toContact(const ContactRecord& r) {
    Contact c;
    c.givenName = r.FirstName;
    c.middleName = r.MiddleName;
    c.surname = r.LastName;
    c.displayName = r.FullName;
    c.jobTitle = r.JobTitle;
    c.companyName = r.Company;
    c.businessTelephone = r.OfficePhone;
    c.businessFax = r.OfficeFax;
    c.homeTelephone = r.HomePhone;
    c.homeFax = r.HomeFax;
    c.mobileTelephone = r.CellPhone;
    c.pager = r.Pager;
    c.carTelephone = r.CarPhone;
    c.workAddress = r.BusinessAddress;
    c.workStreet = r.BusinessStreet;
    c.workCity = r.BusinessCity;
    c.workState = r.BusinessState;
    c.workPostalCode = r.BusinessZip;
    c.workCountry = r.BusinessCountry;
    c.homeAddress = r.PersonalAddress;
    c.homeStreet = r.PersonalStreet;
    c.homeCity = r.PersonalCity;
    c.homeState = r.PersonalState;
    c.homePostalCode = r.PersonalZip;
    c.homeCountry = r.PersonalCountry;
    c.email1 = r.Email;
    c.email2 = r.Email2;
    c.email3 = r.Email3;
    c.businessHomePage = r.WebPage;
    c.webPage = r.WebPage;
    c.imAddress = r.OtherEmail1 + " " + r.OtherEmail2 + " " + r.OtherEmail3;
    c.categories = r.Categories;
    c.department = r.Department;
    c.officeLocation = r.Location;
    c.profession = r.Profession;
    c.managerName = r.Manager;
    c.assistantName = r.Assistant;
    c.displayNamePrefix = r.Title;
    c.generation = r.Suffix;
    c.spouse = r.Spouse;
    c.body = r.Comments;
    return c;
}

struct PstRun {
    double total = 0.0;
    double firstCommit = 0.0;
    double lastCommit = 0.0;
    double allCommits = 0.0;
    std::size_t commits = 0;
};

PstRun writePst(const std::vector<ContactRecord>& records, const fs::path& path) {
    fs::remove(path);
    PstRun run;
    const auto start = std::chrono::steady_clock::now();
    auto file = PstFile::create(path, "Zimbra Contacts : Created - bench");
    for (const auto& record : records) {
        const auto before = file->commitCount();
        const auto added = std::chrono::steady_clock::now();
        file->addContact(toContact(record));
        if (file->commitCount() != before) {
            const auto took = seconds(added);
            run.firstCommit = run.commits == 0 ? took : run.firstCommit;
            run.lastCommit = took;
            run.allCommits += took;
            ++run.commits;
        }
    }
    file->close();
    run.total = seconds(start);
    return run;
}

#ifdef PLUMBRAE_BENCH_HAS_EXCEL
double writeSheet(const std::vector<ContactRecord>& records, const fs::path& folder) {
    const auto start = std::chrono::steady_clock::now();
    plumbrae::writers::ExcelContactSheet sheet;
    sheet.open(folder.string() + "/");
    std::int32_t row = 1;
    for (const auto& record : records) {
        sheet.Save2ExcelContact(record, row++);
    }
    sheet.close();
    return seconds(start);
}
#endif

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int measurePeak(std::size_t count, const fs::path& out) {
    fs::remove(out);
    auto file = PstFile::create(out, "Zimbra Contacts : Created - bench");
    for (std::size_t i = 0; i < count; ++i) {
        file->addContact(toContact(makeRecord(i)));
    }
    file->close();
    std::printf("%ld\n", plumbrae::bench::peakMemoryKiB());
    return 0;
}

/// Writer processes for count / 10 and count contacts, alternating: the growth of user CPU
/// time and peak memory.
int measureGrowth(std::size_t count, int rounds, const fs::path& work, const char* self) {
    fs::create_directories(work);
    const std::size_t small = count / 10;
    std::vector<double> smallCpu;
    std::vector<double> largeCpu;
    long smallPeak = 0;
    long largePeak = 0;
    int status = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const bool large : {false, true}) {
            const auto n = large ? count : small;
            const auto cost = plumbrae::bench::runProgram(
                {self, "--peak", std::to_string(n), (work / "growth.pst").string()});
            status |= cost.exitStatus;
            (large ? largeCpu : smallCpu).push_back(cost.userSeconds);
            auto& peak = large ? largePeak : smallPeak;
            peak = std::max(peak, cost.peakKiB);
        }
    }
    fs::remove(work / "growth.pst");
    const double smallMedian = median(smallCpu);
    const double largeMedian = median(largeCpu);
    std::printf("writer of %zu contacts:  user CPU %8.3f s (median of %d), peak %7.1f MB\n", small,
                smallMedian, rounds, static_cast<double>(smallPeak) / 1024.0);
    std::printf("writer of %zu contacts:  user CPU %8.3f s (median of %d), peak %7.1f MB\n", count,
                largeMedian, rounds, static_cast<double>(largePeak) / 1024.0);
    std::printf("ratio user CPU %zu / %zu:   %8.2f (target <= 10.5)\n", count, small,
                largeMedian / smallMedian);
    std::printf("peak memory, %zu contacts:  %6.1f MB (target < 128 for 300000)\n", count,
                static_cast<double>(largePeak) / 1024.0);
    return status == 0 ? 0 : 1;
}

int run(std::size_t count, const fs::path& work, const char* self) {
    fs::create_directories(work);
    std::printf("generating %zu contacts\n", count);
    const auto records = makeRecords(count);
    const auto pstPath = work / "contacts.pst";
    std::vector<double> pstTimes;
    PstRun last;
    for (int round = 0; round < 3; ++round) {
        last = writePst(records, pstPath);
        pstTimes.push_back(last.total);
    }
    const double pstTime = median(pstTimes);
    std::printf("PST of %zu contacts:        %8.3f s (median of 3), file %ju bytes\n", count,
                pstTime, static_cast<std::uintmax_t>(fs::file_size(pstPath)));
    std::printf("batch commits: %zu taking %.3f s in all; the first %.3f s, the last %.3f s\n",
                last.commits, last.allCommits, last.firstCommit, last.lastCommit);
#ifdef PLUMBRAE_BENCH_HAS_EXCEL
    std::vector<double> sheetTimes;
    for (int round = 0; round < 3; ++round) {
        fs::remove(work / "ZimbraContacts.xls");
        sheetTimes.push_back(writeSheet(records, work));
    }
    const double sheetTime = median(sheetTimes);
    std::printf("worksheet of %zu contacts:  %8.3f s (median of 3)\n", count, sheetTime);
    std::printf("ratio PST / worksheet:        %8.2f (target <= 2)\n", pstTime / sheetTime);
#else
    std::printf("worksheet writer not built: no ratio\n");
#endif
    return measureGrowth(count, 1, work, self);
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::string(argv[1]) == "--peak") {
            return measurePeak(std::strtoul(argv[2], nullptr, 10), argv[3]);
        }
        if (argc >= 3 && std::string(argv[1]) == "--growth") {
            const auto count = std::strtoul(argv[2], nullptr, 10);
            const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
            if (count < 10 || rounds < 1) {
                std::fprintf(stderr, "bench_pst: --growth COUNT (at least 10) [ROUNDS]\n");
                return 2;
            }
            const auto work = fs::temp_directory_path() / "plumbrae-bench-pst-growth";
            const int status = measureGrowth(count, rounds, work, argv[0]);
            fs::remove_all(work);
            return status;
        }
        const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 30000;
        if (count < 3) {
            std::fprintf(stderr, "bench_pst: COUNT must be at least 3\n");
            return 2;
        }
        const fs::path work =
            argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "plumbrae-bench-pst";
        const int status = run(count, work, argv[0]);
        if (argc <= 2) {
            fs::remove_all(work);
        }
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_pst: %s\n", error.what());
        return 1;
    }
}
