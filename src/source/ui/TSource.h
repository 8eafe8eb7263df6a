#pragma once
// The "Source" window; created at start-up, shown from the main window.
#include <QWidget>

namespace lb {

class TSource : public QWidget {
    Q_OBJECT
public:
    explicit TSource(QWidget* parent = nullptr);
};

} // namespace lb
