#pragma once
// A push button with the caption and its object name, which tests and styles find it by.
#include <QPushButton>

namespace lb {

inline QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace lb
