#pragma once
// The row of a sheet that fetches one address: "URL:", the address editor,
// Get, Abort (off until a fetch runs) and the 16x16 lamp, with the object
// names the sheet gives them.
#include "common/ui/Button.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace lb {

struct FetchRow {
    QLineEdit* url = nullptr;
    QPushButton* get = nullptr;
    QPushButton* abort = nullptr;
    QLabel* lamp = nullptr;
};

inline FetchRow addFetchRow(QBoxLayout* layout, QWidget* parent, const char* urlName,
                            const char* getName, const char* abortName, const char* lampName) {
    FetchRow r;
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("URL:"), parent));
    r.url = new QLineEdit(parent);
    r.url->setObjectName(QLatin1String(urlName));
    row->addWidget(r.url, 1);
    r.get = button(QLatin1String(getName), QStringLiteral("Get"), parent);
    row->addWidget(r.get);
    r.abort = button(QLatin1String(abortName), QStringLiteral("Abort"), parent);
    r.abort->setEnabled(false);
    row->addWidget(r.abort);
    r.lamp = new QLabel(parent);
    r.lamp->setObjectName(QLatin1String(lampName));
    r.lamp->setFixedSize(16, 16);
    row->addWidget(r.lamp);
    layout->addLayout(row);
    return r;
}

} // namespace lb
