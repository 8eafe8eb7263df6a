#pragma once
// The "FFA_Crawler" window; created at start-up, shown from the main window.
#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace lb {

class TCustomQ;

class TFFA_Crawler : public QWidget {
    Q_OBJECT
public:
    explicit TFFA_Crawler(QWidget* parent = nullptr);

    // The options window the "Customize Search Engine Queries" button shows.
    void setOptionsWindow(TCustomQ* options) { m_options = options; }
    TCustomQ* optionsWindow() const { return m_options; }

    QLineEdit* Pathtxt() const { return m_pathtxt; } // program folder, filled by the main window
    QPushButton* Customize() const { return m_customize; }

    void CustomizeClick();

private:
    QPointer<TCustomQ> m_options;
    QLineEdit* m_pathtxt = nullptr;
    QPushButton* m_customize = nullptr;
};

} // namespace lb
