#pragma once
// The window harness: a window in a throw-away program folder with the
// scripted dialogs, its controls by name, and the moves window tests make on
// it; the main window's fixture besides.
#include "app/TKestrel.h"
#include "support/ProgramFolder.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace lb::test {

// A named child; a missing one fails the test.
template <class T> T* named(const QObject* in, const char* name) {
    T* c = in->findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// The texts of a list's rows.
inline QStringList rowTexts(const QAbstractItemView* v) {
    QStringList out;
    for (int r = 0; v && r < v->model()->rowCount(); ++r)
        out.append(v->model()->index(r, 0).data().toString());
    return out;
}

// The working directory set for a scope and put back after it.
struct InFolder {
    explicit InFolder(const QString& path) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(old); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;
    const QString old = QDir::currentPath();
};

// One saved session "Shop" for http://shop.example.com/.
inline void writeShopSession(const ProgramFolder& pf, const QByteArray& more = {}) {
    pf.writeBytes("data/session/session.hlx", "[Session]\r\nCount=1\r\n[List]\r\n0=Shop\r\n");
    pf.writeBytes("data/session/Shop.hlx", "[Shop]\r\nurl=http://shop.example.com/\r\n" + more);
}

// Saved session `row` moved into "Sessions to submit" with the arrow.
inline void queueSession(TKestrel& w, int row = 0) {
    auto* saved = named<QAbstractItemView>(&w, "SesList2");
    saved->selectionModel()->setCurrentIndex(saved->model()->index(row, 0),
                                             QItemSelectionModel::ClearAndSelect);
    named<QPushButton>(&w, "AddSubmitSession")->click();
}

// Start pressed on "Step3 Submit" and the run waited for; false if it never ended.
inline bool submitAndWait(TKestrel& w, int timeoutMs = 30000) {
    auto* start = named<QPushButton>(&w, "SubStart");
    start->click();
    return runUntil([&] { return start->isEnabled(); }, timeoutMs);
}

// A window of its own (not the main window) under test.
template <class W> class WindowTest : public ::testing::Test {
protected:
    template <class T> T* child(const char* name) { return named<T>(&w, name); }
    void click(const char* name) { child<QAbstractButton>(name)->click(); }
    // Typed key by key, as the user does (editors' length limits apply).
    void type(const char* name, const QString& text) {
        QLineEdit* e = child<QLineEdit>(name);
        e->clear();
        QTest::keyClicks(e, text);
    }

    ProgramFolder pf;
    ScriptedDialogs dialogs;
    W w;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { pf.writeStandardFiles(); }
    void TearDown() override { w.reset(); }
    TKestrel& open() {
        if (!cwd)
            cwd = std::make_unique<InFolder>(pf.dir.path());
        w = std::make_unique<TKestrel>(dialogs);
        return *w;
    }
    template <class T> T* child(const char* name) { return named<T>(w.get(), name); }
    QStringList names(const char* list) { return rowTexts(child<QAbstractItemView>(list)); }

    ProgramFolder pf;
    ScriptedDialogs dialogs;
    std::unique_ptr<InFolder> cwd;
    std::unique_ptr<TKestrel> w;
};

} // namespace lb::test
