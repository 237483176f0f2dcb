#pragma once
// Building a form from its design: controls made with their object names and captions,
// then sized and placed from the design's twips table.
#include <QComboBox>
#include <QGroupBox>
#include <QString>
#include <span>
#include <type_traits>

#include "util/Twips.h"

namespace zorv {

// A control of type W on `parent`, named `name`, with `text` as its caption (a group
// box's title; a combo box takes none).
template <typename W>
W* MakeControl(QWidget* parent, const char* name, const char* text = nullptr) {
    W* widget = new W(parent);
    widget->setObjectName(name);
    if constexpr (std::is_same_v<W, QGroupBox>) {
        if (text) widget->setTitle(QString::fromLatin1(text));
    } else if constexpr (!std::is_same_v<W, QComboBox>) {
        if (text) widget->setText(QString::fromLatin1(text));
    }
    return widget;
}

// Gives `form` the design's client size and places every control of `layout` (found by
// its object name), drawing captions that would not fit in a smaller size.
void PlaceDesign(QWidget* form, int clientWidth, int clientHeight, std::span<const TwipsPlacement> layout);

}  // namespace zorv
