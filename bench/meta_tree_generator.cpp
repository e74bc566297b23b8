#include "bench/meta_tree_generator.h"

#include "support/text.h"

#include <algorithm>
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
constexpr std::array<const char*, 5> Departments = {"Einkauf", "R&D", "営業部", "Sales 🚀",
                                                    "Comptabilité"};
constexpr std::array<const char*, 5> Notes = {
    "Met at fair", "Call at 10:30, ask for \"Bob\"", "Line one\nLine two: details\nLine three",
    "Prefers e-mail 📧 over phone", "Birthday: 12.4.; likes tea"};
constexpr std::array<const char*, 5> Urls = {"http://example.com", "www.example.org",
                                             "  http://shop.example.net:8080/a  ", "",
                                             "HTTP://a.example/go?to=http://b.example"};
constexpr std::array<const char*, 4> Cities = {"Zürich", "東京", "São Paulo", "Kraków"};
constexpr std::array<const char*, 4> Streets = {"Bahnhofstraße ", "Rue de l'Église ", "銀座 ",
                                                "Main St, Suite "};
constexpr std::array<const char*, 4> Countries = {"Schweiz", "日本", "Brasil", "Polska"};
constexpr std::array<const char*, 5> ImServices = {"xmpp", "yahoo", "aol", "msn", "other"};
constexpr std::array<const char*, 6> GroupNames = {"Family", "Team",        "Vänner",
                                                   "家族",   "Book club 📚", "Suppliers; EU"};

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

using Fields = std::vector<std::pair<std::string, std::string>>;

/// The field dictionary, keys in byte order as the client writes them.
std::string fieldDictionary(Fields fields) {
    std::stable_sort(fields.begin(), fields.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string fld = "d";
    for (const auto& [key, value] : fields) {
        appendString(fld, key);
        appendString(fld, value);
    }
    fld.push_back('e');
    return fld;
}

std::string jsonEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            escaped.push_back('\\');
            escaped.push_back(c);
        } else if (c == '\n') {
            escaped.append("\\n");
        } else {
            escaped.push_back(c);
        }
    }
    return escaped;
}

/// An item as a desktop export writes it: one JSON object, the metadata escaped inside it.
std::string jsonItem(std::uint32_t id, int type, std::string_view path, std::string_view metadata) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) +
           ",\"parent_id\":7,\"folder_id\":7,\"date\":1500000000,\"metadata\":\"" +
           jsonEscaped(metadata) + "\",\"Path\":\"" + jsonEscaped(path) + "\",\"Ver\":10}\n";
}

