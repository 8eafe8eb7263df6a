#pragma once
// The "FFA_Crawler" window; created at start-up, shown from the main window.
#include <QWidget>

namespace lb {

class TFFA_Crawler : public QWidget {
    Q_OBJECT
public:
    explicit TFFA_Crawler(QWidget* parent = nullptr);
};

} // namespace lb
