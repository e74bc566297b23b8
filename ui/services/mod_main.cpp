#include "ui/services/mod_main.h"

#include "ui/services/dialogs.h"
#include "ui/services/registry.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <exception>

namespace plumbrae::ui {

namespace {

constexpr std::uint32_t HiddenNotShown = 2;
constexpr std::uint32_t HiddenShown = 1;

} // namespace

std::string BrowseForFolder(Dialogs& dialogs, QWidget* owner, const std::string& title) {
    try {
        return dialogs.chooseFolder(owner, title);
    } catch (const std::exception&) {
        return {};
    }
}

void ShellOpen(const std::string& target) {
    if (target.empty()) {
        return;
    }
    const auto text = QString::fromLocal8Bit(target.data(), static_cast<qsizetype>(target.size()));
    const auto url =
        text.contains(QStringLiteral("://"))
            ? QUrl(text)
            : QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(target)));
    QDesktopServices::openUrl(url);
}

void ToggleHiddenFiles(Registry& registry) {
    const bool wasHidden = registry.read("Hidden") == HiddenNotShown;
    // Each write is tried even when an earlier one failed, as the shell's own settings dialog
    // would; nothing is reported.
    registry.write("Hidden", wasHidden ? HiddenShown : HiddenNotShown);
    registry.write("ShowSuperHidden", wasHidden ? 1U : 0U);
    registry.write("HideFileExt", wasHidden ? 0U : 1U);
}

bool hiddenFilesShown(const Registry& registry) {
    return registry.read("Hidden") == HiddenShown;
}

} // namespace plumbrae::ui
