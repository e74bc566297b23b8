#include "core/path_text.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/caption_frame.h"
#include "ui/file_queue_model.h"
#include "ui/frm_step1.h"
#include "ui/services/mod_main.h"
#include "ui/services/registry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

using ui::MessageAnswer;

/// An output that records what the run hands it and lets a test act in the middle of a run.
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

QUrl local(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
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
    /// Drags `urls` onto the queue and drops them; true when the window took the drop.
    bool drop(const QList<QUrl>& urls) {
        QWidget* target = child<QListView>("grdFiles1")->viewport();
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QApplication::processEvents();
        return dropped.isAccepted();
    }
};

TEST_F(WindowTest, AddFilesFlipsHiddenFilesFirstAndQueuesInOrderAfterAnOption) {
    EXPECT_EQ(rows(), std::vector<std::string>{""});
    EXPECT_FALSE(enabled("CmdZimbraConvert"));
    click("OptPST");
    click("OptvCards");
    EXPECT_FALSE(child<QRadioButton>("OptPST")->isChecked());
    EXPECT_EQ(window.savingOption(), core::OutputKind::VCards);
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

    std::optional<std::uint32_t> hiddenWhenShown;
    dialogs.onOpenFiles = [&] { hiddenWhenShown = registry.read("Hidden"); };
    queueFiles({"/x/c.meta", "/x/a.meta"});
    EXPECT_EQ(hiddenWhenShown, 1U); // a new store reads as 2; the flip came before the dialog
    EXPECT_EQ(dialogs.openFilesCalls.at(0).filter, "Zimbra Desktop Exported Contacts (*.meta)");
    queueFiles({"/x/c.meta"});
    EXPECT_FALSE(dialogs.openFilesCalls.at(1).showHidden); // flipped back
    EXPECT_EQ(rows(), (std::vector<std::string>{"/x/c.meta", "/x/a.meta", "/x/c.meta"}));
    EXPECT_EQ(labelText("lblCount1"), "3 Zimbra Messages");
}

// A folder dropped with files queues what Add Folder and Add Files queue and says the same.
TEST_F(WindowTest, AddFolderAndDropQueueContactNamesInAnyCase) {
    for (const auto* name : {"tree/b.META", "tree/a.meta ", "tree/a.meta.txt", "tree/a.metadata",
                             "tree/sub/c.meta", "loose/two.meta", "loose/one.txt"}) {
        dir.write(name, "d3:fldd9:firstName3:Anne");
    }
    dir.write("empty/notes.txt", "");
    const auto tree = dir.path() / "tree";
    dialogs.folders = {(dir.path() / "empty").string(), tree.string()};
    click("CmdAddFolder");
    EXPECT_FALSE(enabled("CmdZimbraConvert"));
    click("CmdAddFolder");
    EXPECT_EQ(rows(),
              (std::vector<std::string>{(tree / "a.meta ").string(), (tree / "b.META").string(),
                                        (tree / "sub" / "c.meta").string()}));
    EXPECT_EQ(dialogs.folderTitles.at(0), "Choose Source Folder...");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    EXPECT_FALSE(drop({local(dir.path() / "loose/one.txt"), local(dir.path() / "missing.meta"),
                       QUrl(QStringLiteral("https://example.org/x.meta"))}));
    EXPECT_TRUE(drop(
        {local(dir.path() / "loose/one.txt"), local(tree), local(dir.path() / "loose/two.meta")}));
    EXPECT_EQ(rows().size(), 7U);
    EXPECT_EQ(rows().back(), (dir.path() / "loose/two.meta").string());
    EXPECT_EQ(labelText("lblCount1"), "7 Zimbra Messages");
    std::vector<std::string> texts;
    for (const auto& shown : dialogs.shown) {
        texts.push_back(shown.message.text);
        EXPECT_EQ(shown.message.caption, "Plumbrae");
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"0 Contacts Queued for Conversion.",
                                               "3 Contacts Queued for Conversion.",
                                               "3 Contacts Queued for Conversion."}));
}

