#pragma once
// The two arrows between "Saved Sessions" (SesList2) and "Sessions to submit"
// (SubList): the focused item and the selection decide what moves.
#include <QItemSelectionModel>

namespace lb {

class Dialogs;
class NameListModel;

// Appends the focused session (or the selected block) of SesList2 to SubList.
void addSelectedSessions(Dialogs& dialogs, const NameListModel& sesList2,
                         const QItemSelectionModel& sesList2Selection, NameListModel& subList);

// Removes the selected items of SubList, one focused item at a time.
void removeSelectedSessions(Dialogs& dialogs, NameListModel& subList,
                            QItemSelectionModel& subListSelection);

} // namespace lb
