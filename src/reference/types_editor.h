#pragma once
// What the meter types window does, without its widgets: the order of the
// list and its title marks, the unit label of the meter constant, the record
// actions and the deletion of types the archive does not use.

#include "reference/record_cursor.h"
#include "reference/reference_delete.h"
#include "widgets/data_grid.h"

#include <QObject>

class QWidget;

namespace basekvintor {

class TDM;

// The label after the meter constant for a unit code; any other code keeps
// the label it had.
QString unitLabelText(const QVariant &unitCode, const QString &previous);

class TypesEditor : public QObject
{
    Q_OBJECT
public:
    explicit TypesEditor(TDM *dm, QObject *parent = nullptr);

    TDM *dm() const { return m_dm; }
    RecordCursor &cursor() { return m_cursor; }

    // FormCreate: the list ordered by type name, ascending.
    void FormCreate();
    // Orders the list by a field ("PTip ASC"); pending changes are written
    // first (refused: the order stays, false).
    bool orderBy(const QString &field, kv::SortMark mark);
    QString order() const;

    // DataSetFirst1Update: the unit label for the current record as it is
    // being edited.
    QString unitLabel() const { return m_unitLabel; }
    void updateUnitLabel();

    // DataSetDelete1Execute on these rows, after the question.
    DeleteResult DataSetDelete1Execute(const QList<int> &rows, QWidget *parent);

Q_SIGNALS:
    void unitLabelChanged(const QString &text);

private:
    TDM *m_dm;
    RecordCursor m_cursor;
    QString m_unitLabel;
};

}  // namespace basekvintor
