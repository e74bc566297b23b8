// Pictures of the window for looking at it as a person would: at rest, with a queue, and in the
// middle of a vCard run (the real outputs write into a temporary folder). Run it on a display,
// for example under Xvfb:  xvfb-run -a plumbrae_window_screenshots OUT_FOLDER
#include "pst/rdo/rdo_session.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/frm_step1.h"
#include "ui/services/registry.h"
#include "writers/output_set.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace plumbrae;

/// Hands every contact on to the real output, and takes a picture at the chosen contact.
class PictureTakingOutput : public core::ContactOutput {
public:
    PictureTakingOutput(core::ContactOutput& real, QWidget& window, std::int32_t at, QString file)
        : m_real(real), m_window(window), m_at(at), m_file(std::move(file)) {}

    void open(const std::string& folder) override { m_real.open(folder); }
    void write(const core::ContactToWrite& contact) override {
        m_real.write(contact);
        if (contact.contactNumber == m_at) {
            QApplication::processEvents();
            m_window.grab().save(m_file);
        }
    }
    void close() override { m_real.close(); }
    void abandon() noexcept override { m_real.abandon(); }

private:
    core::ContactOutput& m_real;
    QWidget& m_window;
    std::int32_t m_at;
    QString m_file;
};

std::string contactFile(int number) {
    const std::string first = "Contact" + std::to_string(number);
    return "d3:fldd9:firstName" + std::to_string(first.size()) + ":" + first +
           "8:lastName5:Mason7:company4:Acmee";
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    // A short, readable folder for the pictures (the README shows one of them).
    const auto demo = std::filesystem::temp_directory_path() / "zimbra-export";
    std::filesystem::remove_all(demo);
    testing::TempDir dir;
    constexpr int Files = 40;
    std::vector<std::string> files;
    for (int i = 1; i <= Files; ++i) {
        const auto file = demo / "contacts" / (std::to_string(i) + ".meta");
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << contactFile(i);
        files.push_back(file.string());
    }

    testing::FakeDialogs dialogs;
    ui::FileRegistry registry(dir.path() / "registry");
    pst::rdo::registerRdoSession();
    writers::OutputSet outputs;
    std::unique_ptr<PictureTakingOutput> output;
    ui::frmStep1 window(
        dialogs, registry,
        [&](core::OutputKind kind) -> core::ContactOutput* {
            auto* real = outputs.outputFor(kind);
            if (real == nullptr) {
                return nullptr;
            }
            output = std::make_unique<PictureTakingOutput>(
                *real, window, Files * 2 / 3, out.filePath(QStringLiteral("window-run.png")));
            return output.get();
        },
        "");
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    window.grab().save(out.filePath(QStringLiteral("window-rest.png")));

    dialogs.fileSelections.push_back(files);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdAdd")), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QRadioButton*>(QStringLiteral("OptvCards")), Qt::LeftButton);
    QApplication::processEvents();
    window.grab().save(out.filePath(QStringLiteral("window-queued.png")));

    std::filesystem::create_directory(dir.path() / "out");
    dialogs.folders.push_back(dir.folder() + "out");
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("CmdZimbraConvert")),
                      Qt::LeftButton);
    QApplication::processEvents();
    window.grab().save(out.filePath(QStringLiteral("window-done.png")));
    for (const auto& shown : dialogs.shown) {
        std::printf("message: %s\n", shown.message.text.c_str());
    }
    std::filesystem::remove_all(demo);
    return 0;
}
