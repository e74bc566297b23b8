// Files and folders dragged from a file manager onto the window: they join the queue as the two
// Add commands queue them.
#include "core/path_text.h"
#include "ui/frm_step1.h"
#include "ui/services/dialogs.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <exception>
#include <filesystem>

namespace plumbrae::ui {

std::vector<frmStep1::DroppedPath> frmStep1::droppedPaths(const QMimeData& data) {
    std::vector<DroppedPath> paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        auto path = QFile::encodeName(url.toLocalFile()).toStdString();
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            paths.push_back(DroppedPath{std::move(path), true});
        } else if (std::filesystem::is_regular_file(path, error) && core::isContactFileName(path)) {
            paths.push_back(DroppedPath{std::move(path), false});
        }
    }
    return paths;
}

void frmStep1::dragEnterEvent(QDragEnterEvent* event) {
    if (takesDrops() && !droppedPaths(*event->mimeData()).empty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void frmStep1::dragMoveEvent(QDragMoveEvent* event) {
    if (takesDrops()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void frmStep1::dropEvent(QDropEvent* event) {
    auto paths = takesDrops() ? droppedPaths(*event->mimeData()) : std::vector<DroppedPath>{};
    if (paths.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The file manager waits until the drop is taken; the queueing, which lets the window
    // process events and ends with a message box, runs once the drop is over.
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(paths)] { queueDropped(paths); }, Qt::QueuedConnection);
}

void frmStep1::queueDropped(const std::vector<DroppedPath>& paths) {
    if (!takesDrops()) {
        return;
    }
    QueueCount count;
    bool folderDropped = false;
    bool filesQueued = false;
    try {
        for (const auto& dropped : paths) {
            if (m_closed || m_running) {
                break;
            }
            if (dropped.isFolder) {
                folderDropped = true;
                queueFolder(dropped.path, count);
            } else {
                // As Add files: Convert is enabled before the first row is added.
                m_cmdZimbraConvert->setEnabled(true);
                filesQueued = true;
                ++(AddFileToQueue(dropped.path) ? count.queued : count.alreadyQueued);
            }
        }
    } catch (const std::exception& error) {
        m_dialogs.message(
            this,
            core::Message{AppTitle, std::string("Adding the dropped files failed: ") + error.what(),
                          core::MessageIcon::Exclamation},
            MessageButtons::Ok);
        return;
    }
    if (folderDropped) {
        showFolderCount(count, filesQueued);
    } else {
        showAlreadyQueued(count);
    }
}

} // namespace plumbrae::ui
