#include "core/conversion_run.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace plumbrae::core {
namespace {

/// An output that records what the run asks of it and can be told to fail.
class RecordingOutput : public ContactOutput {
public:
    std::vector<std::string> calls;
    std::vector<ContactRecord> written;
    std::vector<ContactRecord> asRead;
    int failOnWrite = 0; // fail when writing this contact number
    bool failOpen = false;
    bool endsOnReadFailure = false;
    std::string refusal;

    [[nodiscard]] std::string checkQueueSize(std::int32_t /*rows*/) const override {
        return refusal;
    }
    void open(const std::string& folder) override {
        calls.push_back("open " + folder);
        if (failOpen) {
            throw OutputError("cannot create /out/x: permission denied");
        }
    }
    void write(const ContactToWrite& contact) override {
        calls.push_back("write " + std::to_string(contact.contactNumber));
        if (contact.contactNumber == failOnWrite) {
            throw OutputError("disk full");
        }
        written.push_back(contact.trimmed);
        asRead.push_back(contact.asRead);
    }
    [[nodiscard]] bool readFailureEndsRun() const override { return endsOnReadFailure; }
    void close() override { calls.push_back("close"); }
    void abandon() noexcept override { calls.push_back("abandon"); }
};

class ConversionRunTest : public ::testing::Test {
protected:
    RunReport run() {
        ConversionRun conversion(
            host, [this](OutputKind kind) { return kind == OutputKind::None ? nullptr : &output; });
        return conversion.run();
    }

    std::string contact(const std::string& name, const std::string& lastName) {
        return dir
            .write(name, "d3:fldd9:firstName5: Ann 8:lastName" + std::to_string(lastName.size()) +
                             ":" + lastName + "e")
            .string();
    }

