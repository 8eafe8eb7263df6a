#include "engines/ui/EngineCheckWindow.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/Paths.h"
#include "common/ui/Button.h"
#include "common/ui/Contrast.h"
#include "engines/EngineCheckFiles.h"
#include "engines/EngineDatabase.h"
#include "submit/SpeedSteps.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace lb {

// The check's results as table rows, in database order; the view sorts a
// proxy on request only, so thousands of updates never re-sort.
class EngineCheckModel : public QAbstractTableModel {
public:
    explicit EngineCheckModel(const EngineCheck& check, QObject* parent)
        : QAbstractTableModel(parent), m_check(check) {}

    void reset() {
        beginResetModel();
        endResetModel();
    }
    void rowChanged(int row) { emit dataChanged(index(row, 0), index(row, 3)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : m_check.count();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 4;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, o, role);
        static const char* const names[] = {"Name", "State", "Status", "Detail"};
        return QString::fromLatin1(names[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_check.count())
            return {};
        const EngineCheckResult& r = m_check.results().at(index.row());
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case 0:
                return r.name;
            case 1:
                return engineStateName(r.state);
            case 2:
                return r.status > 0 ? QVariant(r.status) : QVariant(QString());
            default:
                return r.detail;
            }
        }
        if (role == Qt::BackgroundRole && r.state != EngineState::Unchecked)
            return colour(r.state);
        if (role == Qt::ForegroundRole && r.state != EngineState::Unchecked)
            return readableTextOn(colour(r.state));
        return {};
    }

    static QColor colour(EngineState s) {
        switch (s) {
        case EngineState::Alive:
            return QColor(0xc8, 0xef, 0xc8);
        case EngineState::Changed:
            return QColor(0xfa, 0xee, 0xa8);
        case EngineState::Moved:
            return QColor(0xc4, 0xdc, 0xf6);
        case EngineState::Gone:
            return QColor(0xf6, 0xc8, 0x9c);
        case EngineState::Error:
            return QColor(0xf2, 0xa8, 0xa8);
        default:
            return QColor(0xb8, 0xb8, 0xb8);
        }
    }

private:
    const EngineCheck& m_check;
};

EngineCheckWindow::EngineCheckWindow(EngineDatabase& db, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_db(db), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("EngineCheck"));
    setWindowTitle(QStringLiteral("Engine Check"));
    resize(760, 520);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_databaseLabel = new QLabel(this);
    m_databaseLabel->setObjectName(QStringLiteral("CheckDatabase"));
    top->addWidget(m_databaseLabel, 1);
    top->addWidget(new QLabel(QStringLiteral("Speed"), this));
    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("CheckSpeed"));
    m_speed->addItems(speedSteps());
    m_speed->setCurrentIndex(DefaultSpeedIndex);
    top->addWidget(m_speed);
    m_start = button(QStringLiteral("CheckStart"), QStringLiteral("Start"), this);
    m_stop = button(QStringLiteral("CheckStop"), QStringLiteral("Stop"), this);
    top->addWidget(m_start);
    top->addWidget(m_stop);
    layout->addLayout(top);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("CheckProgress"));
    layout->addWidget(m_progress);

    m_model = new EngineCheckModel(m_check, this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setDynamicSortFilter(false);
    m_sorted->setSourceModel(m_model);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("CheckTable"));
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(-1, Qt::AscendingOrder); // database order until a header is clicked
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 220);
    layout->addWidget(m_table, 1);

    auto* bottom = new QHBoxLayout;
    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("CheckCounts"));
    bottom->addWidget(m_counts, 1);
    m_exclude = button(QStringLiteral("CheckExclude"),
                       QStringLiteral("Add gone and dead to ignore list"), this);
    m_saveCsv = button(QStringLiteral("CheckSaveCsv"), QStringLiteral("Save CSV"), this);
    bottom->addWidget(m_exclude);
    bottom->addWidget(m_saveCsv);
    layout->addLayout(bottom);

    connect(m_start, &QPushButton::clicked, this, &EngineCheckWindow::startClick);
    connect(m_stop, &QPushButton::clicked, this, &EngineCheckWindow::stopClick);
    connect(m_exclude, &QPushButton::clicked, this, &EngineCheckWindow::excludeClick);
    connect(m_saveCsv, &QPushButton::clicked, this, &EngineCheckWindow::saveCsvClick);
    connect(m_table, &QTableView::doubleClicked, this, &EngineCheckWindow::tableDoubleClicked);
    connect(&m_check, &EngineCheck::engineChecked, this, [this](int i) {
        m_model->rowChanged(i);
        showState();
    });
    connect(&m_check, &EngineCheck::finished, this, &EngineCheckWindow::checkFinished);
    showState();
}

