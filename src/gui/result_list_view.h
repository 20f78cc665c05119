// The Convert page's result list: a plain report-style view over a ResultListModel whose
// columns follow their texts (see fit_column_widths), eliding in the middle when the window is
// too narrow; the tooltip of a cell holds its whole text. Once the user drags a column border,
// the widths are theirs.
#pragma once

#include <QSortFilterProxyModel>
#include <QTreeView>
#include <array>

class QFontMetrics;

namespace trelvane::gui {

class ResultListModel;

// A path shortened to `width` pixels by dropping the middle of its folder part, so that the
// file name stays whole ("/home/me/F…/Inbox/fax-0412.fxs"); a name too long for that is elided in
// its own middle.
QString elide_path(const QString& path, const QFontMetrics& metrics, int width);

class ResultListView : public QTreeView {
    Q_OBJECT

  public:
    explicit ResultListView(ResultListModel* model, QWidget* parent = nullptr);

    // The width each column asks for: its widest text so far (or its header), with margins.
    int wanted_width(int column) const;
    bool fitting_columns() const { return !user_sized_; }

    // The rows of failed files alone, or every row again.
    void show_failures_only(bool on);
    // The model's row behind a row of the view (which may be sorted and filtered); -1 for none.
    int source_row(const QModelIndex& index) const;
    void scroll_to_row(int row);

  protected:
    // The viewport, not the view: a scroll bar appearing narrows it too.
    bool viewportEvent(QEvent* event) override;

  private:
    void measure_rows(int first, int last, int first_column, int last_column);
    void forget_widths();
    void schedule_fit();
    void fit_columns();
    int text_margin() const;

    ResultListModel* model_;
    QSortFilterProxyModel* shown_;  // sorted by a header click, filtered by the failures box
    std::array<int, 3> text_widths_{};
    bool fit_scheduled_ = false;
    bool fitting_ = false;
    bool user_sized_ = false;
};

}  // namespace trelvane::gui
