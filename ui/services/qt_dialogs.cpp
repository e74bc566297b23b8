#include "ui/services/dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

namespace plumbrae::ui {

namespace {

QString fromBytes(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string pathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QMessageBox::Icon boxIcon(core::MessageIcon icon) {
    switch (icon) {
    case core::MessageIcon::Information:
        return QMessageBox::Information;
    case core::MessageIcon::Question:
        return QMessageBox::Question;
    case core::MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case core::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

std::unique_ptr<QMessageBox> messageBox(QWidget* owner, const core::Message& message,
                                        MessageButtons buttons) {
    const auto lines = [](const std::string& text) {
        return fromBytes(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    auto box = std::make_unique<QMessageBox>(
        boxIcon(message.icon), fromBytes(message.caption), lines(message.text),
        buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
        owner);
    if (!message.details.empty()) {
        box->setDetailedText(lines(message.details));
    }
    return box;
}

MessageAnswer QtDialogs::message(QWidget* owner, const core::Message& message,
                                 MessageButtons buttons) {
    const auto box = messageBox(owner, message, buttons);
    const auto pressed = box->exec();
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

std::string QtDialogs::chooseFolder(QWidget* owner, const std::string& title) {
    const auto folder = QFileDialog::getExistingDirectory(owner, fromBytes(title), QString(),
                                                          QFileDialog::ShowDirsOnly);
    return folder.isEmpty() ? std::string() : pathBytes(QDir::cleanPath(folder));
}

std::vector<std::string> QtDialogs::openFiles(QWidget* owner, const std::string& filter,
                                              bool showHidden) {
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(fromBytes(filter));
    // Qt's own dialog, so that the hidden-file setting takes effect as the user chose it.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    auto entries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs;
    if (showHidden) {
        entries |= QDir::Hidden | QDir::System;
    }
    dialog.setFilter(entries);
    std::vector<std::string> chosen;
    if (dialog.exec() == QDialog::Accepted) {
        for (const auto& file : dialog.selectedFiles()) {
            chosen.push_back(pathBytes(file));
        }
    }
    return chosen;
}

} // namespace plumbrae::ui
