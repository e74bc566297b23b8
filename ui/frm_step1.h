#pragma once

#include "core/conversion_host.h"
#include "core/conversion_run.h"
#include "core/path_logger.h"

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QMimeData;
class QListView;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace plumbrae::ui {

class CaptionFrame;
class Dialogs;
class FileQueueModel;
class Registry;

/// The program's one window: the queue of contact files, the saving options, Convert, and the
/// progress of a run. It hosts the conversion run (the run asks it for the option, the output
/// folder and the queue, and it shows the progress), and every dialog goes through `Dialogs`.
///
/// Beyond the plain event handlers: while a run is in progress the commands that would change
/// the queue or the option or start another run are disabled; closing the window then asks as
/// Exit does and, on Yes, stops the run after the current file and lets it close its output
/// before the program ends. The progress display follows the run at a bounded rate: what the
/// run reports is shown whenever the window is about to repaint, not after every file.
class frmStep1 : public QWidget, public core::ConversionHost {
    Q_OBJECT

public:
    /// `helpManual` is the path or address the "&Help Manual" button opens.
    frmStep1(Dialogs& dialogs, Registry& registry, core::OutputProvider outputs,
             std::string helpManual, QWidget* parent = nullptr);
    ~frmStep1() override;
    frmStep1(const frmStep1&) = delete;
    frmStep1& operator=(const frmStep1&) = delete;

    static constexpr const char* AppTitle = "Plumbrae";
    static constexpr const char* FileFilter = "Zimbra Desktop Exported Contacts (*.meta)";

    /// Appends a path to the queue (row 0 of an empty queue) and updates the count label; false
    /// when the path is queued already (it is not queued twice).
    bool AddFileToQueue(std::string_view path);
    /// Empties the queue, sets the count label to "0 files" and puts the " Details" frame back
    /// as it was at start.
    void ClearFileQueue();

    [[nodiscard]] const FileQueueModel& queue() const { return *m_queue; }
    [[nodiscard]] bool isRunning() const { return m_running; }
    /// The progress value as the run set it (the bar itself only shows whole numbers).
    [[nodiscard]] float progressValue() const { return m_progressValue; }

    // The conversion run's host.
    core::OutputKind savingOption() override;
    std::string chooseOutputFolder(const std::string& title) override;
    void showMessage(const core::Message& message) override;
    std::int32_t queueRowCount() override;
    std::string queueRowText(std::int32_t row) override;
    void setCurrentRow(std::int32_t row) override;
    void prepareProgress() override;
    void showProgress(const core::Progress& progress) override;
    void disableConvert() override;
    void yield() override;
    bool stopRequested() override { return m_stopRequested; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dragged onto the window (frm_step1_drop.cpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    /// What one queueing command (Add files, Add folder, a drop) queued.
    struct QueueCount {
        std::int32_t queued = 0;
        /// Contact files it found that were in the queue already, and were not queued again.
        std::int32_t alreadyQueued = 0;
        std::vector<core::UnreadableFolder> unreadable;
    };
    /// A dropped path that is queued: a contact file, or a folder to walk.
    struct DroppedPath {
        std::string path;
        bool isFolder = false;
    };

    void buildControls();
    void buildQueueControls();
    void buildDetailsFrame();
    void buildOptionsFrame();
    void buildBands();
    void setTabOrder();
    void connectHandlers();
    void setRunning(bool running);

    void cmdAdd_Click();
    void CmdAddFolder_Click();
    void cmdClear1_Click();
    void CmdZimbraConvert_Click();
    void CmdHelp_Click();
    void cmdEnd_Click();
    void Opt_Click(bool checked);

    /// Walks a folder tree as Add folder does and queues its contact files.
    void queueFolder(const std::string& folder, QueueCount& count);
    /// The closing message of Add folder; Convert is enabled when the folders held contact files
    /// (queued now or before).
    void showFolderCount(const QueueCount& count, bool filesQueued);
    /// The count message of Add files or a drop of files alone, shown only when some of the
    /// files were in the queue already.
    void showAlreadyQueued(const QueueCount& count);
    /// The Exit question; true on Yes.
    bool askExit();
    /// Shows what the run reported last: its current row and progress.
    void showPendingProgress();
    /// True when a drop would be taken now: no run and no folder walk is in progress.
    [[nodiscard]] bool takesDrops() const { return !m_running && !m_walking && !m_closed; }
    /// The local folders and contact files of a drag, in its order; anything else is left out.
    static std::vector<DroppedPath> droppedPaths(const QMimeData& data);
    /// Queues dropped files as Add files does and walks dropped folders as Add folder does;
    /// the count of every file the drop queued shows in one message, as for one Add folder.
    void queueDropped(const std::vector<DroppedPath>& paths);

    void showQueueCount();
    /// True when the throttled yield would let the window process events now.
    [[nodiscard]] bool yieldIsDue() const;
    /// Queues the ".meta" files of the walk, counting them into `count`.
    void queueMetaFiles(const std::vector<std::string>& files, QueueCount& count);

    Dialogs& m_dialogs;
    Registry& m_registry;
    core::OutputProvider m_outputs;
    std::string m_helpManual;
    FileQueueModel* m_queue = nullptr;

    QPushButton* m_cmdAdd = nullptr;
    QPushButton* m_cmdAddFolder = nullptr;
    QPushButton* m_cmdClear1 = nullptr;
    QLabel* m_lblCount1 = nullptr;
    QListView* m_grdFiles1 = nullptr;
    CaptionFrame* m_frameConversion = nullptr;
    QLabel* m_lblCurrentDBX = nullptr;
    QLabel* m_lblProgessCurrent = nullptr;
    QProgressBar* m_progressBar1 = nullptr;
    QRadioButton* m_optvCards = nullptr;
    QRadioButton* m_optExcel = nullptr;
    QRadioButton* m_optPST = nullptr;
    QPushButton* m_cmdZimbraConvert = nullptr;
    QPushButton* m_cmdHelp = nullptr;
    QPushButton* m_cmdEnd = nullptr;

    float m_progressValue = 0.0F;
    bool m_running = false;
    bool m_walking = false;
    bool m_stopRequested = false;
    bool m_closeWhenRunEnds = false;
    bool m_closed = false;
    bool m_convertDisabledByRun = false;
    /// Exit was answered with Yes: the close that follows asks no more.
    bool m_exitConfirmed = false;
    bool m_askingExit = false;
    std::chrono::steady_clock::time_point m_lastYield;
    /// What the run reported and the window does not show yet.
    core::Progress m_pendingProgress;
    bool m_progressPending = false;
    std::int32_t m_pendingRow = -1;
    std::chrono::steady_clock::time_point m_lastProgressShown;
};

} // namespace plumbrae::ui
