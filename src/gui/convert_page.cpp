#include "gui/convert_page.h"

#include <QEventLoop>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <utility>

#include "app/settings_file.h"
#include "gui/option_rules.h"
#include "gui/prompter.h"
#include "gui/window_colours.h"

namespace trelvane::gui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

// Runs on the worker thread: every call waits until the page has handled it, so the window
// always shows the file being converted.
class ConvertPage::WorkerView : public PassView {
  public:
    explicit WorkerView(ConvertPage* page) : page_(page) {}

    void pass_started() override {
        call([p = page_] {
            p->set_controls_busy(true);
            p->progress_bar_->setValue(0);
            p->result_list_->clear();
            p->setCursor(Qt::WaitCursor);
        });
    }
    void save_folder_failed() override {
        call([p = page_] {
            p->environment_.prompter->show_message(p, MessageKind::Error, "Error",
                                                   "Error Save Dir");
        });
    }
    void file_started(int row, const std::string& source_path) override {
        call([p = page_, row, text = q(source_path)] {
            auto* item = new QTreeWidgetItem(QStringList{text});
            item->setIcon(0, p->style()->standardIcon(QStyle::SP_FileIcon));
            p->result_list_->insertTopLevelItem(row, item);
            p->result_list_->scrollToItem(item);
            emit p->file_started(row);
        });
    }
    void file_finished(int row, const std::string& pdf_path, const std::string& result) override {
        call([p = page_, row, pdf = q(pdf_path), text = q(result)] {
            if (QTreeWidgetItem* item = p->result_list_->topLevelItem(row)) {
                item->setText(1, pdf);
                item->setText(2, text);
            }
            p->progress_bar_->setValue(p->progress_bar_->value() + 1);
        });
    }
    void status_changed(const std::string& status) override {
        call([p = page_, text = q(status)] { p->status_label_->setText(text); });
    }
    void pass_finished(int converted) override {
        call([p = page_, converted] {
            p->unsetCursor();
            p->set_controls_busy(false);
            p->running_ = false;
            p->stop_requested_ = false;
            // Announced once this call has returned, so that a listener may join the worker
            // or start the next pass.
            QMetaObject::invokeMethod(
                p, [p, converted] { emit p->pass_finished(converted); }, Qt::QueuedConnection);
        });
    }

