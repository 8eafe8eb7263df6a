#pragma once
// Turns the submission forms of a fetched FFA page into records of the
// saved list. The page is plain text: pieces cut at each closing form tag,
// tags classified by plain substring tests on an upper-cased copy.
#include "ffa/FfaList.h"

#include <functional>
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace lb {

// Called once per tag with the offset reached in the piece and its length.
using FormProgress = std::function<void(qint64 position, qint64 length)>;

// Analyses a whole page; returns the number of records added.
int analyseFfaPage(FfaList& list, const QByteArray& document, const QString& pageUrl,
                   const FormProgress& progress = {});

// The field-name table: form field name (or its beginning) and session key.
QList<QPair<QString, QString>> ffaFieldNames();

// The record name a page's host gives: "www." dropped, text before the first dot.
QString ffaBaseName(const QString& pageUrl);
// A form's action made absolute against the page it was found on.
QString resolveFormAction(const QString& action, const QString& pageUrl);

} // namespace lb
