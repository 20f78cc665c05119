// The fax decoding settings for headerless fax data. The page has no tab and is never shown;
// it carries the values and hands them back to the global conversion settings whenever the
// Convert tab is selected.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace trelvane::gui {

class FaxSettingsPage : public QWidget {
    Q_OBJECT

  public:
    explicit FaxSettingsPage(QWidget* parent = nullptr);

    // Writes the controls' values into the global conversion settings.
    void write_back() const;

    QComboBox* bit_order_box() const { return bit_order_box_; }
    QComboBox* resolution_box() const { return resolution_box_; }
    QSpinBox* threshold_field() const { return threshold_field_; }
    QSpinBox* flag_num_field() const { return flag_num_field_; }
    QCheckBox* nonstandard_width_box() const { return nonstandard_width_box_; }
    QSpinBox* min_width_field() const { return min_width_field_; }

  private:
    QComboBox* bit_order_box_ = nullptr;
    QComboBox* resolution_box_ = nullptr;
    QSpinBox* threshold_field_ = nullptr;
    QSpinBox* flag_num_field_ = nullptr;
    QCheckBox* nonstandard_width_box_ = nullptr;
    QSpinBox* min_width_field_ = nullptr;
};

}  // namespace trelvane::gui