EngineCheckWindow::~EngineCheckWindow() {
    // The check's handlers reach the model: both go before the widgets do.
    disconnect(&m_check, nullptr, this, nullptr);
    m_check.stop();
    // The check is a member and dies before the children: the view asks the
    // model for rows while ~QWidget hides it, so view and models go first.
    delete m_table;
    delete m_sorted;
    delete m_model;
}

QString EngineCheckWindow::databaseInUse() const {
    switch (m_db.choice()) {
    case EngineDatabase::Choice::SearchEngines:
        return QStringLiteral("engines");
    case EngineDatabase::Choice::AllEngines:
        return QStringLiteral("all");
    case EngineDatabase::Choice::Custom:
        return m_db.loaded();
    case EngineDatabase::Choice::Classifieds:
        break;
    }
    return QStringLiteral("data");
}

void EngineCheckWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showState();
}

void EngineCheckWindow::showState() {
    const bool running = m_check.running();
    const QString inUse = running ? m_database : databaseInUse();
    m_databaseLabel->setText(QStringLiteral("Database: ") + inUse);
    m_start->setEnabled(!running);
    m_stop->setEnabled(running);
    m_speed->setEnabled(!running);
    const bool results = !running && m_check.checkedCount() > 0;
    m_exclude->setEnabled(results);
    m_saveCsv->setEnabled(results);
    m_progress->setMaximum(qMax(1, m_check.count()));
    m_progress->setValue(m_check.checkedCount());
    m_counts->setText(m_check.countsText());
}

void EngineCheckWindow::startClick() {
    if (m_check.running())
        return;
    m_database = databaseInUse();
    QList<EngineRecord> engines;
    try {
        engines = readCheckDatabase(m_db.appDir(), m_database);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
        return;
    }
    m_check.setEngines(engines);
    m_check.setSpeed(m_speed->currentText().toInt());
    m_check.setProxy(ProxySettings::load(m_db.appDir()));
    m_model->reset();
    m_table->sortByColumn(-1, Qt::AscendingOrder);
    m_sorted->sort(-1);
    m_check.start();
    showState();
}

void EngineCheckWindow::stopClick() {
    m_check.stop();
}

void EngineCheckWindow::checkFinished() {
    m_model->reset(); // the order stays the user's: sort again on the same column
    if (const int column = m_table->horizontalHeader()->sortIndicatorSection(); column >= 0)
        m_sorted->sort(column, m_table->horizontalHeader()->sortIndicatorOrder());
    showState();
    if (m_check.checkedCount() < m_check.count())
        return; // stopped: only a whole check makes the database's report
    const QString name = checkDatabaseName(m_database);
    try {
        writeCheckFile(checkCsvPath(m_db.appDir(), name), checkCsv(m_check.results()));
        writeCheckFile(checkHtmlPath(m_db.appDir(), name), checkHtml(name, m_check.results()));
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void EngineCheckWindow::excludeClick() {
    try {
        const int added = addToIgnoreList(m_db.excludeFile(), goneAndDeadNames(m_check.results()));
        m_db.loadExcludeFile();
        m_db.removeIgnoredEngines();
        m_dialogs.inform(QStringLiteral("%1 engines added to the ignore list.").arg(added),
                         QStringLiteral("Engine Check"));
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void EngineCheckWindow::saveCsvClick() {
    const QString path = m_dialogs.saveFileName(
        QStringLiteral("Save CSV"), QStringLiteral("CSV files (*.csv)"),
        appPath(m_db.appDir(), QStringLiteral("\\reports\\")), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    try {
        writeCheckFile(path, checkCsv(m_check.results()));
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void EngineCheckWindow::tableDoubleClicked(const QModelIndex& index) {
    const int i = m_sorted->mapToSource(index).row();
    if (i < 0 || i >= m_check.count())
        return;
    const EngineRecord& engine = m_check.engine(i);
    const int row = m_db.keyList().indexOf(engine.name);
    if (row >= 0)
        m_db.keyListClicked(row);
    else
        m_db.setEditorRecord(engine); // ignored, or of another database: shown, not added
    emit engineShown();
    if (m_check.results().at(i).state == EngineState::Changed &&
        !engine[EngineRecord::SiteUrl].isEmpty())
        emit extractRequested(engine[EngineRecord::SiteUrl]);
}

} // namespace lb
