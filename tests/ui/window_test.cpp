#include "core/path_text.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/caption_frame.h"
#include "ui/file_queue_model.h"
#include "ui/frm_step1.h"
#include "ui/services/mod_main.h"
#include "ui/services/registry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace plumbrae::testing {
namespace {

using plumbrae::testing::PrintTo;

using ui::CaptionFrame;
using ui::MessageAnswer;
using ui::MessageButtons;

/// An output that records what the run hands it and lets a test look at the window mid-run.
class RecordingOutput : public core::ContactOutput {
public:
    std::function<void(std::int32_t)> onWrite;
    std::vector<std::int32_t> written;
    std::string openedFolder;
    int closed = 0;
    int abandoned = 0;

    void open(const std::string& folder) override { openedFolder = folder; }
    void write(const core::ContactToWrite& contact) override {
        written.push_back(contact.contactNumber);
        if (onWrite) {
            onWrite(contact.contactNumber);
        }
    }
    void close() override { ++closed; }
    void abandon() noexcept override { ++abandoned; }
};

std::string metaFile(const std::string& firstName) {
    return "junk\r\nd3:fldd9:firstName" + std::to_string(firstName.size()) + ":" + firstName + "e";
}

class WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    ui::FileRegistry registry{dir.path() / "registry"};
    FakeDialogs dialogs;
    RecordingOutput output;
    ui::frmStep1 window{dialogs, registry,
                        [this](core::OutputKind kind) -> core::ContactOutput* {
                            return kind == core::OutputKind::None ? nullptr : &output;
                        },
                        ""};

    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    template <class Widget = QWidget> Widget* child(const char* name) {
        auto* found = window.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char* name) {
        QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton);
    }
    bool enabled(const char* name) { return child(name)->isEnabled(); }
    std::string labelText(const char* name) { return child<QLabel>(name)->text().toStdString(); }
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        for (std::int32_t row = 0; row < window.queue().rows(); ++row) {
            out.emplace_back(window.queue().text(row));
        }
        return out;
    }
    void queueFiles(std::vector<std::string> files) {
        dialogs.fileSelections.push_back(std::move(files));
        click("cmdAdd");
    }
};

TEST_F(WindowTest, StartsEmptyAndAnyOptionEnablesConvertAlone) {
    EXPECT_EQ(rows(), std::vector<std::string>{""});
    EXPECT_EQ(window.savingOption(), core::OutputKind::None);
    EXPECT_FALSE(enabled("CmdZimbraConvert"));
    click("OptPST");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    click("OptvCards");
    EXPECT_FALSE(child<QRadioButton>("OptPST")->isChecked());
    EXPECT_EQ(window.savingOption(), core::OutputKind::VCards);
    EXPECT_EQ(rows(), std::vector<std::string>{""});
}

TEST_F(WindowTest, AddFilesFlipsTheSettingsFirstAndQueuesInTheDialogsOrder) {
    std::optional<std::uint32_t> hiddenWhenShown;
    dialogs.onOpenFiles = [&] { hiddenWhenShown = registry.read("Hidden"); };
    queueFiles({"/x/c.meta", "/x/a.meta", "/x/b.meta"});
    EXPECT_EQ(hiddenWhenShown, 1U); // a new store reads as 2; the flip came before the dialog
    ASSERT_EQ(dialogs.openFilesCalls.size(), 1U);
    EXPECT_EQ(dialogs.openFilesCalls[0].filter, "Zimbra Desktop Exported Contacts (*.meta)");
    EXPECT_TRUE(dialogs.openFilesCalls[0].showHidden);
    EXPECT_EQ(rows(), (std::vector<std::string>{"/x/c.meta", "/x/a.meta", "/x/b.meta"}));
    EXPECT_EQ(labelText("lblCount1"), "3 Zimbra Messages");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

    queueFiles({"/x/c.meta"});
    EXPECT_EQ(rows().size(), 4U);
    EXPECT_EQ(rows().back(), "/x/c.meta");
    EXPECT_EQ(labelText("lblCount1"), "4 Zimbra Messages");
    EXPECT_FALSE(dialogs.openFilesCalls[1].showHidden); // flipped back
}

TEST_F(WindowTest, AddFolderQueuesMetaNamesInAnyCaseUnchangedAndCountsThem) {
    for (const auto* name :
         {"A.META", "a.Meta", "a.meta ", "a.meta.txt", "a.metadata", "sub/z.meta"}) {
        dir.write(std::filesystem::path("tree") / name, "");
    }
    const auto root = (dir.path() / "tree").string();
    dialogs.folders.push_back(root);
    click("CmdAddFolder");

    EXPECT_EQ(dialogs.folderTitles, std::vector<std::string>{"Choose Source Folder..."});
    EXPECT_EQ(rows(), (std::vector<std::string>{root + "/A.META", root + "/a.Meta",
                                                root + "/a.meta ", root + "/sub/z.meta"}));
    EXPECT_EQ(labelText("lblCount1"), "4 Zimbra Messages");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].message.text, "4 Contacts Queued for Conversion.");
    EXPECT_EQ(dialogs.shown[0].message.caption, "Plumbrae");
    EXPECT_EQ(dialogs.shown[0].message.icon, core::MessageIcon::None);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, AddFolderWithoutMetaFilesDisablesConvertAndKeepsEarlierRows) {
    queueFiles({"/x/a.meta"});
    dir.write("tree/notes.txt", "");
    dialogs.folders.push_back((dir.path() / "tree").string());
    click("CmdAddFolder");
    EXPECT_FALSE(enabled("CmdZimbraConvert"));
    EXPECT_EQ(rows(), std::vector<std::string>{"/x/a.meta"});
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].message.text, "0 Contacts Queued for Conversion.");
}

