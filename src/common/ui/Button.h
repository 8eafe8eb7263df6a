#pragma once
// A push button with the caption and the object name the Parts give it.
#include <QPushButton>

namespace lb {

inline QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace lb
