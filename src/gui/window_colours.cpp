#include "gui/window_colours.h"

#include <QPalette>
#include <QWidget>

namespace trelvane::gui {

void apply_colours(QWidget* widget, const QColor& background, const QColor& edit_background) {
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, background);
        palette.setColor(group, QPalette::Button, background);
        palette.setColor(group, QPalette::Base, edit_background);
        palette.setColor(group, QPalette::WindowText, kTextColour);
        palette.setColor(group, QPalette::Text, kTextColour);
        palette.setColor(group, QPalette::ButtonText, kTextColour);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace trelvane::gui
