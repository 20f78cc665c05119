#include "gui/options_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <initializer_list>

#include "app/batch_job.h"
#include "app/page_recognition.h"
#include "gui/option_rules.h"
#include "gui/window_colours.h"

namespace trelvane::gui {

namespace {

// Check boxes carry 0 (clear), 1 (checked) or 2 (undetermined).
void show_value(QCheckBox* box, int32_t value) {
    switch (check_box_value(value)) {
        case 1:
            box->setCheckState(Qt::Checked);
            break;
        case 2:
            box->setCheckState(Qt::PartiallyChecked);
            break;
        default:
            box->setCheckState(Qt::Unchecked);
    }
}

int32_t value_of(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

OptionsPage::OptionsPage(const std::string& settings_path, QWidget* parent)
    : QWidget(parent), settings_path_(settings_path) {
    apply_colours(this, kPageBackground, kOptionsEditBackground);
    make_controls();
    lay_out_controls();
    fields_ = app::read_saved_options(settings_path_, app::global_settings().recalculate_lines);
    show_fields();
    apply_enabling();
    connect_controls();
}

void OptionsPage::make_controls() {
    directory_button_ = new QRadioButton(tr("Convert Directory"), this);
    files_button_ = new QRadioButton(tr("Convert File(s)"), this);
    subdir_box_ = new QCheckBox(tr("Include subdir"), this);
    hierarchy_box_ = new QCheckBox(tr("Keep Hiberarchy"), this);
    keep_date_box_ = new QCheckBox(tr("Keep File Date and Time"), this);
    keep_ext_box_ = new QCheckBox(tr("Include Source File Extention"), this);
    recalculate_box_ = new QCheckBox(tr("Re-caculate Scan Lines"), this);
    cycle_box_ = new QCheckBox(tr("Enable Convertion Automatically"), this);
    minutes_field_ = new QSpinBox(this);
    minutes_field_->setRange(kMinCycleMinutes, kMaxCycleMinutes);
    jobs_field_ = new QSpinBox(this);
    jobs_field_->setRange(app::kMinParallelJobs, app::kMaxParallelJobs);
    jobs_field_->setToolTip(tr("How many fax files are converted at once (default: one per "
                               "processor, here %1)")
                                .arg(app::default_parallel_jobs()));

    verify_box_ = new QCheckBox(tr("Verify each PDF against its fax"), this);
    verify_box_->setToolTip(
        tr("Reads every PDF back and compares it, page by page and pixel by pixel, with its "
           "fax before it is put in place; with automatic conversion, PDFs already there are "
           "checked too and made again when they do not match"));
    ocr_box_ = new QCheckBox(tr("Searchable PDFs (text recognition)"), this);
    languages_field_ = new QLineEdit(this);
    languages_field_->setMaxLength(200);
    languages_field_->setToolTip(
        tr("The languages of the faxes' text, as Tesseract names them: "
           "eng, deu, fra; several joined by '+', as deu+eng"));
    if (!app::recognition_available()) {
        ocr_box_->setEnabled(false);
        ocr_box_->setToolTip(tr("This trelvane was built without text recognition"));
    } else {
        ocr_box_->setToolTip(
            tr("Adds an invisible layer of the recognised words over every "
               "page, so that the PDFs can be searched; the image stays as it "
               "is"));
    }

    pdfa_box_ = new QCheckBox(tr("Archive PDFs (PDF/A)"), this);
    pdfa_box_->setToolTip(
        tr("PDF/A, the format for documents kept for decades, dated with "
           "the fax file's own date"));
    pdfa_level_field_ = new QComboBox(this);
    for (const pdfout::ArchiveLevel level :
         {pdfout::ArchiveLevel::kPdfA1b, pdfout::ArchiveLevel::kPdfA2b,
          pdfout::ArchiveLevel::kPdfA3b}) {
        const std::string_view name = pdfout::archive_level_name(level);
        pdfa_level_field_->addItem(
            "PDF/A-" + QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())),
            static_cast<int>(level));
    }
    pdfa_level_field_->setToolTip(
        tr("1b: the widest read; 2b: the usual choice; 3b: the fax file itself inside its PDF"));
}

void OptionsPage::lay_out_controls() {
    auto* source_group = new QGroupBox(tr("Source Options"), this);
    auto* source_layout = new QVBoxLayout(source_group);
    source_layout->addWidget(directory_button_);
    source_layout->addWidget(files_button_);
    source_layout->addWidget(subdir_box_);
    source_layout->addStretch();

    auto* destination_group = new QGroupBox(tr("Destination Options"), this);
    auto* destination_layout = new QVBoxLayout(destination_group);
    destination_layout->addWidget(hierarchy_box_);
    destination_layout->addWidget(keep_date_box_);
    destination_layout->addWidget(keep_ext_box_);
    destination_layout->addWidget(recalculate_box_);
    destination_layout->addStretch();

    auto* cycle_group = new QGroupBox(tr("Auto Convertion"), this);
    auto* cycle_layout = new QHBoxLayout(cycle_group);
    cycle_layout->addWidget(cycle_box_);
    cycle_layout->addSpacing(12);
    cycle_layout->addWidget(new QLabel(tr("Convert every"), cycle_group));
    cycle_layout->addWidget(minutes_field_);
    cycle_layout->addWidget(new QLabel(tr("minutes"), cycle_group));
    cycle_layout->addStretch();

    auto* jobs_layout = new QHBoxLayout;
    auto* jobs_label = new QLabel(tr("Parallel conversions"), this);
    jobs_label->setBuddy(jobs_field_);
    jobs_layout->addWidget(jobs_label);
    jobs_layout->addWidget(jobs_field_);
    jobs_layout->addStretch();

    auto* ocr_layout = new QHBoxLayout;
    ocr_layout->addWidget(ocr_box_);
    ocr_layout->addSpacing(12);
    auto* languages_label = new QLabel(tr("Languages"), this);
    languages_label->setBuddy(languages_field_);
    ocr_layout->addWidget(languages_label);
    ocr_layout->addWidget(languages_field_);
    ocr_layout->addStretch();

    auto* pdfa_layout = new QHBoxLayout;
    pdfa_layout->addWidget(pdfa_box_);
    pdfa_layout->addSpacing(12);
    auto* level_label = new QLabel(tr("Level"), this);
    level_label->setBuddy(pdfa_level_field_);
    pdfa_layout->addWidget(level_label);
    pdfa_layout->addWidget(pdfa_level_field_);
    pdfa_layout->addStretch();

    auto* grid = new QGridLayout(this);
    grid->addWidget(source_group, 0, 0);
    grid->addWidget(destination_group, 0, 1);
    grid->addWidget(cycle_group, 1, 0, 1, 2);
    grid->addLayout(jobs_layout, 2, 0, 1, 2);
    grid->addLayout(ocr_layout, 3, 0, 1, 2);
    grid->addLayout(pdfa_layout, 4, 0, 1, 2);
    grid->addWidget(verify_box_, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
}

// Mode and cycle clicks change which controls may be used; every change is saved a moment later.
void OptionsPage::connect_controls() {
    connect(directory_button_, &QRadioButton::clicked, this,
            [this] { mode_clicked(kConvertDirectory); });
    connect(files_button_, &QRadioButton::clicked, this, [this] { mode_clicked(kConvertFiles); });
    connect(cycle_box_, &QCheckBox::clicked, this, &OptionsPage::cycle_clicked);

    save_timer_.setSingleShot(true);
    save_timer_.setInterval(kSettingsWriteDelayMs);
    connect(&save_timer_, &QTimer::timeout, this, &OptionsPage::save_controls);
    const auto changed = static_cast<void (QTimer::*)()>(&QTimer::start);
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             directory_button_, files_button_, subdir_box_, hierarchy_box_, keep_date_box_,
             keep_ext_box_, recalculate_box_, cycle_box_, ocr_box_, pdfa_box_, verify_box_}) {
        connect(button, &QAbstractButton::toggled, &save_timer_, changed);
    }
    connect(minutes_field_, &QSpinBox::valueChanged, &save_timer_, changed);
    connect(jobs_field_, &QSpinBox::valueChanged, &save_timer_, changed);
    connect(languages_field_, &QLineEdit::textChanged, &save_timer_, changed);
    connect(ocr_box_, &QCheckBox::toggled, languages_field_, &QLineEdit::setEnabled);
    connect(pdfa_level_field_, &QComboBox::currentIndexChanged, &save_timer_, changed);
    connect(pdfa_box_, &QCheckBox::toggled, pdfa_level_field_, &QComboBox::setEnabled);
}

