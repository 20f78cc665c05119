#include "gui/convert_page.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <utility>

#include "app/report_text.h"
#include "app/settings_file.h"
#include "gui/help_page.h"
#include "gui/option_rules.h"
#include "gui/prompter.h"
#include "gui/result_list_model.h"
#include "gui/result_list_view.h"
#include "gui/window_colours.h"
#include "platform/file_system.h"

namespace trelvane::gui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void ConvertPage::apply(PassEvent& event) {
    switch (event.kind) {
        case PassEvent::Kind::Started:
            set_controls_busy(true);
            tracker_.pass_started();
            show_progress(0, tracker_.total());
            result_model_->clear();
            setCursor(Qt::WaitCursor);
            break;
        case PassEvent::Kind::SaveFolderFailed:
            environment_.prompter->show_message(this, MessageKind::Error, "Error", event.text);
            break;
        case PassEvent::Kind::WorkFilesFailed:
            environment_.prompter->show_message(this, MessageKind::Error, "Error",
                                                event.text + kWorkFilesAdvice);
            break;
        case PassEvent::Kind::RecognitionUnavailable:
            environment_.prompter->show_message(this, MessageKind::Error, "Error", event.text);
            break;
        case PassEvent::Kind::FileStarted:
            file_started_event(event.number, std::move(event.text));
            break;
        case PassEvent::Kind::PagesRecognised:
            if (const int row = tracker_.pages_recognised(event.number); row >= 0)
                show_doing(row);
            break;
        case PassEvent::Kind::FileFinished:
            file_finished_event(event.number, std::move(event.text), std::move(event.result),
                                event.failed);
            break;
        case PassEvent::Kind::Status:
            status_label_->setText(q(event.text));
            break;
        case PassEvent::Kind::Finished:
            unsetCursor();
            set_controls_busy(false);
            running_ = false;
            emit pass_finished(event.number);
            break;
    }
}

void ConvertPage::show_doing(int row) {
    status_label_->setText(q(app::doing_status_text(
        result_model_->text(row, ResultListModel::kSourceColumn), tracker_.pages())));
}

void ConvertPage::file_started_event(int row, std::string source) {
    result_model_->set_started(row, std::move(source));
    show_doing(tracker_.file_started(row));
    result_view_->scroll_to_row(row);
    emit file_started(row);
}

void ConvertPage::file_finished_event(int row, std::string pdf, std::string result, bool failed) {
    result_model_->set_finished(row, std::move(pdf), std::move(result), failed);
    const int status_row = tracker_.file_finished(row);
    show_progress(tracker_.done(), tracker_.total());
    if (status_row >= 0) {
        show_doing(status_row);
    }
}

void ConvertPage::open_row(int row) {
    if (row < 0 || row >= result_model_->rowCount()) {
        return;
    }
    const std::string& pdf = result_model_->text(row, ResultListModel::kPdfColumn);
    if (pdf.empty()) {
        return;  // the row says why there is none
    }
    QPointer<ConvertPage> page(this);
    Prompter* prompter = environment_.prompter;
    prompter->open_url(file_url(pdf), [page, prompter, pdf] {
        if (page) {
            prompter->show_message(page, MessageKind::Information, "Open PDF", kNoViewerText + pdf);
        }
    });
}

void ConvertPage::show_progress(size_t done, size_t total) {
    const ProgressSteps steps = progress_steps(done, total);
    progress_bar_->setRange(0, steps.maximum);
    progress_bar_->setValue(steps.value);
}

ConvertPage::ConvertPage(const PageEnvironment& environment, QWidget* parent)
    : QWidget(parent),
      environment_(environment),
      feed_(this, [this](PassEvent& event) { apply(event); }) {
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

    result_model_ = new ResultListModel(this);
    result_view_ = new ResultListView(result_model_, this);
    // One failure among thousands of rows is found without scrolling.
    failures_only_box_ = new QCheckBox(tr("Show failures only"), this);

    progress_bar_ = new QProgressBar(this);
    progress_bar_->setTextVisible(false);
    show_progress(0, 0);
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
    grid->addWidget(result_view_, 4, 0, 1, 3);
    grid->addWidget(failures_only_box_, 5, 0, 1, 3);
    grid->addWidget(progress_bar_, 6, 0, 1, 3);
    grid->addWidget(status_label_, 7, 0, 1, 3);
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
    connect(failures_only_box_, &QCheckBox::toggled, result_view_,
            &ResultListView::show_failures_only);
    connect(result_view_, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { open_row(result_view_->source_row(index)); });

    // The folders are saved as they change, so that a session ended by logout or a signal
    // keeps them.
    settings_timer_.setSingleShot(true);
    settings_timer_.setInterval(kSettingsWriteDelayMs);
    connect(&settings_timer_, &QTimer::timeout, this, &ConvertPage::write_settings);
    for (QLineEdit* edit : {source_edit_, destination_edit_}) {
        connect(edit, &QLineEdit::textChanged, &settings_timer_,
                static_cast<void (QTimer::*)()>(&QTimer::start));
    }
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
    tracker_.collected(job_.files.size());
    show_progress(0, tracker_.total());
}