std::string twoDigits(std::uint64_t value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

/// A contact's values: every key of a contact, each present with its own probability.
Fields contactFields(std::uint32_t index, std::mt19937& random) {
    const auto pick = [&](const auto& list) { return std::string(list[random() % list.size()]); };
    const auto n = std::to_string(index);
    Fields fields;
    const auto maybe = [&](const char* key, std::string value, unsigned percent) {
        if (random() % 100 < percent && !value.empty()) {
            fields.emplace_back(key, std::move(value));
        }
    };
    const auto phone = [&](const char* prefix) {
        return prefix + std::to_string(1000000 + random() % 9000000);
    };
    const bool person = random() % 100 < 95;
    if (person) {
        maybe("firstName", pick(FirstNames), 95);
        maybe("lastName", pick(LastNames), 90);
        maybe("middleName", pick(std::array{"J.", "María", "Ли"}), 15);
        maybe("namePrefix", pick(std::array{"Dr.", "Prof.", "Mme", "Herr"}), 10);
        maybe("nameSuffix", pick(std::array{"Jr.", "III", "PhD"}), 5);
        maybe("nickname", pick(std::array{"Annie", "Jü", "小李", "🐼"}), 10);
    } else {
        maybe("fullName", pick(std::array{"Acme Hotline", "Réception Hôtel", "サポート窓口"}), 100);
    }
    maybe("company", pick(Companies), 70);
    maybe("department", pick(Departments), 15);
    maybe("jobTitle", pick(std::array{"Engineer", "Directrice", "課長"}), 50);
    maybe("office", "Room " + std::to_string(100 + index % 400), 10);
    maybe("email", "contact" + n + "@example.com", 85);
    maybe("email2", "second" + n + "@example.org", 20);
    maybe("email3", "third" + n + "@example.net", 5);
    maybe("workEmail1", "w1." + n + "@work.example", 10);
    maybe("workEmail2", "w2." + n + "@work.example", 4);
    maybe("workEmail3", "w3." + n + "@work.example", 2);
    maybe("workPhone", phone("+41 44 "), 35);
    maybe("workPhone2", phone("+41 44 "), 5);
    maybe("workFax", phone("+41 44 "), 8);
    maybe("mobilePhone", phone("+41 79 "), 60);
    maybe("mobilePhone2", phone("+41 78 "), 4);
    maybe("pager", phone("+1 800 "), 3);
    maybe("carPhone", phone("+49 171 "), 3);
    maybe("homePhone", phone("+41 43 "), 20);
    maybe("homePhone2", phone("+41 43 "), 4);
    maybe("homeFax", phone("+41 43 "), 3);
    maybe("otherPhone", phone("+33 1 "), 5);
    maybe("companyPhone", phone("+41 44 "), 5);
    for (const auto* kind : {"work", "home", "other"}) {
        const unsigned percent = std::string_view(kind) == "work" ? 22 : kind[0] == 'h' ? 40 : 5;
        if (random() % 100 >= percent) {
            continue;
        }
        const auto part = random() % Cities.size();
        const std::string prefix = kind;
        maybe((prefix + "Street").c_str(),
              Streets[part] + std::to_string(1 + index % 200) +
                  (index % 13 == 0 ? "\nHinterhaus" : ""),
              90);
        maybe((prefix + "City").c_str(), Cities[part], 90);
        maybe((prefix + "PostalCode").c_str(), std::to_string(8000 + index % 999), 80);
        maybe((prefix + "State").c_str(), pick(std::array{"ZH", "東京都", "SP", "małopolskie"}),
              50);
        maybe((prefix + "Country").c_str(), Countries[part], 70);
    }
    if (random() % 100 < 2) {
        maybe("homeStreet2", "Ferienweg " + std::to_string(index % 50), 100);
        maybe("homeCity2", "Locarno", 100);
        maybe("homeCountry2", "Schweiz", 60);
    }
    maybe("homeURL", pick(Urls), 35);
    maybe("workURL", "https://www.example.com/team/" + n, 7);
    maybe("imAddress1", pick(ImServices) + "://im" + n + "@chat.example", 6);
    maybe("imAddress2", pick(ImServices) + "://im2." + n, 2);
    maybe("imAddress3", pick(ImServices) + "://im3." + n, 1);
    const auto date = [&](bool withYear) {
        const auto month = 1 + random() % 12;
        const auto day = 1 + random() % 28;
        return (withYear ? std::to_string(1940 + random() % 70) : std::string("-")) + "-" +
               twoDigits(month) + "-" + twoDigits(day);
    };
    maybe("birthday", date(random() % 100 < 80), 10);
    maybe("anniversary", date(random() % 100 < 80), 3);
    maybe("notes", pick(Notes), 45);
    // Keys that are no contact data: kept by the client, written by none of the outputs.
    maybe("fileAs", "1", 30);
    maybe("vcardUID", "uid-" + n, 10);
    return fields;
}

std::string withHeader(std::uint32_t index, std::string_view metadata) {
    return "Zimbra-Contact-Id: " + std::to_string(index) + "\r\nFolder: 7\r\n" +
           std::string(metadata) + "\r\n";
}

} // namespace

std::string generateMetaFile(std::uint32_t index, std::uint32_t seed) {
    std::mt19937 random(seed * 7919U + index);
    const std::string fld = fieldDictionary(contactFields(index, random));
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
    if (index % 11 == 4) {
        return jsonItem(index, 6, "/Contacts/" + std::to_string(index), metadata);
    }
    return withHeader(index, metadata);
}

