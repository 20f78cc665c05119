#include "gui/fax_settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QSpinBox>
#include <cstdint>

#include "app/batch_job.h"

namespace trelvane::gui {

namespace {

// Sets only what differs, so that handing back unchanged values writes nothing that a running
// conversion could be reading.
template <typename T, typename V>
void set_if_changed(T& field, V value) {
    if (field != static_cast<T>(value)) {
        field = static_cast<T>(value);
    }
}

// A value the list does not name (set on the command line) is kept as an extra entry, so that
// handing the values back does not change it.
void select_data(QComboBox* box, int value) {
    int index = box->findData(value);
    if (index < 0) {
        box->addItem(QString::number(value), value);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

}  // namespace

FaxSettingsPage::FaxSettingsPage(QWidget* parent) : QWidget(parent) {
    const auto& settings = app::global_settings();

    bit_order_box_ = new QComboBox(this);
    bit_order_box_->addItem(tr("Auto bit order"), 0);
    bit_order_box_->addItem(tr("Highest bit first"), 1);
    bit_order_box_->addItem(tr("Least bit first"), 2);
    select_data(bit_order_box_, settings.bit_order);

    resolution_box_ = new QComboBox(this);
    resolution_box_->addItem(tr("Auto detect"), 0);
    resolution_box_->addItem(tr("Standard (3.85lines/mm)"), 100);
    resolution_box_->addItem(tr("Fine (7.7lines/mm)"), 200);
    resolution_box_->addItem(tr("SFine (11.55lines/mm)"), 300);
    resolution_box_->addItem(tr("High (15.4lines/mm)"), 400);
    select_data(resolution_box_, settings.vertical_resolution);

    threshold_field_ = new QSpinBox(this);
    threshold_field_->setRange(0, UINT16_MAX);
    threshold_field_->setValue(settings.threshold);
    flag_num_field_ = new QSpinBox(this);
    flag_num_field_->setRange(0, UINT8_MAX);
    flag_num_field_->setValue(settings.flag_num);
    nonstandard_width_box_ = new QCheckBox(tr("Support none-standard width "), this);
    nonstandard_width_box_->setChecked(settings.nonstandard_width != 0);
    min_width_field_ = new QSpinBox(this);
    min_width_field_->setRange(0, UINT16_MAX);
    min_width_field_->setValue(settings.min_width);

    auto* form = new QFormLayout(this);
    form->addRow(bit_order_box_);
    form->addRow(resolution_box_);
    form->addRow(tr("Threshold"), threshold_field_);
    form->addRow(tr("Flag Num"), flag_num_field_);
    form->addRow(nonstandard_width_box_);
    form->addRow(tr("Min Width"), min_width_field_);
}

void FaxSettingsPage::write_back() const {
    auto& settings = app::global_settings();
    set_if_changed(settings.bit_order, bit_order_box_->currentData().toInt());
    set_if_changed(settings.vertical_resolution, resolution_box_->currentData().toInt());
    set_if_changed(settings.threshold, threshold_field_->value());
    set_if_changed(settings.flag_num, flag_num_field_->value());
    set_if_changed(settings.nonstandard_width, nonstandard_width_box_->isChecked() ? 1 : 0);
    set_if_changed(settings.min_width, min_width_field_->value());
}

}  // namespace trelvane::gui
