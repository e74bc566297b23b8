#pragma once

// Written files read by the outside readers (libpff through pst_dump.py, libpst through
// readpst_contacts.py, npm's pst-extractor through extractor/pst_extractor_dump.js) and the
// independent checker.

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace plumbrae::testing {

/// The output (with errors) of a shell command; its exit status goes to `status`.
inline std::string commandOutput(const std::string& command, int& status) {
    std::string text;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (std::size_t got = 0; pipe != nullptr && (got = std::fread(buffer, 1, 4096, pipe)) > 0;) {
        text.append(buffer, got);
    }
    const int raw = pipe == nullptr ? -1 : ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return text;
}

inline std::string pstScript(const std::string& script, const std::filesystem::path& pst) {
    return "/usr/bin/python3 '" PLUMBRAE_PST_CHECKER_DIR "/" + script + "' '" + pst.string() + "'";
}

/// The JSON a reader script prints ({} when it fails, with the failure in `failure`).
inline nlohmann::json pstReaderJson(const std::string& script, const std::filesystem::path& pst,
                                    std::string* failure = nullptr) {
    int status = 0;
    const auto text = commandOutput(pstScript(script, pst), status);
    const auto start = text.find('{');
    if (failure != nullptr && status != 0) {
        *failure = script + " failed (" + std::to_string(status) + "): " + text.substr(0, 2000);
    }
    return start == std::string::npos ? nlohmann::json::object()
                                      : nlohmann::json::parse(text.substr(start));
}

/// The cards readpst extracts from the Contacts folder.
inline std::vector<nlohmann::json> readpstContactCards(const std::filesystem::path& pst,
                                                       std::string* failure = nullptr) {
    std::vector<nlohmann::json> cards;
    const auto all = pstReaderJson("readpst_contacts.py", pst, failure);
    for (const auto& card : all["contacts"]) {
        if (card["folder"].get<std::string>().find("Contacts") != std::string::npos) {
            cards.push_back(card);
        }
    }
    return cards;
}

/// The items of the Contacts folder as libpff reads them.
inline nlohmann::json libpffContacts(const std::filesystem::path& pst) {
    return pstReaderJson("pst_dump.py", pst)["contacts"];
}

/// The checker's findings ("" for a clean file); `strict` also reports leaked space. A file
/// that pst-extractor cannot walk to the end of its Contacts folder is a finding too.
inline std::string pstFindings(const std::filesystem::path& pst, bool strict = true) {
    int status = 0;
    auto text = commandOutput(pstScript("pst_check.py", pst) + (strict ? " --strict" : ""), status);
    if (status != 0) {
        return text.substr(0, 4000) + "(status " + std::to_string(status) + ")";
    }
    text = commandOutput("timeout 300 node '" PLUMBRAE_PST_CHECKER_DIR
                         "/extractor/pst_extractor_dump.js' '" +
                             pst.string() + "' >/dev/null",
                         status);
    return status == 0 ? std::string()
                       : "pst-extractor: " + text.substr(0, 2000) + "(status " +
                             std::to_string(status) + ")";
}

} // namespace plumbrae::testing
