#pragma once
// The "Meta_Creator" window; created at start-up, shown from the main window.
#include <QWidget>

namespace lb {

class TMeta_Creator : public QWidget {
    Q_OBJECT
public:
    explicit TMeta_Creator(QWidget* parent = nullptr);
};

} // namespace lb
