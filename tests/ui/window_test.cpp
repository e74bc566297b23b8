#include "pst/rdo/rdo_session.h"
#include "tests/ui/window_fixture.h"

namespace plumbrae::testing {
namespace {

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

    queueFiles({"/x/e.meta"});
    EXPECT_FALSE(dialogs.openFilesCalls.at(1).second); // flipped back
    EXPECT_EQ(rows(), (Texts{"/x/c.meta", "/x/a.meta", "/x/e.meta"}));
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
    EXPECT_TRUE(drop({local(tree / "a.txt"), local(tree / "sub"), local(loose)}));
    EXPECT_EQ(rows().size(), 4U);
    EXPECT_EQ(rows().back(), loose.string());
    EXPECT_EQ(labelText("lblCount1"), "4 Zimbra Messages");
    const auto count = [](int n) { return std::to_string(n) + " Contacts Queued for Conversion."; };
    EXPECT_EQ(dialogs.texts,
              (Texts{count(0), count(3),
                     count(1) + "\r\n1 contact file was already in the list and was not queued "
                                "again."}));
}

// A path already in the queue is not queued again, whichever way it comes; the count message
// says how many were left out, and Convert stays enabled for the files already queued.
TEST_F(WindowTest, DuplicatesAreQueuedOnceWhicheverWayTheyCome) {
    const auto a = dir.write("tree/a.meta", "d3:fldd9:firstName3:Anne").string();
    const auto b = dir.write("tree/sub/b.meta", "d3:fldd9:firstName3:Bobe").string();
    const auto tree = (dir.path() / "tree").string();
    const auto already = [](const std::string& queued, const std::string& line) {
        return queued + " Contacts Queued for Conversion.\r\n" + line +
               " already in the list and " + (line[0] == '1' ? "was" : "were") +
               " not queued again.";
    };

    queueFiles({a, a});
    dialogs.folders = {tree, tree + "/"};
    click("CmdAddFolder");
    click("CmdAddFolder");
    EXPECT_TRUE(enabled("CmdZimbraConvert"));
    EXPECT_TRUE(drop({local(b), local(a)}));
    EXPECT_TRUE(drop({local(dir.path() / "tree")}));
    queueFiles({b, a});
    EXPECT_EQ(rows(), (Texts{a, b}));
    EXPECT_EQ(labelText("lblCount1"), "2 Zimbra Messages");
    EXPECT_EQ(dialogs.texts,
              (Texts{already("1", "1 contact file was"), already("1", "1 contact file was"),
                     already("0", "2 contact files were"), already("0", "2 contact files were"),
                     already("0", "2 contact files were"), already("0", "2 contact files were")}));
    // Each path once also after a Clear.
    dialogs.answers = {MessageAnswer::Yes};
    click("cmdClear1");
    queueFiles({b});
    EXPECT_EQ(rows(), Texts{b});
}

} // namespace
} // namespace plumbrae::testing

int main(int argc, char** argv) {
    // Tests run without a display unless one is asked for (test discovery sets no environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The PST output creates its session by ProgID; our own object model answers it.
    plumbrae::pst::rdo::registerRdoSession();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
