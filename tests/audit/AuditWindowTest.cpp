// "Site Audit" opened from the spider sheet: its controls drive the audit and
// show pages, issues and the report.
#include "audit/ui/SiteAuditWindow.h"
#include "reports/ui/ThtmlLite.h"
#include "spider/ui/SpiderSheet.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>

using namespace lb;

using lb::test::named;

TEST(AuditWindow, OpensFromTheSpiderSheetAndShowsPagesIssuesAndReport) {
    test::TargetSim sim;
    ASSERT_TRUE(sim.ok());
    QTemporaryDir dir;
    const test::InFolder in(dir.path());

    SpiderSheet sheet(nullptr);
    named<QLineEdit>(&sheet, "SiteUrl")->setText(sim.url("/audit/"));
    named<QPushButton>(&sheet, "AuditButton")->click();
    auto* window = sheet.findChild<SiteAuditWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(named<QLineEdit>(window, "AuditUrl")->text(), sim.url("/audit/"));

    named<QSpinBox>(window, "AuditMaxPages")->setValue(6);
    named<QSpinBox>(window, "AuditInFlight")->setValue(2);
    auto* start = named<QPushButton>(window, "AuditStart");
    auto* stop = named<QPushButton>(window, "AuditStop");
    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    start->click(); // a second click while running changes nothing
    ASSERT_TRUE(test::runUntil([&] { return start->isEnabled(); }, 30000));
    EXPECT_FALSE(stop->isEnabled());

    auto* table = named<QTableView>(window, "AuditPages");
    QAbstractItemModel* rows = table->model();
    EXPECT_EQ(rows->rowCount(), 6);
    EXPECT_EQ(named<QProgressBar>(window, "AuditProgress")->format(),
              QStringLiteral("6 pages done, 16 queued"));
    named<QLineEdit>(window, "AuditFilter")->setText(QStringLiteral("missing"));
    ASSERT_EQ(rows->rowCount(), 1);
    EXPECT_EQ(rows->index(0, 1).data().toInt(), 404);
    named<QLineEdit>(window, "AuditFilter")->clear();

    // An issue selects the pages it names.
    auto* issues = named<QListWidget>(window, "AuditIssues");
    const QList<QListWidgetItem*> broken =
        issues->findItems(QStringLiteral("broken-link (1)"), Qt::MatchExactly);
    ASSERT_EQ(broken.size(), 1);
    broken.first()->setSelected(true);
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().data().toString(), sim.url("/audit/missing.html"));

    auto* open = named<QPushButton>(window, "AuditOpenReport");
    ASSERT_TRUE(open->isEnabled());
    open->click();
    EXPECT_TRUE(named<ThtmlLite>(window, "AuditReport")->toPlainText().contains("broken-link"));

    // Stop ends a long crawl early, with what was found kept.
    named<QLineEdit>(window, "AuditUrl")->setText(sim.url("/site/gen/5000/"));
    named<QSpinBox>(window, "AuditMaxPages")->setValue(5000);
    named<QSpinBox>(window, "AuditInFlight")->setValue(1);
    start->click();
    ASSERT_TRUE(test::runUntil([&] { return rows->rowCount() >= 3; }, 30000));
    stop->click();
    ASSERT_TRUE(test::runUntil([&] { return start->isEnabled(); }, 30000));
    EXPECT_LT(rows->rowCount(), 5000);
}