void OptionsPage::show_fields() {
    directory_button_->setChecked(fields_.convert_mode != kConvertFiles);
    files_button_->setChecked(fields_.convert_mode == kConvertFiles);
    show_value(subdir_box_, fields_.subdir);
    show_value(hierarchy_box_, fields_.hierarchy);
    show_value(keep_date_box_, fields_.keep_date);
    show_value(keep_ext_box_, fields_.keep_ext);
    show_value(recalculate_box_, fields_.recalculate);
    show_value(cycle_box_, fields_.cycle_enabled);
    minutes_field_->setValue(fields_.cycle_minutes);
    jobs_field_->setValue(fields_.parallel_jobs);
    ocr_box_->setChecked(fields_.ocr == 1 && app::recognition_available());
    languages_field_->setText(QString::fromStdString(fields_.ocr_languages));
    languages_field_->setEnabled(ocr_box_->isChecked());
    verify_box_->setChecked(fields_.verify == 1);
    pdfa_box_->setChecked(fields_.pdfa == 1);
    pdfa_level_field_->setCurrentIndex(
        pdfa_level_field_->findData(static_cast<int>(fields_.pdfa_level)));
    pdfa_level_field_->setEnabled(pdfa_box_->isChecked());
}

void OptionsPage::apply_enabling() {
    const OptionsEnabling enabling = options_enabling(fields_);
    subdir_box_->setEnabled(enabling.subdir);
    hierarchy_box_->setEnabled(enabling.hierarchy);
    cycle_box_->setEnabled(enabling.cycle_box);
    minutes_field_->setEnabled(enabling.minutes);
}

