#include "ui/frm_step1.h"

#include "core/closing_message.h"
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
#include <QScrollBar>
#include <algorithm>
#include <exception>

namespace plumbrae::ui {

namespace {

constexpr auto YieldInterval = std::chrono::milliseconds(15);
// The progress display changes at most this often: often enough to look smooth, seldom enough
// that painting it costs a large run next to nothing.
constexpr auto ProgressInterval = std::chrono::milliseconds(100);

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

/// The folder caption cut to `width` pixels: the folder loses its middle to an ellipsis, the words
/// around it stay.
QString elidedFolderCaption(const QString& caption, const QString& folder,
                            const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(caption) <= width) {
        return caption;
    }
    const auto at = folder.isEmpty() ? -1 : caption.lastIndexOf(folder);
    if (at < 0) {
        return metrics.elidedText(caption, Qt::ElideMiddle, width);
    }
    const QString before = caption.left(at);
    const QString after = caption.mid(at + folder.size());
    const int room = width - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after);
    return before + metrics.elidedText(folder, Qt::ElideMiddle, std::max(room, 0)) + after;
}

std::string alreadyQueuedLine(std::int32_t count) {
    return count == 1 ? "1 contact file was already in the list and was not queued again."
                      : std::to_string(count) +
                            " contact files were already in the list and were not queued again.";
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

bool frmStep1::AddFileToQueue(std::string_view path) {
    const bool queued = m_queue->append(path);
    showQueueCount();
    return queued;
}

void frmStep1::showQueueCount() {
    m_lblCount1->setText(QString::number(m_queue->rows()) + QStringLiteral(" Zimbra Messages"));
}

void frmStep1::ClearFileQueue() {
    m_queue->clear();
    m_lblCount1->setText(QStringLiteral("0 files"));
    // A new list starts at its left edge, and the details of the last run go with the old list.
    m_grdFiles1->horizontalScrollBar()->setValue(0);
    m_frameConversion->setTitle(QStringLiteral(" Details"));
    m_lblCurrentDBX->setText(QStringLiteral("Converting Contacts..."));
    m_lblCurrentDBX->setToolTip(QString());
    m_lblProgessCurrent->setText(QStringLiteral("Contact(s) 0 (of 0)"));
    m_progressBar1->setValue(0);
    m_progressValue = 0.0F;
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
        QueueCount count;
        for (const auto& file : files) {
            ++(AddFileToQueue(file) ? count.queued : count.alreadyQueued);
        }
        showAlreadyQueued(count);
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
    QueueCount count;
    queueFolder(path, count);
    showFolderCount(count, false);
}

void frmStep1::queueFolder(const std::string& folder, QueueCount& count) {
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
    queueMetaFiles(files->values(), count);
}

void frmStep1::showFolderCount(const QueueCount& count, bool filesQueued) {
    if (m_closed) {
        // The user closed the window while the files were being queued: nobody is waiting for
        // the count any more.
        return;
    }
    m_cmdZimbraConvert->setEnabled(count.queued > 0 || count.alreadyQueued > 0 || filesQueued);
    core::ClosingMessage message;
    message.add(std::to_string(count.queued) + " Contacts Queued for Conversion.");
    if (count.alreadyQueued > 0) {
        message.add(alreadyQueuedLine(count.alreadyQueued));
    }
    if (!count.unreadable.empty()) {
        core::MessageList folders{"These folders could not be read; files in them were not queued:",
                                  {}};
        for (const auto& folder : count.unreadable) {
            folders.entries.push_back(folder.path + " (" + folder.reason + ")");
        }
        message.add(folders);
    }
    m_dialogs.message(this, message.message(AppTitle, core::MessageIcon::None), MessageButtons::Ok);
}

void frmStep1::showAlreadyQueued(const QueueCount& count) {
    if (count.alreadyQueued == 0) {
        return;
    }
    m_dialogs.message(this,
                      core::Message{AppTitle,
                                    std::to_string(count.queued) +
                                        " Contacts Queued for Conversion.\r\n" +
                                        alreadyQueuedLine(count.alreadyQueued),
                                    core::MessageIcon::None},
                      MessageButtons::Ok);
}

void frmStep1::queueMetaFiles(const std::vector<std::string>& files, QueueCount& count) {
    // Each file is queued as by AddFileToQueue, but the rows and the count label reach the view
    // together whenever the window is about to process events, and at the end: what the user can
    // see is the same, and 100,000 rows do not cost 100,000 view updates.
    std::vector<std::string_view> pending;
    const auto showPending = [&] {
        if (!pending.empty()) {
            const auto queued = static_cast<std::int32_t>(m_queue->appendAll(pending));
            count.queued += queued;
            count.alreadyQueued += static_cast<std::int32_t>(pending.size()) - queued;
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
    for (const auto& file : files) {
        yieldShowingPending();
        if (m_closed) {
            break;
        }
        if (core::isContactFileName(file)) {
            yieldShowingPending();
            pending.emplace_back(file);
        }
    }
    showPending();
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

bool frmStep1::askExit() {
    const QScopedValueRollback<bool> asking(m_askingExit, true);
    return m_dialogs.message(this,
                             core::Message{AppTitle, "Are you sure you want to exit now?",
                                           core::MessageIcon::Question},
                             MessageButtons::YesNo) == MessageAnswer::Yes;
}

void frmStep1::cmdEnd_Click() {
    if (askExit()) {
        const QScopedValueRollback<bool> confirmed(m_exitConfirmed, true);
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
    showPendingProgress();
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
        // The run is somewhere below us on the stack. Closing asks as Exit does (the run waits
        // for the answer); on Yes the run finishes the current file and closes its output, then
        // the window closes for real.
        event->ignore();
        if (!m_stopRequested && !m_askingExit && (m_exitConfirmed || askExit())) {
            m_stopRequested = true;
            m_closeWhenRunEnds = true;
        }
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
        showPendingProgress();
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
    m_pendingRow = row;
}

void frmStep1::prepareProgress() {
    m_progressBar1->setRange(0, 100);
}

void frmStep1::showProgress(const core::Progress& progress) {
    // Kept until the window is about to repaint: setting the widgets after every file would
    // cost more than the conversion itself.
    m_pendingProgress = progress;
    m_progressPending = true;
    m_progressValue = progress.value;
}

void frmStep1::showPendingProgress() {
    m_lastProgressShown = std::chrono::steady_clock::now();
    if (m_pendingRow >= 0) {
        m_grdFiles1->setCurrentIndex(m_queue->index(m_pendingRow));
        m_pendingRow = -1;
    }
    if (!m_progressPending) {
        return;
    }
    m_progressPending = false;
    const auto& progress = m_pendingProgress;
    m_frameConversion->setTitle(fromBytes(progress.frameCaption));
    // A long folder does not fit the label: its middle gives way to an ellipsis, and the whole
    // text is one hover away.
    const QString folderCaption = fromBytes(progress.folderCaption);
    m_lblCurrentDBX->setText(elidedFolderCaption(folderCaption, fromBytes(progress.sourceFolder),
                                                 m_lblCurrentDBX->fontMetrics(),
                                                 m_lblCurrentDBX->width()));
    m_lblCurrentDBX->setToolTip(folderCaption);
    m_lblProgessCurrent->setText(fromBytes(progress.countCaption));
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
    if (std::chrono::steady_clock::now() - m_lastProgressShown >= ProgressInterval) {
        showPendingProgress();
    }
    QApplication::processEvents();
    m_lastYield = std::chrono::steady_clock::now();
}

} // namespace plumbrae::ui