    testing::TempDir dir;
    testing::ScriptedHost host;
    RecordingOutput output;
};

// No option, an empty queue and a cancelled folder choice each end the run before any output.
TEST_F(ConversionRunTest, AsksForAnOptionAQueueAndAFolderFirst) {
    host.queue = {""};
    EXPECT_EQ(run().outcome, RunReport::Outcome::NoOption);
    EXPECT_EQ(host.messages.at(0).text, "Please Select Saving Option to Save Contacts");
    host.option = OutputKind::VCards;
    EXPECT_EQ(run().outcome, RunReport::Outcome::Refused);
    EXPECT_TRUE(host.folderTitles.empty());

    host.queue = {contact("a.meta", "Lee")};
    host.messages.clear();
    EXPECT_EQ(run().outcome, RunReport::Outcome::Cancelled);
    EXPECT_EQ(host.folderTitles.back(), "Choose Folder to Save...");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(output.calls.empty());
}

TEST_F(ConversionRunTest, ConvertsEveryFileWithProgressAfterEach) {
    host.option = OutputKind::Excel;
    host.folderAnswer = "/out";
    host.queue = {contact("d/a.meta", "Lee"), contact("d/b.meta", "Kim"),
                  contact("e/c.meta", "Ito")};
    const auto report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
    EXPECT_EQ(report.outputFolder, "/out/");
    EXPECT_EQ(output.calls,
              (std::vector<std::string>{"open /out/", "write 1", "write 2", "write 3", "close"}));
    // Writers get trimmed copies; the record as read keeps its spaces.
    EXPECT_EQ(output.written[0].FirstName, "Ann");
    EXPECT_EQ(output.written[0].FullName, "Ann  Lee");
    EXPECT_EQ(output.asRead[0].FullName, " Ann  Lee");

    ASSERT_EQ(host.progress.size(), 3U);
    const auto& second = host.progress[1];
    EXPECT_EQ(second.frameCaption, "Details : Converting - (2 of 3) file(s)");
    EXPECT_EQ(second.countCaption, "Contact(s) 2 (of 3)");
    EXPECT_EQ(second.folderCaption,
              "Converting Contacts... from (" + dir.path().string().substr(1) + "/d)");
    EXPECT_EQ(second.value, static_cast<float>(2.0 / 3.0 * 100.0));
    EXPECT_EQ(host.currentRows, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(host.disableCalls, 3);
    EXPECT_EQ(host.prepareCalls, 1);
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(
        host.messages[0].text,
        "Zimbra Contacts converted successfully.\r\nOpen Outlook to view converted PST file.");
}

TEST_F(ConversionRunTest, SkipsUnreadableFilesAndSaysWhich) {
    host.option = OutputKind::VCards;
    host.folderAnswer = "/out/";
    host.queue = {contact("a.meta", "Lee"), (dir.path() / "gone.meta").string(),
                  dir.write("bad.meta", "no metadata here").string(), contact("b.meta", "Kim")};
    const auto report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
    EXPECT_EQ(output.calls,
              (std::vector<std::string>{"open /out/", "write 1", "write 4", "close"}));
    ASSERT_EQ(report.failures.size(), 2U);
    EXPECT_EQ(report.failures[0].contactNumber, 2);
    EXPECT_EQ(report.failures[0].reason, "cannot open the file: no such file or folder");
    const auto& text = host.messages.back().text;
    EXPECT_EQ(text.rfind("2 of 4 Zimbra Contacts converted.\r\n", 0), 0U) << text;
    EXPECT_NE(text.find("gone.meta: cannot open the file"), std::string::npos);
    EXPECT_NE(text.find("bad.meta: no contact fields"), std::string::npos);
    EXPECT_EQ(host.progress.size(), 4U) << "progress moves on for skipped files too";
}

TEST_F(ConversionRunTest, ListsTwentyFailuresThenCountsTheRest) {
    host.option = OutputKind::VCards;
    host.folderAnswer = "/out";
    host.queue.clear();
    for (int i = 0; i < 25; ++i) {
        host.queue.push_back((dir.path() / ("missing" + std::to_string(i))).string());
    }
    run();
    const auto& text = host.messages.back().text;
    EXPECT_NE(text.find("missing19:"), std::string::npos);
    EXPECT_EQ(text.find("missing20:"), std::string::npos);
    EXPECT_NE(text.find("\r\nand 5 more"), std::string::npos);
}

// A failed write, a read failure the output cannot pass over and a stop request each end the
// run after the current file, abandoning the output; an output that cannot be opened or cannot
// hold the queue refuses the run before any file is read.
TEST_F(ConversionRunTest, FailuresAndStopsEndTheRunAndAbandonTheOutput) {
    host.option = OutputKind::Pst;
    host.folderAnswer = "/out";
    host.queue = {contact("a.meta", "Lee"), contact("b.meta", "Kim"),
                  (dir.path() / "gone.meta").string(), contact("c.meta", "Ito")};
    output.failOnWrite = 2;
    EXPECT_EQ(run().outcome, RunReport::Outcome::Failed);
    EXPECT_EQ(output.calls,
              (std::vector<std::string>{"open /out/", "write 1", "write 2", "abandon"}));
    EXPECT_EQ(host.messages.back().text, "disk full");

    output.calls.clear();
    output.failOnWrite = 0;
    output.endsOnReadFailure = true;
    host.progress.clear();
    EXPECT_EQ(run().outcome, RunReport::Outcome::Failed);
    EXPECT_EQ(output.calls,
              (std::vector<std::string>{"open /out/", "write 1", "write 2", "abandon"}));
    EXPECT_NE(host.messages.back().text.find("gone.meta"), std::string::npos);
    EXPECT_EQ(host.progress.size(), 2U) << "the display shows the last completed file";

    output.calls.clear();
    output.endsOnReadFailure = false;
    host.messages.clear();
    host.progress.clear();
    host.stopAfter = 1;
    EXPECT_EQ(run().outcome, RunReport::Outcome::Interrupted);
    EXPECT_EQ(output.calls, (std::vector<std::string>{"open /out/", "write 1", "abandon"}));
    EXPECT_TRUE(host.messages.empty());

    output.calls.clear();
    output.failOpen = true;
    EXPECT_EQ(run().outcome, RunReport::Outcome::Refused);
    EXPECT_EQ(output.calls, (std::vector<std::string>{"open /out/"}));
    output.refusal = "too many";
    host.folderTitles.clear();
    EXPECT_EQ(run().outcome, RunReport::Outcome::Refused);
    EXPECT_TRUE(host.folderTitles.empty());
}

} // namespace
} // namespace plumbrae::core
