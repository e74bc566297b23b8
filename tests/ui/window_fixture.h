#pragma once

#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/caption_frame.h"
#include "ui/file_queue_model.h"
#include "ui/frm_step1.h"
#include "ui/services/registry.h"
#include "writers/output_set.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace plumbrae::testing {

using ui::MessageAnswer;
using Texts = std::vector<std::string>;

inline QUrl local(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

class WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    ui::FileRegistry registry{dir.path() / "registry"};
    FakeDialogs dialogs;
    RecordingOutput output;
    /// The real outputs, used instead of `output` when `useRealOutputs` is set.
    writers::OutputSet realOutputs;
    bool useRealOutputs = false;
    ui::frmStep1 window{dialogs, registry,
                        [this](core::OutputKind kind) {
                            return useRealOutputs ? realOutputs.outputFor(kind) : &output;
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

} // namespace plumbrae::testing
