// The window's colours: a pale green background, near-white edits and blue texts.
#pragma once

#include <QColor>

class QWidget;

namespace trelvane::gui {

inline const QColor kWindowBackground{236, 255, 245};
inline const QColor kWindowEditBackground{249, 249, 249};
inline const QColor kPageBackground{196, 255, 225};
inline const QColor kConvertEditBackground{252, 252, 252};
inline const QColor kOptionsEditBackground{255, 255, 255};
inline const QColor kTextColour{0, 0, 255};

// Fills the widget with the background and gives its edits, labels and buttons the colours.
void apply_colours(QWidget* widget, const QColor& background, const QColor& edit_background);

}  // namespace trelvane::gui
