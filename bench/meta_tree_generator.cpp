#include "bench/meta_tree_generator.h"

#include "support/text.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plumbrae::bench {
namespace {

constexpr std::array<const char*, 10> FirstNames = {
    "Ann", "Jürgen", "Zoë", "李", "Søren", "Amélie", "Oğuz", "Ярослав", "Mary Ann", "Nguyễn"};
constexpr std::array<const char*, 10> LastNames = {
    "Lee",          "Müller", "O'Brien",   "王",       "Þórsson",
    "García-López", "Smith",  "Кузнецова", "Da Silva", "Tanaka 🍣"};
constexpr std::array<const char*, 6> Companies = {
    "Acme Ltd", "Bäckerei Groß GmbH", "株式会社テスト", "Smith; Jones & Co", "", "Nord:Süd AG"};
constexpr std::array<const char*, 5> Notes = {
    "Met at fair", "Call at 10:30, ask for \"Bob\"", "Line one\nLine two: details\nLine three",
    "Prefers e-mail 📧 over phone", "Birthday: 12.4.; likes tea"};
constexpr std::array<const char*, 4> Urls = {"http://example.com", "www.example.org",
                                             "  http://shop.example.net:8080/a  ", ""};

std::size_t utf16Units(std::string_view text) {
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = 0;
        units += support::decodeUtf8(text, pos, length) >= 0x10000 ? 2U : 1U;
        pos += length;
    }
    return units;
}

void appendString(std::string& out, std::string_view text) {
    out.append(std::to_string(utf16Units(text)));
    out.push_back(':');
    out.append(text);
}

} // namespace

std::string generateMetaFile(std::uint32_t index, std::uint32_t seed) {
    std::mt19937 random(seed * 7919U + index);
    const auto pick = [&](auto& list) { return list[random() % list.size()]; };
    const bool present = true;
    // Keys in bencode order; each present with its own probability.
    std::vector<std::pair<std::string, std::string>> fields;
    const auto maybe = [&](const char* key, std::string value, unsigned percent) {
        if (present && random() % 100 < percent && !value.empty()) {
            fields.emplace_back(key, std::move(value));
        }
    };
    const std::string first = pick(FirstNames);
    const std::string last = pick(LastNames);
    maybe("birthday", "1970-01-0" + std::to_string(1 + index % 9), 30);
    maybe("company", pick(Companies), 70);
    maybe("email", "contact" + std::to_string(index) + "@example.com", 85);
    maybe("email2", "second" + std::to_string(index) + "@example.org", 20);
    maybe("firstName", first, 95);
    maybe("homeCity", "Zürich", 40);
    maybe("homeCountry", "Schweiz", 40);
    maybe("homePostalCode", std::to_string(8000 + index % 999), 40);
    maybe("homeState", "ZH", 30);
    maybe("homeStreet", "Bahnhofstraße " + std::to_string(1 + index % 200), 40);
    maybe("homeURL", pick(Urls), 35);
    maybe("jobTitle", "Engineer", 50);
    maybe("lastName", last, 90);
    maybe("middleName", "J.", 10);
    maybe("mobilePhone", "+41 79 " + std::to_string(1000000 + index), 60);
    maybe("notes", pick(Notes), 45);

    std::string fld = "d";
    for (const auto& [key, value] : fields) {
        appendString(fld, key);
        appendString(fld, value);
    }
    fld.push_back('e');

    std::string metadata;
    switch (index % 7) {
    case 3: // a photo contact: keys before the field dictionary
        metadata = "d3:attd2:ct10:image/jpeg2:id1:1e3:fld" + fld + "2:mdi1500000000ee";
        break;
    case 5: // a coloured contact
        metadata = "d1:ci" + std::to_string(index % 9) + "e3:fld" + fld + "e";
        break;
    default:
        metadata = "d3:fld" + fld + "2:mdi1500000000e1:vi10ee";
        break;
    }
    std::string file = "Zimbra-Contact-Id: " + std::to_string(index) + "\r\nFolder: 7\r\n";
    if (index % 11 == 4) {
        // A desktop export: one JSON object, the metadata escaped inside it.
        std::string escaped;
        for (const char c : metadata) {
            if (c == '"' || c == '\\') {
                escaped.push_back('\\');
                escaped.push_back(c);
            } else if (c == '\n') {
                escaped.append("\\n");
            } else {
                escaped.push_back(c);
            }
        }
        return "{\"id\":" + std::to_string(index) + ",\"type\":\"contact\",\"metadata\":\"" +
               escaped + "\"}\n";
    }
    file.append(metadata);
    file.append("\r\n");
    return file;
}

std::vector<std::filesystem::path> generateMetaTree(const std::filesystem::path& root, int count,
                                                    std::uint32_t seed) {
    std::vector<std::filesystem::path> paths;
    paths.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        // About 100 files a folder, folders nested two levels deep.
        const auto folder = root / ("Contacts " + std::to_string(index / 2000)) /
                            ("part-" + std::to_string(index / 100 % 20));
        if (i % 100 == 0) {
            std::filesystem::create_directories(folder);
        }
        auto path = folder / (std::to_string(100000 + i) + ".meta");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const std::string bytes = generateMetaFile(index, seed);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + path.string());
        }
        paths.push_back(std::move(path));
    }
    return paths;
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double timeShellCommand(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("command failed: " + command);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

ChildCost runProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("cannot start " + argv.at(0));
    }
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    ChildCost cost;
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.peakKiB = usage.ru_maxrss;
    cost.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return cost;
}

} // namespace plumbrae::bench