TEST_F(WindowTest, ClosingTheWindowDuringAddFolderStopsQueueingWithoutAMessage) {
    for (int i = 0; i < 3; ++i) {
        dir.write("tree/" + std::to_string(i) + ".meta", "");
    }
    dialogs.folders.push_back((dir.path() / "tree").string());
    // The close arrives with the first events the window processes while it queues.
    dialogs.onChooseFolder = [&] { QTimer::singleShot(0, &window, [&] { window.close(); }); };
    click("CmdAddFolder");
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_LT(rows().size(), 3U);
}

TEST_F(WindowTest, AddFolderNamesTheFoldersItCouldNotRead) {
    dir.write("tree/closed/hidden.meta", "");
    dir.write("tree/open.meta", "");
    std::filesystem::permissions(dir.path() / "tree" / "closed", std::filesystem::perms::none);
    if (access((dir.path() / "tree" / "closed").c_str(), R_OK) == 0) {
        GTEST_SKIP() << "permissions do not stop this user (root) from listing folders";
    }
    dialogs.folders.push_back((dir.path() / "tree").string());
    click("CmdAddFolder");
    EXPECT_EQ(rows().size(), 1U);
    ASSERT_EQ(dialogs.shown.size(), 1U);
    const auto& text = dialogs.shown[0].message.text;
    EXPECT_EQ(text.rfind("1 Contacts Queued for Conversion.\r\n", 0), 0U) << text;
    EXPECT_NE(text.find((dir.path() / "tree" / "closed").string() + "/"), std::string::npos);
}

// Clear asks only when there is something to clear; No keeps every row, Yes leaves one empty
// row and the option, and the queue takes new files afterwards.
TEST_F(WindowTest, ClearAsksFirstAndEmptiesTheQueueOnYes) {
    click("cmdClear1");
    EXPECT_TRUE(dialogs.shown.empty());
    queueFiles({"/x/a.meta", "/x/b.meta"});
    click("OptExcel");
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes};
    click("cmdClear1");
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(rows().size(), 2U);
    click("cmdClear1");
    EXPECT_EQ(rows(), std::vector<std::string>{""});
    EXPECT_EQ(labelText("lblCount1"), "0 files");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    queueFiles({"/x/c.meta"});
    EXPECT_EQ(rows(), std::vector<std::string>{"/x/c.meta"});
    EXPECT_EQ(labelText("lblCount1"), "1 Zimbra Messages");
}

TEST_F(WindowTest, ExitAnsweredNoChangesNothing) {
    queueFiles({"/x/a.meta"});
    click("OptPST");
    dialogs.answers.push_back(MessageAnswer::No);
    click("cmdEnd");
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].message.text, "Are you sure you want to exit now?");
    EXPECT_EQ(dialogs.shown[0].message.icon, core::MessageIcon::Question);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(rows(), std::vector<std::string>{"/x/a.meta"});
    EXPECT_TRUE(child<QRadioButton>("OptPST")->isChecked());
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

    dialogs.answers.push_back(MessageAnswer::Yes);
    click("cmdEnd");
    EXPECT_FALSE(window.isVisible());
}

class RunTest : public WindowTest {
protected:
    std::vector<std::string> files;

    void SetUp() override {
        WindowTest::SetUp();
        for (const auto* name : {"one", "two", "three"}) {
            files.push_back(
                dir.write(std::string("in/") + name + ".meta", metaFile(name)).string());
        }
        queueFiles(files);
        click("OptvCards");
        dialogs.folders.push_back(dir.folder() + "out");
    }
};

TEST_F(RunTest, ProgressAfterTheSecondOfThreeFiles) {
    struct Seen {
        std::string frame, folder, count;
        float value = 0;
        int bar = 0;
    } seen;
    output.onWrite = [&](std::int32_t number) {
        if (number == 3) {
            seen = Seen{child<CaptionFrame>("FrameConversion")->title().toStdString(),
                        labelText("LblCurrentDBX"), labelText("LblProgessCurrent"),
                        window.progressValue(), child<QProgressBar>("ProgressBar1")->value()};
        }
    };
    click("CmdZimbraConvert");
    EXPECT_EQ(dialogs.folderTitles.back(), "Choose Folder to Save...");
    EXPECT_EQ(output.openedFolder, dir.folder() + "out/");
    EXPECT_EQ(output.written, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(seen.frame, "Details : Converting - (2 of 3) file(s)");
    EXPECT_EQ(seen.count, "Contact(s) 2 (of 3)");
    EXPECT_EQ(seen.folder,
              "Converting Contacts... from (" + core::SourceFolderText(files[1]) + ")");
    EXPECT_EQ(seen.value, static_cast<float>(2.0 / 3.0 * 100.0));
    EXPECT_EQ(seen.bar, 66);
    EXPECT_EQ(labelText("LblProgessCurrent"), "Contact(s) 3 (of 3)");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().message.caption, "Plumbrae");
    EXPECT_EQ(dialogs.shown.back().message.icon, core::MessageIcon::Information);
}

