#include "gui/result_list_model.h"

#include <QApplication>
#include <QStyle>

namespace trelvane::gui {

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) {
    // One icon shared by every row.
    file_icon_ = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            // Narrow columns elide their texts; the tooltip always has the whole of it.
            const std::string& t = text(index.row(), index.column());
            if (t.empty() && role == Qt::ToolTipRole) {
                return {};
            }
            return QString::fromStdString(t);
        }
        case kFailedRole:
            return rows_.rows()[static_cast<size_t>(index.row())].failed ? QStringLiteral("true")
                                                                         : QStringLiteral("false");
        case Qt::DecorationRole:
            if (index.column() == kSourceColumn) {
                return file_icon_;
            }
            return {};
        default:
            return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case kSourceColumn:
            return tr("Source Fax Files");
        case kPdfColumn:
            return tr("Destination PDF Files");
        case kResultColumn:
            return tr("Results");
        default:
            return {};
    }
}

void ResultListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ResultListModel::ensure_row(int row) {
    if (row < rowCount()) {
        return;
    }
    beginInsertRows(QModelIndex(), rowCount(), row);
    rows_.row(row);
    endInsertRows();
}

void ResultListModel::set_started(int row, std::string source) {
    if (row < 0) {
        return;
    }
    const bool is_new = row >= rowCount();
    if (is_new) {
        // The text goes in before the rows are announced, so views measure it at once.
        beginInsertRows(QModelIndex(), rowCount(), row);
        rows_.row(row).source = std::move(source);
        endInsertRows();
        return;
    }
    rows_.row(row).source = std::move(source);
    emit dataChanged(index(row, kSourceColumn), index(row, kSourceColumn));
}

void ResultListModel::set_finished(int row, std::string pdf, std::string result, bool failed) {
    if (row < 0) {
        return;
    }
    ensure_row(row);
    ResultRow& r = rows_.row(row);
    r.pdf = std::move(pdf);
    r.result = std::move(result);
    r.failed = failed;
    // Every column: the failure flag is read through the first.
    emit dataChanged(index(row, kSourceColumn), index(row, kResultColumn));
}

}  // namespace trelvane::gui
