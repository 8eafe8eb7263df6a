#pragma once
// The "UpdateBox" window; created at start-up, shown from the main window.
#include <QWidget>

namespace lb {

class TUpdateBox : public QWidget {
    Q_OBJECT
public:
    explicit TUpdateBox(QWidget* parent = nullptr);
};

} // namespace lb