// Clear and Exit ask first; No changes nothing, Yes empties the queue (keeping the option) or
// closes the window.
TEST_F(WindowTest, ClearAndExitAskFirst) {
    click("cmdClear1");
    EXPECT_TRUE(dialogs.shown.empty()); // nothing to clear
    queueFiles({"/x/a.meta", "/x/b.meta"});
    click("OptExcel");
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes, MessageAnswer::No,
                       MessageAnswer::Yes};
    click("cmdClear1");
    EXPECT_EQ(rows().size(), 2U);
    click("cmdClear1");
    EXPECT_EQ(rows(), std::vector<std::string>{""});
    EXPECT_EQ(labelText("lblCount1"), "0 files");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    queueFiles({"/x/c.meta"});
    EXPECT_EQ(rows(), std::vector<std::string>{"/x/c.meta"});
    click("cmdEnd");
    EXPECT_EQ(dialogs.shown.back().message.text, "Are you sure you want to exit now?");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(child<QRadioButton>("OptExcel")->isChecked());
    click("cmdEnd");
    EXPECT_FALSE(window.isVisible());
}

class RunTest : public WindowTest {
protected:
    std::vector<std::string> files;

    void SetUp() override {
        WindowTest::SetUp();
        for (const auto* name : {"one", "two", "three"}) {
            files.push_back(dir.write(std::string("in/") + name + ".meta",
                                      std::string("d3:fldd9:firstName3:") + name + "e")
                                .string());
        }
        queueFiles(files);
        click("OptvCards");
        dialogs.folders.push_back(dir.folder() + "out");
    }
};

TEST_F(RunTest, ShowsProgressAndLocksTheCommandsWhileItRuns) {
    const char* const commands[] = {"cmdAdd",   "CmdAddFolder", "cmdClear1",       "OptvCards",
                                    "OptExcel", "OptPST",       "CmdZimbraConvert"};
    std::vector<std::string> seen;
    output.onWrite = [&](std::int32_t number) {
        if (number == 3) {
            seen = {child<ui::CaptionFrame>("FrameConversion")->title().toStdString(),
                    labelText("LblCurrentDBX"), labelText("LblProgessCurrent"),
                    std::to_string(child<QProgressBar>("ProgressBar1")->value())};
            for (const auto* name : commands) {
                if (enabled(name)) {
                    seen.emplace_back(name);
                }
            }
            EXPECT_FALSE(drop({local(dir.path() / "in")}));
        }
    };
    click("CmdZimbraConvert");
    EXPECT_EQ(dialogs.folderTitles.back(), "Choose Folder to Save...");
    EXPECT_EQ(output.openedFolder, dir.folder() + "out/");
    EXPECT_EQ(output.written, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(seen, (std::vector<std::string>{"Details : Converting - (2 of 3) file(s)",
                                              "Converting Contacts... from (" +
                                                  core::SourceFolderText(files[1]) + ")",
                                              "Contact(s) 2 (of 3)", "66"}));
    EXPECT_EQ(labelText("LblProgessCurrent"), "Contact(s) 3 (of 3)");
    EXPECT_EQ(rows(), files);
    for (const auto* name : commands) {
        EXPECT_EQ(enabled(name), std::string(name) != "CmdZimbraConvert") << name;
    }
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown.back().message.icon, core::MessageIcon::Information);
}

TEST_F(RunTest, ClosingTheWindowStopsAfterTheCurrentFileAndCancellingConvertsNothing) {
    dialogs.folders.push_front("");
    click("CmdZimbraConvert");
    EXPECT_TRUE(output.written.empty());
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

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

// The three values flip together from what the store holds; a new or unreadable store reads
// as the system's defaults (hidden files not shown).
TEST(ToggleHiddenFiles, FlipsTheThreeValues) {
    const std::pair<const char*, std::vector<std::uint32_t>> cases[] = {
        {"Hidden=2\n", {1, 1, 0}},
        {"Hidden=1\nShowSuperHidden=1\nHideFileExt=0\n", {2, 0, 1}},
        {"Hidden=two\n", {2, 0, 1}},
        {nullptr, {1, 1, 0}}};
    for (const auto& [store, expected] : cases) {
        TempDir dir;
        if (store != nullptr) {
            dir.write("store", store);
        }
        ui::FileRegistry registry(dir.path() / "store");
        ui::ToggleHiddenFiles(registry);
        EXPECT_EQ((std::vector<std::optional<std::uint32_t>>{registry.read("Hidden"),
                                                             registry.read("ShowSuperHidden"),
                                                             registry.read("HideFileExt")}),
                  (std::vector<std::optional<std::uint32_t>>(expected.begin(), expected.end())))
            << (store ? store : "no store");
        EXPECT_EQ(ui::hiddenFilesShown(registry), expected[0] == 1);
    }
}

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
