#include "ui/frm_step1.h"

#include "core/path_logger.h"
#include "core/path_text.h"
#include "support/text.h"
#include "ui/caption_frame.h"
#include "ui/file_queue_model.h"
#include "ui/services/dialogs.h"
#include "ui/services/mod_main.h"
#include "ui/services/registry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <exception>

namespace plumbrae::ui {

namespace {

constexpr auto YieldInterval = std::chrono::milliseconds(15);
constexpr std::size_t UnreadableFoldersListed = 20;

QString fromBytes(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

/// The hourglass for as long as the object lives, also when the command ends by an exception.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

std::string unreadableNote(const std::vector<core::UnreadableFolder>& folders) {
    if (folders.empty()) {
        return {};
    }
    std::string note = "\r\n\r\nThese folders could not be read; files in them were not queued:";
    for (std::size_t i = 0; i < folders.size() && i < UnreadableFoldersListed; ++i) {
        note += "\r\n" + folders[i].path + " (" + folders[i].reason + ")";
    }
    if (folders.size() > UnreadableFoldersListed) {
        note += "\r\nand " + std::to_string(folders.size() - UnreadableFoldersListed) + " more";
    }
    return note;
}

} // namespace

frmStep1::frmStep1(Dialogs& dialogs, Registry& registry, core::OutputProvider outputs,
                   std::string helpManual, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_registry(registry), m_outputs(std::move(outputs)),
      m_helpManual(std::move(helpManual)), m_queue(new FileQueueModel(this)) {
    buildControls();
    connectHandlers();
    setAcceptDrops(true);
}

frmStep1::~frmStep1() = default;

void frmStep1::connectHandlers() {
    connect(m_cmdAdd, &QPushButton::clicked, this, &frmStep1::cmdAdd_Click);
    connect(m_cmdAddFolder, &QPushButton::clicked, this, &frmStep1::CmdAddFolder_Click);
    connect(m_cmdClear1, &QPushButton::clicked, this, &frmStep1::cmdClear1_Click);
    connect(m_cmdZimbraConvert, &QPushButton::clicked, this, &frmStep1::CmdZimbraConvert_Click);
    connect(m_cmdHelp, &QPushButton::clicked, this, &frmStep1::CmdHelp_Click);
    connect(m_cmdEnd, &QPushButton::clicked, this, &frmStep1::cmdEnd_Click);
    for (auto* option : {m_optvCards, m_optExcel, m_optPST}) {
        connect(option, &QRadioButton::clicked, this, &frmStep1::Opt_Click);
    }
}

void frmStep1::AddFileToQueue(std::string_view path) {
    m_queue->append(path);
    showQueueCount();
}

void frmStep1::showQueueCount() {
    m_lblCount1->setText(QString::number(m_queue->rows()) + QStringLiteral(" Zimbra Messages"));
}

void frmStep1::ClearFileQueue() {
    m_queue->clear();
    m_lblCount1->setText(QStringLiteral("0 files"));
}

void frmStep1::cmdAdd_Click() {
    // The flip comes first, also when the user then cancels the dialog.
    ToggleHiddenFiles(m_registry);
    try {
        const auto files = m_dialogs.openFiles(this, FileFilter, hiddenFilesShown(m_registry));
        if (files.empty()) {
            return;
        }
        m_cmdZimbraConvert->setEnabled(true);
        for (const auto& file : files) {
            AddFileToQueue(file);
        }
    } catch (const std::exception& error) {
        m_dialogs.message(this,
                          core::Message{AppTitle,
                                        std::string("Adding files failed: ") + error.what(),
                                        core::MessageIcon::Exclamation},
                          MessageButtons::Ok);
    }
}

void frmStep1::CmdAddFolder_Click() {
    const auto path = BrowseForFolder(m_dialogs, this, "Choose Source Folder...");
    if (path.empty()) {
        return;
    }
    FolderCount count;
    queueFolder(path, count);
    showFolderCount(count, false);
}

void frmStep1::queueFolder(const std::string& folder, FolderCount& count) {
    const QScopedValueRollback<bool> walking(m_walking, true);
    WaitCursor hourglass;
    std::shared_ptr<core::pathLogger::TextList> files;
    {
        core::pathLogger walker;
        walker.PathLogInit();
        walker.setFullFileNamesOnly(true);
        walker.LogPath(core::withTrailingSeparator(folder));
        files = walker.fullFileNames();
        const auto unreadable = walker.unreadableFolders();
        count.unreadable.insert(count.unreadable.end(), unreadable.begin(), unreadable.end());
        walker.Terminate();
    }
    count.queued += queueMetaFiles(files->values());
}

void frmStep1::showFolderCount(const FolderCount& count, bool filesQueued) {
    if (m_closed) {
        // The user closed the window while the files were being queued: nobody is waiting for
        // the count any more.
        return;
    }
    m_cmdZimbraConvert->setEnabled(count.queued > 0 || filesQueued);
    m_dialogs.message(this,
                      core::Message{AppTitle,
                                    std::to_string(count.queued) +
                                        " Contacts Queued for Conversion." +
                                        unreadableNote(count.unreadable),
                                    core::MessageIcon::None},
                      MessageButtons::Ok);
}

std::int32_t frmStep1::queueMetaFiles(const std::vector<std::string>& files) {
    // Each file is queued as by AddFileToQueue, but the rows and the count label reach the view
    // together whenever the window is about to process events, and at the end: what the user can
    // see is the same, and 100,000 rows do not cost 100,000 view updates.
    std::vector<std::string_view> pending;
    const auto showPending = [&] {
        if (!pending.empty()) {
            m_queue->appendAll(pending);
            pending.clear();
            showQueueCount();
        }
    };
    const auto yieldShowingPending = [&] {
        if (yieldIsDue()) {
            showPending();
            yield();
        }
    };
    std::int32_t count = 0;
    for (const auto& file : files) {
        yieldShowingPending();
        if (m_closed) {
            break;
        }
        if (core::isContactFileName(file)) {
            yieldShowingPending();
            pending.emplace_back(file);
            ++count;
        }
    }
    showPending();
    return count;
}

void frmStep1::cmdClear1_Click() {
    if (m_queue->isEmpty()) {
        return;
    }
    const auto answer = m_dialogs.message(
        this,
        core::Message{AppTitle, "Do you want to clear all the files in the list\r\n Proceed?",
                      core::MessageIcon::Question},
        MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
        ClearFileQueue();
    }
}

void frmStep1::Opt_Click(bool checked) {
    if (checked) {
        m_cmdZimbraConvert->setEnabled(true);
    }
}

void frmStep1::CmdHelp_Click() {
    ShellOpen(m_helpManual);
}

void frmStep1::cmdEnd_Click() {
    const auto answer = m_dialogs.message(
        this,
        core::Message{AppTitle, "Are you sure you want to exit now?", core::MessageIcon::Question},
        MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
        close();
    }
}

void frmStep1::CmdZimbraConvert_Click() {
    if (m_running) {
        return;
    }
    const bool convertWasEnabled = m_cmdZimbraConvert->isEnabled();
    m_convertDisabledByRun = false;
    setRunning(true);
    try {
        core::ConversionRun run(*this, m_outputs);
        run.run();
    } catch (const std::exception& error) {
        showMessage(core::Message{AppTitle, std::string("The conversion stopped: ") + error.what(),
                                  core::MessageIcon::Exclamation});
    }
    setRunning(false);
    m_cmdZimbraConvert->setEnabled(convertWasEnabled && !m_convertDisabledByRun);
    if (m_closeWhenRunEnds) {
        close();
    }
}

void frmStep1::setRunning(bool running) {
    m_running = running;
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_cmdAdd, m_cmdAddFolder, m_cmdClear1, m_optvCards,
                                         m_optExcel, m_optPST, m_cmdZimbraConvert}) {
        control->setEnabled(!running);
    }
}

void frmStep1::closeEvent(QCloseEvent* event) {
    if (m_running) {
        // The run is somewhere below us on the stack: let it finish the current file and close
        // its output, then close for real.
        m_stopRequested = true;
        m_closeWhenRunEnds = true;
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
}

core::OutputKind frmStep1::savingOption() {
    if (m_optPST->isChecked()) {
        return core::OutputKind::Pst;
    }
    if (m_optExcel->isChecked()) {
        return core::OutputKind::Excel;
    }
    if (m_optvCards->isChecked()) {
        return core::OutputKind::VCards;
    }
    return core::OutputKind::None;
}

std::string frmStep1::chooseOutputFolder(const std::string& title) {
    return BrowseForFolder(m_dialogs, this, title);
}

void frmStep1::showMessage(const core::Message& message) {
    // Once the user has closed the window, nobody is waiting for the run's closing message.
    if (!m_stopRequested) {
        m_dialogs.message(this, message, MessageButtons::Ok);
    }
}

std::int32_t frmStep1::queueRowCount() {
    return m_queue->rows();
}

std::string frmStep1::queueRowText(std::int32_t row) {
    return std::string(m_queue->text(row));
}

void frmStep1::setCurrentRow(std::int32_t row) {
    m_grdFiles1->setCurrentIndex(m_queue->index(row));
}

void frmStep1::prepareProgress() {
    m_progressBar1->setRange(0, 100);
}

void frmStep1::showProgress(const core::Progress& progress) {
    m_frameConversion->setTitle(fromBytes(progress.frameCaption));
    m_lblCurrentDBX->setText(fromBytes(progress.folderCaption));
    // A long folder does not fit the label; the whole text is one hover away.
    m_lblCurrentDBX->setToolTip(m_lblCurrentDBX->text());
    m_lblProgessCurrent->setText(fromBytes(progress.countCaption));
    m_progressValue = progress.value;
    m_progressBar1->setValue(static_cast<int>(progress.value));
}

void frmStep1::disableConvert() {
    m_convertDisabledByRun = true;
    m_cmdZimbraConvert->setEnabled(false);
}

bool frmStep1::yieldIsDue() const {
    return std::chrono::steady_clock::now() - m_lastYield >= YieldInterval;
}

void frmStep1::yield() {
    if (!yieldIsDue()) {
        return;
    }
    QApplication::processEvents();
    m_lastYield = std::chrono::steady_clock::now();
}

} // namespace plumbrae::ui