/// A group's member list in one of the forms the client writes: bare addresses, names with
/// addresses, quoted names holding commas and quotes, spaces and empty members, names in several
/// scripts, a member without "@", a long list; one group in seven has no list at all.
std::string memberList(std::uint32_t group) {
    switch (group % 7) {
    case 0:
        return "\"Ann Lee\" <ann@example.com>, bob@example.org, 李华 <li@example.cn>";
    case 1:
        return " \"Lee, Ann\" <ann@example.com>,  Bob Kim < bob@example.org > , ,carl@example.net,";
    case 2:
        return "Zoë Müller <zoe@example.ch>, \"Ünal, Ayşe 🌷\" <ayse@example.tr>, postmaster";
    case 3:
        return "<only@example.org>, \"Quote \\\"Q\\\" Person\" <q@example.org>, Ολγα "
               "<olga@example.gr>";
    case 4: {
        std::string list;
        for (std::uint32_t i = 0; i < 40; ++i) {
            list += "\"Member " + std::to_string(i) + ", Team\" <m" + std::to_string(i) +
                    "@example.org>, ";
        }
        return list;
    }
    case 5:
        return "dan@example.org";
    default:
        return {};
    }
}

std::string generateGroupFile(std::uint32_t index) {
    const std::string name = GroupNames[index / 40 % GroupNames.size()];
    Fields fields = {{"type", "group"}, {"fileAs", "8:" + name}, {"nickname", name}};
    if (const auto members = memberList(index / 40); !members.empty()) {
        fields.emplace_back("dlist", members);
    }
    const std::string metadata = "d3:fld" + fieldDictionary(fields) + "1:vi10ee";
    return index % 2 == 0 ? withHeader(index, metadata)
                          : jsonItem(index, 6, "/Contacts/" + name, metadata);
}

std::string generateFolderFile(std::uint32_t index, std::string_view name) {
    const std::string metadata = "d1:vi10e2:vt7:contact3:i4ni" + std::to_string(300 + index) +
                                 "e4:mseqi" + std::to_string(index) + "e3:rgbi0ee";
    return index % 2 == 0
               ? "Zimbra-Folder-Id: " + std::to_string(index) + "\r\n" + metadata + "\r\n"
               : jsonItem(index, 1, "/" + std::string(name), metadata);
}

std::string generateMessageFile(std::uint32_t index) {
    std::string subject = "Re: Treffen um 10:30 – 会議 📅 #" + std::to_string(index);
    std::string metadata =
        "d1:vi10e2:fr" + std::to_string(utf16Units(subject)) + ":" + subject + "2:sll8:ann@x.chee";
    return index % 2 == 0 ? withHeader(index, metadata)
                          : jsonItem(index, 5, "/Inbox/" + std::to_string(index), metadata);
}

std::vector<std::filesystem::path> generateMetaTree(const std::filesystem::path& root, int count,
                                                    std::uint32_t seed) {
    std::vector<std::filesystem::path> paths;
    paths.reserve(static_cast<std::size_t>(count) + static_cast<std::size_t>(count) / 20);
    const auto write = [&](const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + path.string());
        }
        paths.push_back(path);
    };
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        // About 100 files a folder, folders nested two levels deep; each folder's own item file
        // stands beside it, as exports keep them.
        const auto parent = root / ("Contacts " + std::to_string(index / 2000));
        const std::string part = "part-" + std::to_string(index / 100 % 20);
        const auto folder = parent / part;
        if (i % 100 == 0) {
            std::filesystem::create_directories(folder);
            write(parent / ("00000" + std::to_string(10000 + index / 100) + "-" + part + ".meta"),
                  generateFolderFile(index / 100, part));
        }
        if (i % 50 == 25) {
            const auto inbox = root / "Inbox";
            std::filesystem::create_directories(inbox);
            write(inbox / (std::to_string(200000 + i) + ".eml.meta"), generateMessageFile(index));
        }
        write(folder / (std::to_string(100000 + i) + ".meta"),
              i % 40 == 17 ? generateGroupFile(index) : generateMetaFile(index, seed));
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

namespace {

double cpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
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
    cost.cpuSeconds = cpuSeconds(usage);
    cost.userSeconds = static_cast<double>(usage.ru_utime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
    cost.peakKiB = usage.ru_maxrss;
    cost.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return cost;
}

} // namespace plumbrae::bench