app::SavedOptions OptionsPage::controls_values() const {
    app::SavedOptions values;
    values.convert_mode = files_button_->isChecked() ? kConvertFiles : kConvertDirectory;
    values.subdir = value_of(subdir_box_);
    values.hierarchy = value_of(hierarchy_box_);
    values.keep_date = value_of(keep_date_box_);
    values.keep_ext = value_of(keep_ext_box_);
    values.recalculate = value_of(recalculate_box_);
    values.cycle_enabled = value_of(cycle_box_);
    // A spin box holds whole numbers only; anything typed beyond its range is not taken.
    values.cycle_minutes = minutes_field_->value();
    values.parallel_jobs = jobs_field_->value();
    values.ocr = ocr_box_->isChecked() ? 1 : 0;
    const std::string languages = languages_field_->text().trimmed().toStdString();
    values.ocr_languages = languages.empty() ? std::string("eng") : languages;
    values.verify = verify_box_->isChecked() ? 1 : 0;
    values.pdfa = pdfa_box_->isChecked() ? 1 : 0;
    values.pdfa_level = static_cast<pdfout::ArchiveLevel>(pdfa_level_field_->currentData().toInt());
    return values;
}

void OptionsPage::take_fields() {
    fields_ = controls_values();
    auto& settings = app::global_settings();
    const auto recalculate = static_cast<uint8_t>(fields_.recalculate);
    if (settings.recalculate_lines != recalculate) {
        settings.recalculate_lines = recalculate;
    }
}

WindowOptions OptionsPage::window_options() const {
    return window_options_from(fields_);
}

void OptionsPage::write_settings() {
    save_timer_.stop();
    take_fields();
    save(fields_);
}

void OptionsPage::save_controls() {
    save(controls_values());
}

void OptionsPage::save(const app::SavedOptions& options) {
    int error = 0;
    if (!app::write_saved_options(settings_path_, options, &error))
        emit settings_not_saved(settings_path_, error);
}

void OptionsPage::mode_clicked(int32_t mode) {
    take_fields();
    choose_convert_mode(fields_, mode);
    show_fields();
    apply_enabling();
    cycle_clicked();
}

void OptionsPage::cycle_clicked() {
    take_fields();
    apply_enabling();
    emit cycle_changed(fields_.cycle_minutes, fields_.cycle_enabled == 1);
}

void OptionsPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            take_fields();
            event->accept();
            return;
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace trelvane::gui
