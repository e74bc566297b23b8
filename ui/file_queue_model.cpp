#include "ui/file_queue_model.h"

#include <QFile>
#include <stdexcept>

namespace plumbrae::ui {

FileQueueModel::FileQueueModel(QObject* parent) : QAbstractListModel(parent) {}

int FileQueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_ends.size());
}

std::int32_t FileQueueModel::rows() const {
    return static_cast<std::int32_t>(m_ends.size());
}

std::string_view FileQueueModel::text(std::int32_t row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_ends.size()) {
        throw std::out_of_range("no queue row " + std::to_string(row));
    }
    const auto index = static_cast<std::size_t>(row);
    const auto begin = index == 0 ? 0 : m_ends[index - 1];
    return std::string_view(m_text).substr(begin, m_ends[index] - begin);
}

QVariant FileQueueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const auto path = text(index.row());
        return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    }
    if (role == Qt::SizeHintRole) {
        return m_rowSize;
    }
    return {};
}

void FileQueueModel::append(std::string_view path) {
    if (isEmpty()) {
        m_text.assign(path);
        m_ends.front() = m_text.size();
        emit dataChanged(index(0), index(0));
        return;
    }
    const int row = rows();
    beginInsertRows(QModelIndex(), row, row);
    m_text.append(path);
    m_ends.push_back(m_text.size());
    endInsertRows();
}

void FileQueueModel::appendAll(const std::vector<std::string_view>& paths) {
    auto rest = paths.begin();
    if (rest != paths.end() && isEmpty()) {
        append(*rest++);
    }
    if (rest == paths.end()) {
        return;
    }
    const int first = rows();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.end() - rest) - 1);
    for (; rest != paths.end(); ++rest) {
        m_text.append(*rest);
        m_ends.push_back(m_text.size());
    }
    endInsertRows();
}

void FileQueueModel::clear() {
    beginResetModel();
    std::string().swap(m_text);
    m_ends.assign(1, 0);
    m_ends.shrink_to_fit();
    endResetModel();
}

} // namespace plumbrae::ui
