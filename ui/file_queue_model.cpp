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

bool FileQueueModel::contains(std::string_view path) const {
    return m_rowsByPath.find(path) != m_rowsByPath.end();
}

void FileQueueModel::pushRow(std::string_view path) {
    m_text.append(path);
    m_ends.push_back(m_text.size());
    m_rowsByPath.insert(rows() - 1);
}

bool FileQueueModel::append(std::string_view path) {
    if (contains(path)) {
        return false;
    }
    if (isEmpty()) {
        m_text.assign(path);
        m_ends.front() = m_text.size();
        m_rowsByPath.insert(0);
        emit dataChanged(index(0), index(0));
        return true;
    }
    const int row = rows();
    beginInsertRows(QModelIndex(), row, row);
    pushRow(path);
    endInsertRows();
    return true;
}

std::size_t FileQueueModel::appendAll(const std::vector<std::string_view>& paths) {
    // The new paths first, each once, so that the views are told the rows' number up front.
    std::vector<std::string_view> fresh;
    std::unordered_set<std::string_view> seen;
    for (const auto path : paths) {
        if (!contains(path) && seen.insert(path).second) {
            fresh.push_back(path);
        }
    }
    auto rest = fresh.begin();
    if (rest != fresh.end() && isEmpty()) {
        append(*rest++);
    }
    if (rest != fresh.end()) {
        const int first = rows();
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(fresh.end() - rest) - 1);
        for (; rest != fresh.end(); ++rest) {
            pushRow(*rest);
        }
        endInsertRows();
    }
    return fresh.size();
}

void FileQueueModel::clear() {
    beginResetModel();
    std::string().swap(m_text);
    m_ends.assign(1, 0);
    m_ends.shrink_to_fit();
    m_rowsByPath.clear();
    m_rowsByPath.rehash(0);
    endResetModel();
}

} // namespace plumbrae::ui
