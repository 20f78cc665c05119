// The rows of the Convert page's result list: one small record per file of the pass, shown
// through a table model, so that a pass over a hundred thousand files costs a few hundred bytes
// per file and the view only ever builds the texts of the rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <string>
#include <vector>

#include "gui/pass_board.h"

namespace trelvane::gui {

class ResultListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column {
        kSourceColumn = gui::kSourceColumn,
        kPdfColumn = gui::kPdfColumn,
        kResultColumn = gui::kResultColumn,
        kColumnCount = kResultColumns
    };
    // "true" for a row whose file failed, in every column: what "Show failures only" filters by.
    static constexpr int kFailedRole = Qt::UserRole + 1;

    explicit ResultListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void clear();
    // Files may start and finish in any order: a row beyond the end makes the rows before it
    // (still empty) appear with it.
    void set_started(int row, std::string source);
    void set_finished(int row, std::string pdf, std::string result, bool failed = false);

    const std::vector<ResultRow>& rows() const { return rows_.rows(); }
    // The text of one cell, as the view shows it.
    const std::string& text(int row, int column) const { return rows_.text(row, column); }

  private:
    void ensure_row(int row);

    ResultRows rows_;
    QIcon file_icon_;
};

}  // namespace trelvane::gui
