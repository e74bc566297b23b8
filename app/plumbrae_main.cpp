// plumbrae: the window program. Wires the window to the real dialogs, the per-user settings
// store and the outputs of the three saving options.
#include "plumbrae/version.h"
#include "ui/frm_step1.h"
#include "ui/services/dialogs.h"
#include "ui/services/registry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <memory>

#ifdef PLUMBRAE_HAVE_OUTPUTS
#include "pst/rdo/rdo_session.h"
#include "writers/output_set.h"
#endif

namespace {

/// The installed manual beside the program, or the source tree's copy in a build tree.
std::string helpManualPath() {
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString candidates[] = {
        programFolder.filePath(QStringLiteral(PLUMBRAE_DATA_FROM_BIN "/plumbrae-manual.html")),
        QStringLiteral(PLUMBRAE_SOURCE_RESOURCES "/plumbrae-manual.html")};
    for (const auto& candidate : candidates) {
        if (QFile::exists(candidate)) {
            return QFile::encodeName(QDir::cleanPath(candidate)).toStdString();
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("plumbrae"));
    QApplication::setApplicationVersion(QString::fromLatin1(plumbrae::Version));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/plumbrae/plumbrae.svg")));
    QApplication::setDesktopFileName(QStringLiteral("plumbrae"));

    plumbrae::ui::QtDialogs dialogs;
    plumbrae::ui::FileRegistry registry(plumbrae::ui::FileRegistry::defaultFile());
#ifdef PLUMBRAE_HAVE_OUTPUTS
    // The PST output creates its session by ProgID; our own object model answers it.
    plumbrae::pst::rdo::registerRdoSession();
    plumbrae::writers::OutputSet outputs;
    auto provider = [&outputs](plumbrae::core::OutputKind kind) { return outputs.outputFor(kind); };
#else
    auto provider = [](plumbrae::core::OutputKind) -> plumbrae::core::ContactOutput* {
        return nullptr;
    };
#endif
    plumbrae::ui::frmStep1 window(dialogs, registry, provider, helpManualPath());
    window.show();
    return QApplication::exec();
}
