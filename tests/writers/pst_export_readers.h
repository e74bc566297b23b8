#pragma once

// Reading produced PST files with the outside readers (libpff through python3-pypff, libpst's
// readpst) and the independent checker, through the scripts in tests/pst/checker.

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>

namespace plumbrae::testing {

/// Standard output of a shell command; its exit status goes to `status`.
inline std::string commandOutput(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        output.append(buffer.data(), got);
    }
    status = pclose(pipe);
    return output;
}

/// A path quoted for the shell (the paths here hold spaces but no single quotes).
inline std::string shellQuoted(const std::string& path) {
    return "'" + path + "'";
}

inline std::string checkerScript(const std::string& script) {
    return "/usr/bin/python3 " + shellQuoted(std::string(PLUMBRAE_CHECKER_DIR) + "/" + script);
}

/// The JSON a reader script prints for a PST file; a failing script fails the test.
inline nlohmann::json readPstWith(const std::string& script, const std::string& pst) {
    int status = 0;
    const std::string out = commandOutput(checkerScript(script) + " " + shellQuoted(pst), status);
    EXPECT_EQ(status, 0) << script << " failed on " << pst << "\n" << out;
    return nlohmann::json::parse(out.empty() ? "{}" : out);
}

/// Runs the independent structure checker; returns its findings ("" when the file passes).
inline std::string pstCheckerFindings(const std::string& pst) {
    int status = 0;
    const std::string out =
        commandOutput(checkerScript("pst_check.py") + " " + shellQuoted(pst) + " 2>&1", status);
    return status == 0 ? std::string() : out + " (status " + std::to_string(status) + ")";
}

} // namespace plumbrae::testing