TEST_F(RunTest, CommandsAreDisabledDuringARunAndRestoredAfterIt) {
    const char* const commands[] = {"cmdAdd",   "CmdAddFolder", "cmdClear1",       "OptvCards",
                                    "OptExcel", "OptPST",       "CmdZimbraConvert"};
    std::vector<std::string> enabledDuringRun;
    output.onWrite = [&](std::int32_t number) {
        if (number == 1) {
            for (const auto* name : commands) {
                if (enabled(name)) {
                    enabledDuringRun.emplace_back(name);
                }
            }
        }
    };
    click("CmdZimbraConvert");
    EXPECT_TRUE(enabledDuringRun.empty()) << enabledDuringRun.front();
    for (const auto* name : commands) {
        EXPECT_EQ(enabled(name), std::string(name) != "CmdZimbraConvert") << name;
    }
    EXPECT_TRUE(enabled("cmdEnd"));
}

TEST_F(RunTest, ClosingTheWindowStopsTheRunAfterTheCurrentFile) {
    output.onWrite = [&](std::int32_t number) {
        if (number == 1) {
            window.close();
        }
    };
    click("CmdZimbraConvert");
    EXPECT_EQ(output.written, std::vector<std::int32_t>{1});
    EXPECT_EQ(output.closed + output.abandoned, 1);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(RunTest, CancelledOutputFolderKeepsConvertEnabled) {
    dialogs.folders.clear();
    click("CmdZimbraConvert");
    EXPECT_TRUE(output.written.empty());
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
}

TEST(FileQueueModelTest, BatchesLandAsIfAppendedOneByOne) {
    ui::FileQueueModel queue;
    std::vector<int> insertedCounts;
    QObject::connect(&queue, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) {
                         insertedCounts.push_back(last - first + 1);
                     });
    queue.appendAll({"/a.meta", "/b.meta", "/c.meta"});
    EXPECT_EQ(queue.rows(), 3);
    EXPECT_EQ(queue.text(0), "/a.meta"); // the first file of an empty queue takes row 0
    EXPECT_EQ(queue.text(2), "/c.meta");
    queue.appendAll({"/d.meta"});
    queue.appendAll({});
    EXPECT_EQ(queue.rows(), 4);
    EXPECT_EQ(queue.text(3), "/d.meta");
    EXPECT_EQ(insertedCounts, (std::vector<int>{2, 1}));
    EXPECT_THROW((void)queue.text(4), std::out_of_range);

    queue.clear();
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(queue.rows(), 1);
    EXPECT_EQ(queue.text(0), "");
    queue.append("");
    EXPECT_TRUE(queue.isEmpty()); // an empty path leaves the queue empty, as row 0's text says
}

struct ToggleCase {
    const char* name;
    const char* store; // nullptr: no store file yet
    std::uint32_t hidden, showSuperHidden, hideFileExt;
};

class ToggleHiddenFilesTest : public ::testing::TestWithParam<ToggleCase> {};

TEST_P(ToggleHiddenFilesTest, FlipsTheThreeValues) {
    TempDir dir;
    const auto& param = GetParam();
    if (param.store != nullptr) {
        dir.write("store", param.store);
    }
    ui::FileRegistry registry(dir.path() / "store");
    ui::ToggleHiddenFiles(registry);
    EXPECT_EQ(registry.read("Hidden"), param.hidden);
    EXPECT_EQ(registry.read("ShowSuperHidden"), param.showSuperHidden);
    EXPECT_EQ(registry.read("HideFileExt"), param.hideFileExt);
    EXPECT_EQ(ui::hiddenFilesShown(registry), param.hidden == 1);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, ToggleHiddenFilesTest,
    ::testing::Values(ToggleCase{"HiddenNotShown", "Hidden=2\n", 1, 1, 0},
                      ToggleCase{"HiddenShown", "Hidden=1\nShowSuperHidden=1\nHideFileExt=0\n", 2,
                                 0, 1},
                      ToggleCase{"WithoutHidden", "Other=7\n", 2, 0, 1},
                      ToggleCase{"Unparsable", "Hidden=two\n", 2, 0, 1},
                      ToggleCase{"NewStoreReadsAsWindowsDefaults", nullptr, 1, 1, 0}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace plumbrae::testing

int main(int argc, char** argv) {
    // Tests run without a display unless one is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
