#pragma once
// The "Auto Extractor" sheet of the engine page: the address edit Edit1,
// "Get" (Startda), "Abort" (Stopda), the lamp Panel10 and the Name/Value
// list ListView1 with its 38 fixed rows.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace lb {

class AutoExtractor;
class EngineDatabase;

class ExtractorSheet : public QWidget {
    Q_OBJECT
public:
    // Without an extractor the sheet only shows the Name/Value view.
    ExtractorSheet(EngineDatabase& db, AutoExtractor* extractor, QWidget* parent = nullptr);

    // Puts the address into Edit1 and presses "Get" once the caller's event is done.
    void extractFrom(const QString& address);

private:
    void showState();
    void showNameValue();

    EngineDatabase& m_db;
    AutoExtractor* m_extractor;
    QLineEdit* m_url = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_lamp = nullptr;
    QTreeWidget* m_list = nullptr;
};

} // namespace lb
