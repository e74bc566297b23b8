#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/caption_frame.h"
#include "ui/file_queue_model.h"
#include "ui/frm_step1.h"
#include "ui/services/registry.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using ui::MessageAnswer;
using Texts = std::vector<std::string>;

QUrl local(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

class WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    ui::FileRegistry registry{dir.path() / "registry"};
    FakeDialogs dialogs;
    RecordingOutput output;
    ui::frmStep1 window{dialogs, registry, [this](auto) { return &output; }, ""};

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
    Texts rows() {
        Texts out;
        for (std::int32_t row = 0; row < window.queue().rows(); ++row) {
            out.emplace_back(window.queue().text(row));
        }
        return out;
    }
    void queueFiles(Texts files) {
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

TEST_F(WindowTest, AddFilesFlipsHiddenFilesFirstClearAndExitAskFirst) {
    click("cmdClear1");
    EXPECT_TRUE(dialogs.texts.empty()); // nothing to clear
    EXPECT_EQ(rows(), Texts{""});
    EXPECT_FALSE(enabled("CmdZimbraConvert"));
    for (const auto& [option, kind] : {std::pair{"OptPST", core::OutputKind::Pst},
                                       {"OptExcel", core::OutputKind::Excel},
                                       {"OptvCards", core::OutputKind::VCards}}) {
        click(option);
        EXPECT_EQ(window.savingOption(), kind) << option;
    }
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

    queueFiles({"/x/c.meta", "/x/a.meta"});
    EXPECT_NE(dialogs.openFilesCalls.at(0).first.find("(*.meta)"), std::string::npos);
    EXPECT_TRUE(dialogs.openFilesCalls.at(0).second); // hidden files shown: flipped first

    queueFiles({"/x/c.meta"});
    EXPECT_FALSE(dialogs.openFilesCalls.at(1).second); // flipped back
    EXPECT_EQ(rows(), (Texts{"/x/c.meta", "/x/a.meta", "/x/c.meta"}));
    EXPECT_EQ(labelText("lblCount1"), "3 Zimbra Messages");

    // Clear and Exit ask first; No changes nothing, Yes empties the queue (keeping the option)
    // or closes the window.
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes, MessageAnswer::No,
                       MessageAnswer::Yes};
    click("cmdClear1");
    EXPECT_EQ(rows().size(), 3U);
    click("cmdClear1");
    EXPECT_EQ(rows(), Texts{""});
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    queueFiles({"/x/d.meta"});
    EXPECT_EQ(rows(), Texts{"/x/d.meta"});
    click("cmdEnd");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(child<QRadioButton>("OptvCards")->isChecked());
    click("cmdEnd");
    EXPECT_FALSE(window.isVisible());
}

// A folder dropped with files queues what Add Folder and Add Files queue and says the same.
TEST_F(WindowTest, AddFolderAndDropQueueContactFilesOfTheTree) {
    for (const auto* name : {"tree/b.META", "tree/a.meta ", "tree/a.txt", "tree/sub/c.meta",
                             "two.meta", "empty/a.txt"}) {
        dir.write(name, "d3:fldd9:firstName3:Anne");
    }
    const auto tree = dir.path() / "tree", loose = dir.path() / "two.meta";
    dialogs.folders = {(dir.path() / "empty").string(), tree.string()};
    click("CmdAddFolder");
    EXPECT_FALSE(enabled("CmdZimbraConvert"));
    click("CmdAddFolder");
    const Texts queued = {(tree / "a.meta ").string(), (tree / "b.META").string(),
                          (tree / "sub/c.meta").string()};
    EXPECT_EQ(rows(), queued);
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // A drop is taken when it holds a folder or a contact file; its other files are left out.
    EXPECT_FALSE(drop({local(tree / "a.txt"), local(dir.path() / "missing.meta"),
                       QUrl(QStringLiteral("https://example.org/x.meta"))}));
    EXPECT_TRUE(drop({local(tree / "a.txt"), local(tree), local(loose)}));
    EXPECT_EQ(rows().size(), 7U);
    EXPECT_EQ(rows().back(), loose.string());
    EXPECT_EQ(labelText("lblCount1"), "7 Zimbra Messages");
    const auto count = [](int n) { return std::to_string(n) + " Contacts Queued for Conversion."; };
    EXPECT_EQ(dialogs.texts, (Texts{count(0), count(3), count(3)}));
}

class RunTest : public WindowTest {
protected:
    Texts files;

    void SetUp() override {
        WindowTest::SetUp();
        for (const auto* name : {"in/one.meta", "in/two.meta", "in/three.meta"}) {
            files.push_back(dir.write(name, "d3:fldd9:firstName5: Ann 8:lastName3:Leee").string());
        }
        queueFiles(files);
        click("OptvCards");
        dialogs.folders.push_back(dir.folder() + "out");
    }
};

TEST_F(RunTest, ShowsProgressAndLocksTheCommandsWhileItRuns) {
    const char* const commands[] = {"cmdAdd",   "CmdAddFolder", "cmdClear1",       "OptvCards",
                                    "OptExcel", "OptPST",       "CmdZimbraConvert"};
    Texts seen;
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
    const auto out = dir.folder() + "out/";
    EXPECT_EQ(output.calls, (Texts{"open " + out, "write 1", "write 2", "write 3", "close"}));
    // Writers get trimmed copies; the record as read keeps its spaces.
    EXPECT_EQ(output.written.at(2).FullName, "Ann  Lee");
    EXPECT_EQ(output.asRead.at(2).FullName, " Ann  Lee");
    EXPECT_EQ(seen, (Texts{"Details : Converting - (2 of 3) file(s)",
                           "Converting Contacts... from (" + dir.path().string().substr(1) + "/in)",
                           "Contact(s) 2 (of 3)", "66"}));
    EXPECT_EQ(labelText("LblProgessCurrent"), "Contact(s) 3 (of 3)");
    EXPECT_EQ(rows(), files);
    EXPECT_EQ(child<QListView>("grdFiles1")->currentIndex().row(), 2);
    for (const auto* name : commands) {
        EXPECT_EQ(enabled(name), std::string(name) != "CmdZimbraConvert") << name;
    }
    EXPECT_EQ(dialogs.texts, Texts{core::ConversionRun::SuccessText});
}

TEST_F(RunTest, ClosingTheWindowStopsAfterTheCurrentFileAndCancellingConvertsNothing) {
    dialogs.folders.push_front("");
    click("CmdZimbraConvert");
    EXPECT_TRUE(output.calls.empty());
    EXPECT_TRUE(enabled("CmdZimbraConvert"));

    output.onWrite = [&](std::int32_t /*number*/) { window.close(); };
    click("CmdZimbraConvert");
    EXPECT_EQ(output.calls, (Texts{"open " + dir.folder() + "out/", "write 1", "abandon"}));
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace plumbrae::testing

int main(int argc, char** argv) {
    // Tests run without a display unless one is asked for (test discovery sets no environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
