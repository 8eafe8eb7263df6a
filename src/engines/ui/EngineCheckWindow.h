#pragma once
// "Engine Check": checks every engine of the database in use (the file
// itself, ignored engines included) and shows each one's state in a table
// that sorts by any column; gone and dead engines can go onto the ignore
// list, the table into a CSV file. A double click shows the engine in the
// editor, and sends a changed one to the auto extractor.
#include "engines/EngineCheck.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QModelIndex;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace lb {

class Dialogs;
class EngineDatabase;
class EngineCheckModel;

class EngineCheckWindow : public QWidget {
    Q_OBJECT
public:
    EngineCheckWindow(EngineDatabase& db, Dialogs& dialogs, QWidget* parent = nullptr);
    ~EngineCheckWindow() override;

    EngineCheck& check() { return m_check; }
    // "data", "engines", "all" or the custom file: what the engine page has loaded.
    QString databaseInUse() const;

    void startClick();
    void stopClick();
    void excludeClick();
    void saveCsvClick();
    void tableDoubleClicked(const QModelIndex& index);

signals:
    // The engine is in the editor now; the page should come to the front.
    void engineShown();
    // A changed engine's page for the auto extractor.
    void extractRequested(const QString& siteUrl);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showState();
    void checkFinished();

    EngineDatabase& m_db;
    Dialogs& m_dialogs;
    EngineCheck m_check;
    QString m_database; // of the engines in the table
    EngineCheckModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QLabel* m_databaseLabel = nullptr;
    QComboBox* m_speed = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QProgressBar* m_progress = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_counts = nullptr;
    QPushButton* m_exclude = nullptr;
    QPushButton* m_saveCsv = nullptr;
};

} // namespace lb
