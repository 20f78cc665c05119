#include "gui/result_list_view.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>

#include "gui/column_fit.h"
#include "gui/result_list_model.h"

namespace trelvane::gui {

namespace {

constexpr int kColumns = ResultListModel::kColumnCount;

// A few pixels beyond the measured text, so that a text that fits is never elided by rounding.
constexpr int kSlack = 6;

// Draws the two path columns with elide_path; the result column is elided in its middle by
// the view.
class PathDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QWidget* widget = item.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        const int width = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).width();
        // The style's own text margins, as it takes them off before eliding.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        item.text = elide_path(item.text, item.fontMetrics, width - 2 * margin);
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    }
};

}  // namespace

QString elide_path(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) {
        return path;
    }
    const qsizetype separator = path.lastIndexOf(QLatin1Char('/'));
    if (separator > 0) {
        const QString name = path.mid(separator);  // with its separator
        const int room = width - metrics.horizontalAdvance(name);
        // Keep the name whole when some of the folder can still be shown before it.
        if (room > metrics.horizontalAdvance(QStringLiteral("/\u2026/"))) {
            const QString folder = metrics.elidedText(path.left(separator), Qt::ElideMiddle, room);
            if (!folder.isEmpty()) {
                return folder + name;
            }
        }
    }
    return metrics.elidedText(path, Qt::ElideMiddle, width);
}

ResultListView::ResultListView(ResultListModel* model, QWidget* parent)
    : QTreeView(parent), model_(model), shown_(new QSortFilterProxyModel(this)) {
    shown_->setSourceModel(model_);
    shown_->setFilterRole(ResultListModel::kFailedRole);
    shown_->setSortCaseSensitivity(Qt::CaseInsensitive);
    setModel(shown_);
    // Sortable by any column; until a header is clicked, the rows keep the pass's order.
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    auto* paths = new PathDelegate(this);
    setItemDelegateForColumn(ResultListModel::kSourceColumn, paths);
    setItemDelegateForColumn(ResultListModel::kPdfColumn, paths);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // row heights are never measured one by one
    setAllColumnsShowFocus(true);
    setTextElideMode(Qt::ElideMiddle);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setSectionsMovable(false);

    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                measure_rows(first, last, 0, kColumns - 1);
            });
    connect(model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& top_left, const QModelIndex& bottom_right) {
                measure_rows(top_left.row(), bottom_right.row(), top_left.column(),
                             bottom_right.column());
            });
    connect(model_, &QAbstractItemModel::modelReset, this, &ResultListView::forget_widths);
    connect(header(), &QHeaderView::sectionResized, this, [this](int, int, int) {
        if (!fitting_) {
            user_sized_ = true;
        }
    });
    schedule_fit();
}

void ResultListView::show_failures_only(bool on) {
    shown_->setFilterFixedString(on ? QStringLiteral("true") : QString());
}

int ResultListView::source_row(const QModelIndex& index) const {
    const QModelIndex source = shown_->mapToSource(index);
    return source.isValid() ? source.row() : -1;
}

void ResultListView::scroll_to_row(int row) {
    const QModelIndex shown = shown_->mapFromSource(model_->index(row, 0));
    if (shown.isValid()) {
        scrollTo(shown);
    }
}

int ResultListView::text_margin() const {
    // What the style puts on either side of an item's text.
    return style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
}

void ResultListView::measure_rows(int first, int last, int first_column, int last_column) {
    const QFontMetrics metrics(font());
    bool grew = false;
    for (int row = std::max(0, first); row <= last && row < model_->rowCount(); ++row) {
        for (int column = std::max(0, first_column); column <= last_column && column < kColumns;
             ++column) {
            const std::string& text = model_->text(row, column);
            if (text.empty()) {
                continue;
            }
            const int width = metrics.horizontalAdvance(QString::fromStdString(text));
            if (width > text_widths_[static_cast<size_t>(column)]) {
                text_widths_[static_cast<size_t>(column)] = width;
                grew = true;
            }
        }
    }
    if (grew) {
        schedule_fit();
    }
}

void ResultListView::forget_widths() {
    text_widths_.fill(0);
    schedule_fit();
}

int ResultListView::wanted_width(int column) const {
    int width = text_widths_.at(static_cast<size_t>(column)) + 2 * text_margin() + kSlack;
    if (column == ResultListModel::kSourceColumn) {
        width += iconSize().isValid() && iconSize().width() > 0
                     ? iconSize().width()
                     : style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        width += 2 * text_margin();
    }
    return std::max(width, header()->sectionSizeHint(column));
}

void ResultListView::schedule_fit() {
    if (fit_scheduled_ || user_sized_) {
        return;
    }
    // Rows arrive in bursts; one fit after the burst is enough.
    fit_scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        fit_scheduled_ = false;
        fit_columns();
    });
}

void ResultListView::fit_columns() {
    if (user_sized_) {
        return;
    }
    std::array<ColumnNeed, 3> needs;
    for (int column = 0; column < kColumns; ++column) {
        needs[static_cast<size_t>(column)] = {wanted_width(column),
                                              header()->sectionSizeHint(column)};
    }
    const std::array<int, 3> widths = fit_column_widths(needs, viewport()->width());
    fitting_ = true;
    for (int column = 0; column < kColumns; ++column) {
        if (header()->sectionSize(column) != widths[static_cast<size_t>(column)]) {
            header()->resizeSection(column, widths[static_cast<size_t>(column)]);
        }
    }
    fitting_ = false;
}

bool ResultListView::viewportEvent(QEvent* event) {
    const bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize) {
        fit_columns();
    }
    return handled;
}

}  // namespace trelvane::gui
