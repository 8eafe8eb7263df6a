#pragma once
// The "UpdateBox" window: the status line, the unpacking progress bar and
// Cancel of a database update. Created at start-up; the main window binds
// it to its updater, which shows and closes it.
#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace lb {

class Updater;

class TUpdateBox : public QWidget {
    Q_OBJECT
public:
    explicit TUpdateBox(QWidget* parent = nullptr);
    void bind(Updater* updater);

private:
    void sync();

    QPointer<Updater> m_updater;
    QLabel* m_info = nullptr;
    QPushButton* m_abort = nullptr;
    QProgressBar* m_bar = nullptr;
};

} // namespace lb