  private:
    template <typename F>
    void call(F&& f) {
        QMetaObject::invokeMethod(page_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }

    ConvertPage* page_;
};

ConvertPage::ConvertPage(const PageEnvironment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {
    app::reset_batch_job(job_);
    apply_colours(this, kPageBackground, kConvertEditBackground);

    filter_edit_ = new QLineEdit(QStringLiteral("*.*"), this);
    source_edit_ = new QLineEdit(this);
    destination_edit_ = new QLineEdit(this);
    source_button_ = new QToolButton(this);
    destination_button_ = new QToolButton(this);
    for (QToolButton* button : {source_button_, destination_button_}) {
        button->setText(QStringLiteral("..."));
        button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    go_button_ = new QPushButton(tr("&Go"), this);
    cancel_button_ = new QPushButton(tr("&Cancel"), this);
    cancel_button_->setEnabled(false);
    for (QPushButton* button : {go_button_, cancel_button_}) {
        button->setAutoDefault(false);
    }

    result_list_ = new QTreeWidget(this);
    result_list_->setColumnCount(3);
    result_list_->setHeaderLabels(
        {tr("Source Fax Files"), tr("Destination PDF Files"), tr("Results")});
    result_list_->setRootIsDecorated(false);
    result_list_->setUniformRowHeights(true);
    result_list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    result_list_->header()->setSectionResizeMode(QHeaderView::Interactive);
    result_list_->setColumnWidth(0, 220);
    result_list_->setColumnWidth(1, 220);

    progress_bar_ = new QProgressBar(this);
    progress_bar_->setRange(0, 0);
    progress_bar_->setValue(0);
    progress_bar_->setTextVisible(false);
    progress_bar_->setMaximumHeight(14);
    status_label_ = new QLabel(QString::fromLatin1(kFirstStatusText), this);

    auto* filter_label = new QLabel(tr("File &filter"), this);
    filter_label->setBuddy(filter_edit_);
    auto* source_label = new QLabel(tr("Source"), this);
    source_label->setBuddy(source_edit_);
    auto* destination_label = new QLabel(tr("Destniation"), this);
    destination_label->setBuddy(destination_edit_);

    auto* grid = new QGridLayout(this);
    grid->addWidget(filter_label, 0, 0);
    grid->addWidget(filter_edit_, 0, 1);
    grid->addWidget(go_button_, 0, 2);
    grid->addWidget(source_label, 1, 0);
    grid->addWidget(source_edit_, 1, 1);
    grid->addWidget(source_button_, 1, 2);
    grid->addWidget(destination_label, 2, 0);
    grid->addWidget(destination_edit_, 2, 1);
    grid->addWidget(destination_button_, 2, 2);
    grid->addWidget(cancel_button_, 3, 2);
    grid->addWidget(result_list_, 4, 0, 1, 3);
    grid->addWidget(progress_bar_, 5, 0, 1, 3);
    grid->addWidget(status_label_, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);

    const app::SavedFolders folders = app::read_saved_folders(environment_.settings_path);
    source_edit_->setText(q(folders.fax_dir));
    destination_edit_->setText(q(folders.save_dir));

    connect(go_button_, &QPushButton::clicked, this, &ConvertPage::start_conversion);
    connect(cancel_button_, &QPushButton::clicked, this, &ConvertPage::cancel_conversion);
    connect(source_button_, &QToolButton::clicked, this, &ConvertPage::choose_source);
    connect(destination_button_, &QToolButton::clicked, this, &ConvertPage::choose_destination);
    connect(filter_edit_, &QLineEdit::editingFinished, this,
            [this] { job_.filter = filter_edit_->text().toStdString(); });
    connect(&cycle_timer_, &QTimer::timeout, this, &ConvertPage::cycle_tick);
}

ConvertPage::~ConvertPage() {
    shut_down();
}

void ConvertPage::set_cycle(int minutes, bool enabled) {
    if (!enabled) {
        cycle_timer_.stop();
        return;
    }
    cycle_timer_.start(usable_cycle_minutes(minutes) * 60000);
}

// What "&Go" and the cycle timer both do first: take the controls and list the files.
void ConvertPage::collect_pass_files() {
    join_finished_worker();
    job_.filter = filter_edit_->text().toStdString();
    source_folder_ =
        collect_window_files(job_, options_, source_edit_->text().toStdString(), chosen_files_);
    progress_bar_->setRange(0, static_cast<int>(job_.files.size()));
    progress_bar_->setValue(0);
}

void ConvertPage::start_conversion() {
    if (running_) {
        environment_.prompter->show_message(this, MessageKind::Warning, "Warning", kBusyWarning);
        return;
    }
    collect_pass_files();
    if (source_folder_.empty()) {
        environment_.prompter->show_message(this, MessageKind::Warning, "Warning",
                                            kNoSourceWarning);
        return;
    }
    if (destination_edit_->text().isEmpty()) {
        environment_.prompter->show_message(this, MessageKind::Warning, "Warning",
                                            kNoDestinationWarning);
        return;
    }
    start_worker(false);
}

void ConvertPage::cycle_tick() {
    if (running_) {
        return;
    }
    collect_pass_files();
    if (source_folder_.empty() || destination_edit_->text().isEmpty()) {
        return;
    }
    start_worker(true);
}

void ConvertPage::start_worker(bool skip_existing) {
    job_.skip_existing = skip_existing ? 1 : 0;
    PassRequest request;
    request.job = job_;
    request.source_folder = source_folder_;
    request.destination = destination_edit_->text().toStdString();
    request.options = options_;
    request.log_path = environment_.log_path;
    request.log_parent_folder = environment_.log_parent_folder;
    request.convert = environment_.convert;
    stop_requested_ = false;
    running_ = true;
    // Controls go busy at once, before the worker's first call arrives, so a second click on
    // "&Go" cannot slip in.
    set_controls_busy(true);
    worker_ = std::thread([this, request = std::move(request)]() mutable {
        WorkerView view(this);
        run_conversion_pass(request, view, stop_requested_);
    });
}

bool ConvertPage::wait_for_worker(int timeout_ms) {
    if (!running_) {
        return true;
    }
    // The worker's calls into the page need this thread's event loop, so wait in one; user
    // input stays queued meanwhile.
    QEventLoop loop;
    connect(this, &ConvertPage::pass_finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    if (timeout_ms >= 0) {
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(timeout_ms);
    }
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return !running_;
}

bool ConvertPage::stop_worker() {
    if (!running_) {
        return true;
    }
    stop_requested_ = true;
    const bool ended = wait_for_worker(kStopWaitMs);
    if (ended) {
        join_finished_worker();
    }
    return ended;
}

void ConvertPage::cancel_conversion() {
    if (stop_worker()) {
        set_controls_busy(false);
    } else {
        // The current file is still being converted; the worker restores the controls when it
        // ends.
        cancel_button_->setEnabled(false);
    }
}

void ConvertPage::shut_down() {
    cycle_timer_.stop();
    if (running_) {
        stop_requested_ = true;
        wait_for_worker(-1);
    }
    join_finished_worker();
}

void ConvertPage::join_finished_worker() {
    if (worker_.joinable() && !running_) {
        worker_.join();
    }
}

void ConvertPage::set_controls_busy(bool busy) {
    go_button_->setEnabled(!busy);
    cancel_button_->setEnabled(busy);
    source_button_->setEnabled(!busy);
    destination_button_->setEnabled(!busy);
    source_edit_->setEnabled(!busy);
    destination_edit_->setEnabled(!busy);
}

void ConvertPage::choose_source() {
    const std::string source = source_edit_->text().toStdString();
    if (options_.convert_mode == kConvertDirectory) {
        if (auto folder = environment_.prompter->choose_folder(this, source)) {
            source_edit_->setText(q(*folder));
        }
        return;
    }
    const std::string start =
        chosen_files_ ? chosen_files_->folder : parse_selection_text(source).folder;
    if (auto files =
            environment_.prompter->choose_files(this, start, filter_edit_->text().toStdString())) {
        chosen_files_ = std::move(*files);
        source_edit_->setText(q(selection_text(*chosen_files_)));
    }
}

void ConvertPage::choose_destination() {
    if (auto folder =
            environment_.prompter->choose_folder(this, destination_edit_->text().toStdString())) {
        destination_edit_->setText(q(*folder));
    }
}

void ConvertPage::write_settings() const {
    app::SavedFolders folders;
    folders.fax_dir = source_edit_->text().toStdString();
    folders.save_dir = destination_edit_->text().toStdString();
    app::write_saved_folders(environment_.settings_path, folders);
}

void ConvertPage::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape on this page neither start anything nor close the window.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace trelvane::gui
