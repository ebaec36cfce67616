// Labels that fit their caption, and labels of a fixed size, as every window
// of the program places them.
#pragma once

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>
#include <optional>

namespace deckhand {

// Sizes label to its caption: the caption's width (an empty caption is
// measured as one space) and the font's line height.
void FitLabelToCaption(QLabel* label);

// A label named name showing caption with its top-left corner at (left, top)
// of parent, in font when one is given (else the parent's), fitted to its
// caption.
QLabel* CreateFittedLabel(QWidget* parent, const QString& name, const QString& caption, int left,
                          int top, const std::optional<QFont>& font = std::nullopt);

// A label named name of the fixed geometry, its caption in the top-left
// corner.
QLabel* CreateLabel(QWidget* parent, const QString& name, const QString& caption,
                    const QRect& geometry);

}  // namespace deckhand
