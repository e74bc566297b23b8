// The window during and after a conversion run: progress, the closing message and its box,
// closing the window mid-run, and Clear after a run.
#include "tests/ui/window_fixture.h"
#include "ui/services/dialogs.h"

#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <regex>
#include <thread>

namespace plumbrae::testing {
namespace {

Texts lines(const std::string& text) {
    Texts out;
    for (std::size_t begin = 0, end = 0; end != std::string::npos; begin = end + 2) {
        end = text.find("\r\n", begin);
        out.push_back(text.substr(begin, end - begin));
    }
    return out;
}

Texts folderEntries(const std::filesystem::path& folder) {
    Texts names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RunTest, ShowsProgressAndLocksTheCommandsWhileItRuns) {
    const char* const commands[] = {"cmdAdd",   "CmdAddFolder", "cmdClear1",       "OptvCards",
                                    "OptExcel", "OptPST",       "CmdZimbraConvert"};
    Texts seen;
    output.onWrite = [&](std::int32_t number) {
        if (number == 2) {
            // The display follows the run at a bounded rate: after this pause it is due again.
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        }
        if (number == 3) {
            seen = {child<ui::CaptionFrame>("FrameConversion")->title().toStdString(),
                    labelText("LblCurrentDBX"), labelText("LblProgessCurrent"),
                    std::to_string(child<QProgressBar>("ProgressBar1")->value()),
                    std::to_string(child<QListView>("grdFiles1")->currentIndex().row())};
            for (const auto* name : commands) {
                if (enabled(name)) {
                    seen.emplace_back(name);
                }
            }
            EXPECT_FALSE(drop({local(dir.path() / "in")}));
        }
    };
    click("CmdZimbraConvert");
    const auto out = dir.folder() + "out/";
    EXPECT_EQ(output.calls, (Texts{"open " + out, "write 1", "write 2", "write 3", "close"}));
    // Writers get trimmed copies; the record as read keeps its spaces.
    EXPECT_EQ(output.written.at(2).FullName, "Ann  Lee");
    EXPECT_EQ(output.asRead.at(2).FullName, " Ann  Lee");
    EXPECT_EQ(seen, (Texts{"Details : Converting - (2 of 3) file(s)",
                           "Converting Contacts... from (" + dir.path().string().substr(1) + "/in)",
                           "Contact(s) 2 (of 3)", "66", "2"}));
    EXPECT_EQ(labelText("LblProgessCurrent"), "Contact(s) 3 (of 3)");
    EXPECT_EQ(rows(), files);
    EXPECT_EQ(child<QListView>("grdFiles1")->currentIndex().row(), 2);
    for (const auto* name : commands) {
        EXPECT_EQ(enabled(name), std::string(name) != "CmdZimbraConvert") << name;
    }
    EXPECT_EQ(dialogs.texts, Texts{core::ConversionRun::SuccessText});
}

// The lines after the first of the closing message name what the option wrote and where; a
// vCard run names the one file of every card on a line of its own.
TEST_F(RunTest, ClosingMessageNamesWhatEachOptionWrote) {
    useRealOutputs = true;
    const std::string folder = dir.path().string() + "/out ";
    const std::pair<const char*, Texts> options[] = {
        {"OptvCards",
         {"Each contact has its own vCard file \\(\\.vcf\\) in the folder " + folder + "vcards\\.",
          "All contacts are also in ZimbraContacts\\.vcf, for importing in one step\\."}},
        {"OptExcel",
         {"The contacts are in ZimbraContacts\\.xls and, every value exactly as read, "
          "in ZimbraContacts\\.csv, in the folder " +
              folder + "excel\\.",
          "The worksheet is in code page Windows-1252 \\(Western European\\); no cell reads "
          "\"\\?\"\\."}},
        {"OptPST",
         {"Open Outlook to view the converted PST file \"Zimbracontacts[0-9. ]+\\.pst\" "
          "in the folder " +
          folder + "pst\\."}}};
    dialogs.folders.clear();
    for (const auto& [option, written] : options) {
        std::string name = std::string(option).substr(3);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        std::filesystem::create_directories(folder + name);
        dialogs.folders.push_back(folder + name);
        click(option);
        click("CmdZimbraConvert");
        const auto shown = lines(dialogs.texts.back());
        ASSERT_EQ(shown.size(), written.size() + 1) << dialogs.texts.back();
        EXPECT_EQ(shown[0], core::ConversionRun::SuccessText);
        for (std::size_t i = 0; i < written.size(); ++i) {
            EXPECT_TRUE(std::regex_match(shown[i + 1], std::regex(written[i]))) << shown[i + 1];
        }
    }
}

// Whatever the run, the box fits a 1024 x 768 screen: it shows counts and the first few names,
// and its details area (scrollable) holds every damaged file and every value left out.
TEST_F(RunTest, ClosingBoxFitsASmallScreenAndItsDetailsHoldEveryLine) {
    Texts damaged;
    for (int i = 0; i < 500; ++i) {
        damaged.push_back(
            dir.write("damaged/" + std::string(120, 'd') + std::to_string(i) + ".meta",
                      "no contact here")
                .string());
    }
    queueFiles(damaged);
    core::MessageList omitted{"Values longer than 255 characters were left out:", {}};
    for (int i = 1; i <= 500; ++i) {
        omitted.entries.push_back("Contact " + std::to_string(i) + " (" + std::string(150, 'n') +
                                  "): Notes");
    }
    output.notesLists = {omitted};
    click("CmdZimbraConvert");
    const auto message = dialogs.shown.back().message;
    const auto every = lines(message.details);
    ASSERT_EQ(every.size(), 1U + 1U + 500U + 1U + 500U);
    EXPECT_EQ(every.at(1), "500 file(s) could not be read and were not converted:");
    EXPECT_EQ(every.at(501).rfind(damaged.back(), 0), 0U);
    EXPECT_EQ(every.back(), omitted.entries.back());

    const auto box = ui::messageBox(&window, message, ui::MessageButtons::Ok);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    const auto fits = [&] {
        const QSize size = box->frameGeometry().size();
        return size.width() <= 1024 && size.height() <= 768;
    };
    EXPECT_TRUE(fits()) << box->frameGeometry().width() << "x" << box->frameGeometry().height();
    for (auto* button : box->buttons()) {
        if (box->buttonRole(button) == QMessageBox::ActionRole) {
            button->click(); // "Show Details..."
        }
    }
    QApplication::processEvents();
    auto* details = box->findChild<QTextEdit*>();
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->isVisible());
    EXPECT_EQ(details->toPlainText().toStdString(), [&] {
        std::string text;
        for (const auto& line : every) {
            text += (text.empty() ? "" : "\n") + line;
        }
        return text;
    }());
    EXPECT_TRUE(fits()) << box->frameGeometry().width() << "x" << box->frameGeometry().height();
}

// Closing the window during a run asks as Exit does: No lets the run go on, Yes stops it after
// the current file with its outputs finished.
TEST_F(RunTest, ClosingTheWindowAsksAndOnYesStopsAfterTheCurrentFile) {
    dialogs.folders.push_front("");
    click("CmdZimbraConvert");
    EXPECT_TRUE(output.calls.empty());
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

    const auto out = "open " + dir.folder() + "out/";
    output.onWrite = [&](std::int32_t number) {
        if (number == 1) {
            window.close();
        }
    };
    dialogs.answers = {MessageAnswer::No};
    click("CmdZimbraConvert");
    EXPECT_EQ(output.calls, (Texts{out, "write 1", "write 2", "write 3", "close"}));
    EXPECT_EQ(dialogs.texts,
              (Texts{"Are you sure you want to exit now?", core::ConversionRun::SuccessText}));
    EXPECT_TRUE(window.isVisible());

    dialogs.folders.push_back(dir.folder() + "out");
    dialogs.answers = {MessageAnswer::Yes};
    output.calls.clear();
    click("OptvCards");
    click("CmdZimbraConvert");
    EXPECT_EQ(output.calls, (Texts{out, "write 1", "abandon"}));
    EXPECT_EQ(dialogs.texts.back(), "Are you sure you want to exit now?");
    EXPECT_FALSE(window.isVisible());
}

// A PST run that the user closes leaves a committed file with the contacts saved so far.
TEST_F(RunTest, ClosingDuringAPstRunLeavesACompleteFile) {
    useRealOutputs = true;
    std::filesystem::create_directories(dir.path() / "out");
    click("OptPST");
    dialogs.answers = {MessageAnswer::Yes};
    // The user closes the window as soon as the run lets the window process events.
    dialogs.onChooseFolder = [this] { QTimer::singleShot(0, &window, [this] { window.close(); }); };
    click("CmdZimbraConvert");
    EXPECT_FALSE(window.isVisible());
    const auto written = folderEntries(dir.path() / "out");
    ASSERT_EQ(written.size(), 1U);
    EXPECT_TRUE(std::regex_match(written[0], std::regex("Zimbracontacts[0-9. ]+\\.pst")));
    EXPECT_GT(std::filesystem::file_size(dir.path() / "out" / written[0]), 0U);
}

// After Clear the details of the last run go: captions, bar and the list's sideways scroll.
// A long folder loses its middle in the details line, and its whole text is the tooltip.
TEST_F(RunTest, ClearPutsTheDetailsBackAndALongFolderIsElidedInTheMiddle) {
    std::string deep = "in";
    for (int level = 0; level < 8; ++level) {
        deep += "/folder with a long name " + std::to_string(level);
    }
    queueFiles({dir.write(deep + "/x.meta", "d3:fldd9:firstName3:Anne").string()});
    click("CmdZimbraConvert");
    auto* folderLabel = child<QLabel>("LblCurrentDBX");
    const auto shown = folderLabel->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Converting Contacts... from (")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("long name 7)"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(folderLabel->fontMetrics().horizontalAdvance(shown), folderLabel->width());
    EXPECT_EQ(folderLabel->toolTip().toStdString(),
              "Converting Contacts... from (" + dir.path().string().substr(1) + "/" + deep + ")");

    auto* scroll = child<QListView>("grdFiles1")->horizontalScrollBar();
    scroll->setValue(scroll->maximum());
    EXPECT_GT(scroll->value(), 0);
    dialogs.answers = {MessageAnswer::Yes};
    click("cmdClear1");
    EXPECT_EQ(child<ui::CaptionFrame>("FrameConversion")->title(), QStringLiteral(" Details"));
    EXPECT_EQ(labelText("LblCurrentDBX"), "Converting Contacts...");
    EXPECT_EQ(folderLabel->toolTip(), QString());
    EXPECT_EQ(labelText("LblProgessCurrent"), "Contact(s) 0 (of 0)");
    EXPECT_EQ(child<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_EQ(labelText("lblCount1"), "0 files");
}

} // namespace
} // namespace plumbrae::testing
