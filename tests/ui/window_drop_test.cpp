// Files and folders dropped on the queue, checked against what the Add dialogs queue and say.
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/file_queue_model.h"
#include "ui/frm_step1.h"
#include "ui/services/registry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

/// An output that lets a test act in the middle of a run.
class CallbackOutput : public core::ContactOutput {
public:
    std::function<void()> onWrite;
    void open(const std::string& /*folder*/) override {}
    void write(const core::ContactToWrite& /*contact*/) override {
        if (onWrite) {
            onWrite();
        }
    }
    void close() override {}
    void abandon() noexcept override {}
};

/// One window with scripted dialogs, and what it shows.
struct Window {
    explicit Window(const TempDir& dir)
        : registry(dir.path() / ("registry" + std::to_string(++count))),
          window(
              dialogs, registry, [this](core::OutputKind /*kind*/) { return &output; }, "") {
        window.show();
    }

    [[nodiscard]] std::vector<std::string> rows() const {
        std::vector<std::string> out;
        out.reserve(static_cast<std::size_t>(window.queue().rows()));
        for (std::int32_t row = 0; row < window.queue().rows(); ++row) {
            out.emplace_back(window.queue().text(row));
        }
        return out;
    }
    [[nodiscard]] std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& shown : dialogs.shown) {
            out.push_back(shown.message.text);
        }
        return out;
    }
    template <class Widget = QWidget> Widget* child(const char* name) {
        return window.findChild<Widget*>(QString::fromLatin1(name));
    }
    [[nodiscard]] bool convertEnabled() { return child("CmdZimbraConvert")->isEnabled(); }
    [[nodiscard]] std::string countLabel() {
        return child<QLabel>("lblCount1")->text().toStdString();
    }

    /// Drags `urls` onto the queue and drops them; true when the window took the drag.
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

    static inline int count = 0;
    FakeDialogs dialogs;
    ui::FileRegistry registry;
    CallbackOutput output;
    ui::frmStep1 window;
};

QUrl local(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

class WindowDropTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto* name : {"tree/b.meta", "tree/A.META", "tree/notes.txt", "tree/sub/c.meta",
                                 "loose/two.meta", "loose/one.meta", "loose/readme.txt"}) {
            m_dir.write(name, "d3:fldd9:firstName3:Anne");
        }
    }
    [[nodiscard]] std::filesystem::path at(const char* relative) const {
        return m_dir.path() / relative;
    }

    TempDir m_dir;
};

TEST_F(WindowDropTest, AFolderAndTwoFilesQueueAsAddFolderAndAddFilesDo) {
    Window byDialogs(m_dir);
    byDialogs.dialogs.folders.push_back(at("tree").string());
    QTest::mouseClick(byDialogs.child<QAbstractButton>("CmdAddFolder"), Qt::LeftButton);
    byDialogs.dialogs.fileSelections.push_back(
        {at("loose/two.meta").string(), at("loose/one.meta").string()});
    QTest::mouseClick(byDialogs.child<QAbstractButton>("cmdAdd"), Qt::LeftButton);
    ASSERT_EQ(byDialogs.rows().size(), 5U);

    Window byDrop(m_dir);
    // Nothing that would be queued: the drag is refused.
    EXPECT_FALSE(byDrop.drop({local(at("loose/readme.txt")), local(at("missing.meta")),
                              QUrl(QStringLiteral("https://example.org/x.meta"))}));
    EXPECT_TRUE(byDrop.dialogs.shown.empty());
    // The same with a folder and two files among it: those are queued, in the order given.
    EXPECT_TRUE(byDrop.drop({local(at("loose/readme.txt")), local(at("tree")),
                             QUrl(QStringLiteral("https://example.org/x.meta")),
                             local(at("loose/two.meta")), local(at("loose/one.meta"))}));

    EXPECT_EQ(byDrop.rows(), byDialogs.rows());
    EXPECT_EQ(byDrop.messages(), byDialogs.messages());
    EXPECT_EQ(byDrop.messages(), std::vector<std::string>{"3 Contacts Queued for Conversion."});
    EXPECT_EQ(byDrop.countLabel(), "5 Zimbra Messages");
    EXPECT_TRUE(byDrop.convertEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(byDrop.drop({local(at("loose/one.meta"))}));
    EXPECT_EQ(byDrop.rows().back(), at("loose/one.meta").string());
    EXPECT_EQ(byDrop.dialogs.shown.size(), 1U); // files alone bring no count message
}

TEST_F(WindowDropTest, DroppingDuringARunDoesNothing) {
    Window window(m_dir);
    window.dialogs.fileSelections.push_back({at("loose/one.meta").string()});
    QTest::mouseClick(window.child<QAbstractButton>("cmdAdd"), Qt::LeftButton);
    QTest::mouseClick(window.child<QAbstractButton>("OptvCards"), Qt::LeftButton);
    window.dialogs.folders.push_back(at("out").string());
    bool taken = true;
    window.output.onWrite = [&] { taken = window.drop({local(at("tree")), local(at("loose"))}); };
    QTest::mouseClick(window.child<QAbstractButton>("CmdZimbraConvert"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(taken);
    EXPECT_EQ(window.rows(), std::vector<std::string>{at("loose/one.meta").string()});
    ASSERT_EQ(window.dialogs.shown.size(), 1U); // the run's closing message only
    EXPECT_EQ(window.dialogs.shown[0].message.icon, core::MessageIcon::Information);
}

} // namespace
} // namespace plumbrae::testing
