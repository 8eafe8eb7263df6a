#include "submit/SessionSelection.h"

#include "common/Dialogs.h"
#include "common/NameListModel.h"

namespace lb {

void addSelectedSessions(Dialogs& dialogs, const NameListModel& sesList2,
                         const QItemSelectionModel& sel, NameListModel& subList) {
    const QModelIndex focus = sel.currentIndex();
    if (!focus.isValid() || focus.row() >= sesList2.count()) {
        dialogs.inform(QStringLiteral("You have not selected an item to Transfer"),
                       QStringLiteral("No Item"));
        return;
    }
    const int focused = focus.row();
    const QString name = sesList2.at(focused);
    if (subList.names().contains(name)) {
        if (!dialogs.askYesNo(QStringLiteral("Session name already exists.\n Do you wish to add "
                                             "the same url  ?\n\" Tip  Duplicate submissions\n "
                                             "will often get rejected.\""),
                              QStringLiteral("Duplicate Session Name")))
            return;
    }
    const int selected = int(sel.selectedRows().size());
    if (selected > 50 || subList.count() >= 51) {
        if (!dialogs.askYesNo(
                QStringLiteral("Warning!!.\n Submitting large batches can be concidered "
                               "spaming\n\"Tip: Try spacing out your submission in smaller "
                               "batches.\"\n Do you wish to continue adding sessions  ?"),
                QStringLiteral("Spam Warning!")))
            return;
    }
    if (selected < 2) {
        subList.add(name);
        return;
    }
    // Several selected: one contiguous block as long as the selection, ending
    // at the focused item when the one above it is selected, else starting there.
    const bool aboveSelected =
        focused > 0 && sel.isRowSelected(focused - 1, QModelIndex());
    int first = aboveSelected ? focused - selected + 1 : focused;
    first = qMax(0, first);
    const int last = qMin(sesList2.count() - 1, first + selected - 1);
    for (int row = first; row <= last; ++row)
        subList.add(sesList2.at(row));
}

void removeSelectedSessions(Dialogs& dialogs, NameListModel& subList,
                            QItemSelectionModel& sel) {
    if (!sel.currentIndex().isValid()) {
        dialogs.inform(QStringLiteral("You have not selected an item to Remove"),
                       QStringLiteral("No Item"));
        return;
    }
    const int selected = int(sel.selectedRows().size());
    for (int n = 0; n < selected; ++n) {
        const QModelIndex focus = sel.currentIndex();
        if (!focus.isValid())
            break;
        const int row = focus.row();
        if (!sel.isRowSelected(row, QModelIndex()))
            continue;
        subList.removeAt(row);
        // The focus rests on the item that took the removed one's place.
        if (row < subList.count())
            sel.setCurrentIndex(subList.index(row), QItemSelectionModel::NoUpdate);
    }
}

} // namespace lb
