// The "Options" page: source and destination options, the automatic conversion, the number of
// parallel conversions, searchable and archive PDFs, read from and written to the settings file.
#pragma once

#include <QTimer>
#include <QWidget>
#include <string>

#include "app/settings_file.h"
#include "gui/window_options.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace trelvane::gui {

class OptionsPage : public QWidget {
    Q_OBJECT

  public:
    explicit OptionsPage(const std::string& settings_path, QWidget* parent = nullptr);

    // Takes the controls into the fields; the recalculation choice also goes to the global
    // conversion settings, where every following conversion reads it.
    void take_fields();
    const app::SavedOptions& fields() const { return fields_; }
    WindowOptions window_options() const;
    // Takes the fields and writes them (closing the window).
    void write_settings();
    // Writes what the controls show, without taking it into the fields: the options are saved
    // as they change, a moment after the last change.
    void save_controls();

    QRadioButton* directory_button() const { return directory_button_; }
    QRadioButton* files_button() const { return files_button_; }
    QCheckBox* subdir_box() const { return subdir_box_; }
    QCheckBox* hierarchy_box() const { return hierarchy_box_; }
    QCheckBox* keep_date_box() const { return keep_date_box_; }
    QCheckBox* keep_ext_box() const { return keep_ext_box_; }
    QCheckBox* recalculate_box() const { return recalculate_box_; }
    QCheckBox* cycle_box() const { return cycle_box_; }
    QSpinBox* minutes_field() const { return minutes_field_; }
    QSpinBox* jobs_field() const { return jobs_field_; }
    QCheckBox* ocr_box() const { return ocr_box_; }
    QLineEdit* languages_field() const { return languages_field_; }
    QCheckBox* verify_box() const { return verify_box_; }
    QCheckBox* pdfa_box() const { return pdfa_box_; }
    QComboBox* pdfa_level_field() const { return pdfa_level_field_; }

  signals:
    // The automatic conversion was switched on or off, or its interval changed with it.
    void cycle_changed(int minutes, bool enabled);
    // The settings file could not be written (errno's reason).
    void settings_not_saved(const std::string& settings_path, int error);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    app::SavedOptions controls_values() const;
    void save(const app::SavedOptions& options);
    void make_controls();
    void lay_out_controls();
    void connect_controls();
    void show_fields();
    void apply_enabling();
    void mode_clicked(int32_t mode);
    void cycle_clicked();

    std::string settings_path_;
    app::SavedOptions fields_;
    QTimer save_timer_;

    QRadioButton* directory_button_ = nullptr;
    QRadioButton* files_button_ = nullptr;
    QCheckBox* subdir_box_ = nullptr;
    QCheckBox* hierarchy_box_ = nullptr;
    QCheckBox* keep_date_box_ = nullptr;
    QCheckBox* keep_ext_box_ = nullptr;
    QCheckBox* recalculate_box_ = nullptr;
    QCheckBox* cycle_box_ = nullptr;
    QSpinBox* minutes_field_ = nullptr;
    QSpinBox* jobs_field_ = nullptr;
    QCheckBox* ocr_box_ = nullptr;
    QLineEdit* languages_field_ = nullptr;
    QCheckBox* verify_box_ = nullptr;
    QCheckBox* pdfa_box_ = nullptr;
    QComboBox* pdfa_level_field_ = nullptr;
};

}  // namespace trelvane::gui