void ConvertPage::start_conversion() {
    start_pass(std::nullopt);
}

void ConvertPage::convert_selection(const FileSelection& selection) {
    start_pass(selection);
}

void ConvertPage::start_pass(const std::optional<FileSelection>& given) {
    if (running_) {
        environment_.prompter->show_message(this, MessageKind::Warning, "Warning", kBusyWarning);
        return;
    }
    // Files handed over are this pass's alone: the source text, the mode and the automatic
    // conversion stay as the user set them.
    WindowOptions options = options_;
    if (given) {
        options.convert_mode = kConvertFiles;
        join_finished_worker();
        job_.filter = filter_edit_->text().toStdString();
        source_folder_ = collect_window_files(job_, options, selection_text(*given), given);
        tracker_.collected(job_.files.size());
        show_progress(0, tracker_.total());
    } else {
        collect_pass_files();
    }
    if (const auto refusal =
            pass_refusal(source_folder_, destination_edit_->text().toStdString())) {
        environment_.prompter->show_message(
            this, refusal->error ? MessageKind::Error : MessageKind::Warning, refusal->caption,
            refusal->text);
        return;
    }
    start_worker(false, options);
}

void ConvertPage::cycle_tick() {
    if (running_) {
        return;
    }
    collect_pass_files();
    // A share that is away for the moment is tried again at the next tick.
    if (pass_refusal(source_folder_, destination_edit_->text().toStdString())) {
        return;
    }
    start_worker(true, options_);
}

void ConvertPage::start_worker(bool skip_existing, const WindowOptions& options) {
    job_.skip_existing = skip_existing ? 1 : 0;
    PassRequest request;
    request.job = job_;
    // The pass converts with the options as they are now; the options pages may change them
    // while it runs, for the next pass.
    request.job.settings = app::global_settings();
    request.source_folder = source_folder_;
    request.destination = destination_edit_->text().toStdString();
    request.options = options;
    request.log_path = environment_.log_path;
    request.log_parent_folder = environment_.log_parent_folder;
    request.convert = environment_.convert;
    request.clock = environment_.clock;
    control_ = std::make_shared<PassControl>();
    running_ = true;
    // Controls go busy at once, before the worker's first call arrives, so a second click on
    // "&Go" cannot slip in.
    set_controls_busy(true);
    worker_ = std::thread([this, control = control_, request = std::move(request)]() mutable {
        QueuedPassView view(feed_.queue());
        run_conversion_pass(request, view, *control);
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
        deadline.setTimerType(Qt::PreciseTimer);  // a coarse timer may end the wait early
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
    control_->stop();
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
        // Files are still being converted; the pass restores the controls when they are done.
        cancel_button_->setEnabled(false);
    }
}

void ConvertPage::shut_down() {
    cycle_timer_.stop();
    if (settings_timer_.isActive()) {
        settings_timer_.stop();
        write_settings();
    }
    if (running_) {
        control_->stop(PassControl::Reason::WindowClosed);
        if (!wait_for_worker(kStopWaitMs)) {
            // A conversion that hangs (a stalled network share) must not keep the process: it is
            // given up, and the pass writes its record at once.
            control_->abandon();
            wait_for_worker(-1);
        }
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

void ConvertPage::write_settings() {
    app::SavedFolders folders;
    folders.fax_dir = source_edit_->text().toStdString();
    folders.save_dir = destination_edit_->text().toStdString();
    int error = 0;
    if (!app::write_saved_folders(environment_.settings_path, folders, &error))
        emit settings_not_saved(environment_.settings_path, error);
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
