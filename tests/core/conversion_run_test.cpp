#include "core/closing_message.h"
#include "core/conversion_run.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace plumbrae::core {
namespace {

using Calls = std::vector<std::string>;
using Outcome = RunReport::Outcome;

class ConversionRunTest : public ::testing::Test {
protected:
    Outcome run(OutputKind option, std::vector<std::string> queue) {
        host.option = option;
        host.queue = std::move(queue);
        output.calls.clear();
        host.messages.clear();
        host.progress.clear();
        host.folderTitles.clear();
        report = ConversionRun(host, [this](auto) { return &output; }).run();
        return report.outcome;
    }
    std::string contact(const std::string& name) {
        return dir.write(name, "d3:fldd8:lastName3:Leee").string();
    }
    std::string missing(const std::string& name) { return (dir.path() / name).string(); }

    testing::TempDir dir;
    testing::ScriptedHost host;
    testing::RecordingOutput output;
    RunReport report;
};

// No option, an empty queue, a cancelled folder choice and an output that refuses the queue or
// cannot be opened each end the run before any file is read.
TEST_F(ConversionRunTest, EndsBeforeReadingWithoutAnOptionAQueueAFolderOrAnOutput) {
    const auto a = contact("a.meta");
    EXPECT_EQ(run(OutputKind::None, {a}), Outcome::NoOption);
    EXPECT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(run(OutputKind::VCards, {""}), Outcome::Refused);
    EXPECT_EQ(run(OutputKind::VCards, {}), Outcome::Refused);
    EXPECT_TRUE(host.folderTitles.empty());
    EXPECT_EQ(run(OutputKind::VCards, {a}), Outcome::Cancelled);
    EXPECT_EQ(host.folderTitles.size(), 1U);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(output.calls.empty());

    host.folderAnswer = "/out";
    output.failOpen = true;
    EXPECT_EQ(run(OutputKind::Pst, {a}), Outcome::Refused);
    EXPECT_EQ(output.calls, Calls{"open /out/"});
    EXPECT_EQ(host.messages.at(0).text, "cannot create /out/x: permission denied");
    output.refusal = "too many";
    EXPECT_EQ(run(OutputKind::Pst, {a}), Outcome::Refused);
    EXPECT_TRUE(host.folderTitles.empty());
    EXPECT_EQ(host.messages.at(0).text, "too many");
}

// The run keeps one record for all its contacts: nothing of one contact reaches the next.
TEST_F(ConversionRunTest, EachContactStartsFromAnEmptyRecord) {
    host.folderAnswer = "/out/";
    const std::string name(40, 'a');
    const auto full =
        dir.write("full.meta", "d3:fldd9:firstName42:  " + name +
                                   "8:lastName5:  Lee5:notes21:a note that is long  e");
    EXPECT_EQ(run(OutputKind::VCards, {full, contact("b.meta"), missing("c.meta"), full}),
              Outcome::Completed);
    ContactRecord first;
    first.FirstName = name;
    first.LastName = "Lee";
    first.FullName = name + "   Lee";
    first.Comments = "a note that is long";
    ContactRecord second;
    second.LastName = second.FullName = "Lee";
    EXPECT_EQ(output.written, (std::vector<ContactRecord>{first, second, first}));
    EXPECT_EQ(output.asRead.at(1).FullName, " Lee");
    EXPECT_EQ(output.asRead.at(2).Comments, "a note that is long  ");
}

// Files are read ahead on other threads; the output still gets them in queue order, each whole,
// also past the depth read ahead and with files too large to be read ahead among them.
TEST_F(ConversionRunTest, HandsFilesReadAheadOverInQueueOrder) {
    host.folderAnswer = "/out/";
    std::vector<std::string> queue;
    const std::string large(300 * 1024, 'n');
    for (int i = 0; i < 150; ++i) {
        const std::string name = std::to_string(i);
        const std::string notes = i % 40 == 7 ? large : name;
        queue.push_back(dir.write(name + ".meta",
                                  "d3:fldd8:lastName" + std::to_string(name.size()) + ":" + name +
                                      "5:notes" + std::to_string(notes.size()) + ":" + notes + "e")
                            .string());
    }
    queue[100] = missing("gone.meta");
    EXPECT_EQ(run(OutputKind::VCards, queue), Outcome::Completed);
    ASSERT_EQ(output.written.size(), 149U);
    for (int i = 0, at = 0; i < 150; ++i) {
        if (i != 100) {
            const auto& written = output.written[static_cast<std::size_t>(at++)];
            EXPECT_EQ(written.LastName, std::to_string(i));
            EXPECT_EQ(written.Comments.size(),
                      i % 40 == 7 ? large.size() : written.LastName.size());
        }
    }
    ASSERT_EQ(report.failures.size(), 1U);
    EXPECT_EQ(report.failures[0].contactNumber, 101);
}

// The box names the first few files and values; its details, and so the terminal, every one.
TEST_F(ConversionRunTest, SkipsUnreadableFilesAndSaysWhichInAShortBoxAndWholeDetails) {
    host.folderAnswer = "/out/";
    output.filesLines = {"Each contact is somewhere."};
    EXPECT_EQ(run(OutputKind::VCards, {contact("a.meta")}), Outcome::Completed);
    EXPECT_EQ(host.messages.back().text,
              std::string(ConversionRun::SuccessText) + "\r\nEach contact is somewhere.");
    EXPECT_EQ(host.messages.back().details, "");

    EXPECT_EQ(run(OutputKind::VCards,
                  {contact("a.meta"), missing("gone.meta"),
                   dir.write("bad.meta", "no metadata here").string(), contact("b.meta")}),
              Outcome::Completed);
    EXPECT_EQ(output.calls, (Calls{"open /out/", "write 1", "write 4", "close"}));
    EXPECT_EQ(report.failures.size(), 2U);
    const auto& text = host.messages.back().text;
    EXPECT_EQ(text.rfind("2 of 4 Zimbra Contacts converted.\r\nEach contact is somewhere.\r\n", 0),
              0U)
        << text;
    EXPECT_NE(text.find("gone.meta: cannot open the file"), std::string::npos);
    EXPECT_NE(text.find("bad.meta: no contact fields"), std::string::npos);
    EXPECT_EQ(host.progress.size(), 4U) << "progress moves on for skipped files too";

    std::vector<std::string> queue;
    for (int i = 0; i < 25; ++i) {
        queue.push_back(missing(std::string(200, 'x') + std::to_string(i)));
    }
    output.notesLists = {{"Values left out:", std::vector<std::string>(500, "Contact 1: Notes")}};
    run(OutputKind::VCards, queue);
    const auto& box = host.messages.back();
    const auto lines = [](const std::string& all) {
        std::vector<std::string> out;
        for (std::size_t begin = 0, end = 0; end != std::string::npos; begin = end + 2) {
            end = all.find("\r\n", begin);
            out.push_back(all.substr(begin, end - begin));
        }
        return out;
    };
    const auto shown = lines(box.text);
    EXPECT_EQ(shown.size(), 12U) << box.text;
    for (const auto& line : shown) {
        EXPECT_LE(line.size(), ClosingMessage::LineLengthInBox + 2) << line;
    }
    EXPECT_EQ(shown.at(3).rfind("xxx", 0), 0U) << "the box names the file without its folder";
    EXPECT_TRUE(shown.at(3).ends_with("0: cannot open the file: no such file or folder"));
    EXPECT_NE(box.text.find("\r\nand 22 more"), std::string::npos);
    EXPECT_NE(box.text.find("\r\nand 497 more"), std::string::npos);
    const auto whole = lines(box.details);
    EXPECT_EQ(whole.size(), 2U + 1U + 25U + 1U + 500U);
    EXPECT_EQ(whole.at(3), missing(std::string(200, 'x') + "0") +
                               ": cannot open the file: no such file or folder");
    EXPECT_EQ(whole.back(), "Contact 1: Notes");
}

TEST(ClosingMessage, ElidesTheMiddleOfALongLineBetweenCharacters) {
    // clang-format off
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"abcdefgh", 8, "abcdefgh"}, {"abcdefgh", 7, "abc\u2026fgh"}, {"abcdefgh", 6, "abc\u2026gh"},
        {"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 5, "\u00e9\u00e9\u2026\u00e9\u00e9"}, {"ab", 1, "ab"}};
    // clang-format on
    for (const auto& [text, length, elided] : cases) {
        EXPECT_EQ(elideMiddle(text, length), elided) << text << " " << length;
    }
}

// Groups go to the output beside the contacts, each counted with its members; an output without
// a place for them leaves them named as not converted. Either way the run is complete.
TEST_F(ConversionRunTest, HandsGroupsToTheOutputAndCountsTheirMembers) {
    host.folderAnswer = "/out";
    const std::vector<std::string> queue = {
        contact("a.meta"),
        dir.write("g.meta", "d3:fldd5:dlist10:a@x, B <b>8:nickname4:Club4:type5:groupe").string(),
        dir.write("e.meta", "d3:fldd8:fullName5:Empty4:type5:groupe").string()};
    EXPECT_EQ(run(OutputKind::Pst, queue), Outcome::Completed);
    EXPECT_EQ(output.calls, (Calls{"open /out/", "write 1", "group 2", "group 3", "close"}));
    EXPECT_EQ(output.groups.at(0),
              (ContactGroup{"Club", {GroupMember{"", "a@x"}, GroupMember{"B", "b"}}}));
    EXPECT_TRUE(report.isComplete());
    EXPECT_EQ(host.messages.back().text, std::string(ConversionRun::SuccessText) +
                                             "\r\n2 contact groups were converted (2 members)");

    output.takesGroups = false;
    output.groups.clear();
    EXPECT_EQ(run(OutputKind::Pst, {queue[1]}), Outcome::Completed);
    EXPECT_TRUE(report.isComplete());
    EXPECT_EQ(host.messages.back().text, std::string(ConversionRun::SuccessText) +
                                             "\r\n1 contact group was not converted: Club");
}

// A failed write, a read failure the output cannot pass over and a stop request each end the
// run after the current file, abandoning the output.
TEST_F(ConversionRunTest, FailuresAndStopsEndTheRunAndAbandonTheOutput) {
    host.folderAnswer = "/out";
    const std::vector<std::string> queue = {contact("a.meta"), contact("b.meta"),
                                            missing("gone.meta"), contact("c.meta")};
    output.onWrite = [](std::int32_t number) {
        if (number == 2) {
            throw OutputError("disk full");
        }
    };
    EXPECT_EQ(run(OutputKind::Pst, queue), Outcome::Failed);
    EXPECT_EQ(output.calls, (Calls{"open /out/", "write 1", "write 2", "abandon"}));
    EXPECT_EQ(host.messages.back().text, "disk full");

    output.onWrite = nullptr;
    output.endsOnReadFailure = true;
    EXPECT_EQ(run(OutputKind::Pst, queue), Outcome::Failed);
    EXPECT_EQ(output.calls, (Calls{"open /out/", "write 1", "write 2", "abandon"}));
    EXPECT_NE(host.messages.back().text.find("gone.meta"), std::string::npos);
    EXPECT_EQ(host.progress.size(), 2U) << "the display shows the last completed file";

    output.endsOnReadFailure = false;
    host.stopAfter = 1;
    EXPECT_EQ(run(OutputKind::Pst, queue), Outcome::Interrupted);
    EXPECT_EQ(output.calls, (Calls{"open /out/", "write 1", "abandon"}));
    EXPECT_TRUE(host.messages.empty());
}

} // namespace
} // namespace plumbrae::core
