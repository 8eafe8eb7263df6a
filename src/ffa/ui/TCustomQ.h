#pragma once
// The "CustomQ" window; created at start-up, shown from the main window.
#include <QWidget>

namespace lb {

class TCustomQ : public QWidget {
    Q_OBJECT
public:
    explicit TCustomQ(QWidget* parent = nullptr);
};

} // namespace lb
