#pragma once

#include <QAbstractListModel>
#include <QSize>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace plumbrae::ui {

/// The file queue behind `grdFiles1`: one full path per row, in queueing order, each path once
/// (a path already queued is not queued again, or the run would write its contact twice). An
/// empty queue is one row whose text is empty, so whether the queue is empty is decided by the
/// text of row 0, never by the row count alone.
///
/// All paths live in one byte buffer with the end offset of each row, so a queue of 100,000
/// paths costs little more than the paths themselves; a hash set of row numbers, looked up by
/// path, finds a path already queued, so appending stays amortised O(1).
class FileQueueModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit FileQueueModel(QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

    /// The number of rows (at least 1).
    [[nodiscard]] std::int32_t rows() const;
    /// The text of a row (bytes, as queued); throws std::out_of_range outside 0..rows()-1.
    [[nodiscard]] std::string_view text(std::int32_t row) const;
    /// Row 0 holds "".
    [[nodiscard]] bool isEmpty() const { return m_ends.size() == 1 && m_ends.front() == 0; }

    /// Puts `path` into row 0 of an empty queue, otherwise behind the last row; false, and
    /// nothing changes, when the path is queued already.
    bool append(std::string_view path);
    /// Appends several paths with one notification to the views, as if appended one by one;
    /// returns how many were queued (the others were queued already).
    std::size_t appendAll(const std::vector<std::string_view>& paths);
    /// True when a row holds exactly `path`.
    [[nodiscard]] bool contains(std::string_view path) const;
    /// Back to one empty row.
    void clear();

    /// The size every row asks for: the column is wider than the view, as the grid's was.
    void setRowSize(QSize size) { m_rowSize = size; }

    /// Bytes held for the paths (for the benchmark's memory figure).
    [[nodiscard]] std::size_t heldBytes() const {
        return m_text.capacity() + m_ends.capacity() * sizeof(std::size_t) +
               m_rowsByPath.bucket_count() * sizeof(void*) +
               m_rowsByPath.size() * (sizeof(std::int32_t) + 2 * sizeof(void*));
    }

private:
    /// Hashes and compares rows by their text, and finds them by a path.
    struct RowText {
        using is_transparent = void;
        const FileQueueModel* model;
        [[nodiscard]] std::string_view text(std::int32_t row) const { return model->text(row); }
        [[nodiscard]] static std::string_view text(std::string_view path) { return path; }
        template <class T> std::size_t operator()(const T& key) const {
            return std::hash<std::string_view>()(text(key));
        }
        template <class A, class B> bool operator()(const A& a, const B& b) const {
            return text(a) == text(b);
        }
    };
    void pushRow(std::string_view path);

    std::string m_text;
    std::vector<std::size_t> m_ends{0};
    std::unordered_set<std::int32_t, RowText, RowText> m_rowsByPath{0, RowText{this},
                                                                    RowText{this}};
    QSize m_rowSize{1000, 16};
};

} // namespace plumbrae::ui
