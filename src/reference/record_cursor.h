#pragma once
// The current record of a reference data set and the record actions on it
// (first, prior, next, last, insert, post, cancel). Moving to another record
// writes the pending changes first, as the operator expects of a record
// editor; a refused write keeps the record where it is, in edit. The current
// record survives the re-reads that every write makes.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <functional>

namespace basekvintor {

class TDataSet;

class RecordCursor : public QObject
{
    Q_OBJECT
public:
    explicit RecordCursor(TDataSet *set, QObject *parent = nullptr);

    TDataSet *dataSet() const { return m_set; }
    int row() const { return m_row; }
    qint64 key() const;  // 0: no record, or one not stored yet
    bool isEmpty() const;

    // The current record is stored and has changes not written yet.
    bool isEdited() const;
    // The current record is new and not written yet.
    bool isInserted() const;
    // Any change of the data set not written yet.
    bool isModified() const;
    // A new record of the set not written yet (current or not).
    bool hasPendingInsert() const;

    // Runs before this set's own changes are written or dropped, and before
    // moving: a detail set posts its changes here. False stops the action.
    void setBeforeLeave(std::function<bool()> check) { m_beforeLeave = std::move(check); }

    // Makes a row current without writing (the grid followed a re-read).
    void setRow(int row);
    // Moves to a row; pending changes are written first. False when the write
    // was refused (the record stays current, in edit).
    bool moveTo(int row);
    bool first();
    bool prior();
    bool next();
    bool last();
    // Writes the pending changes; the record stays current. True when written
    // (or nothing was pending).
    bool post();
    // Drops the pending changes.
    void cancel();
    // A new record before the current one with these field values; pending
    // changes are written first. The new row, or -1.
    int insert(const QHash<QString, QVariant> &values = {});
    // Re-reads the data set, keeping the current record where it still exists.
    void refresh();

Q_SIGNALS:
    void rowChanged(int row);

private:
    void beforeReset();
    void afterReset();
    bool leave();
    bool untouchedInsert() const;
    QList<qint64> allKeys() const;

    QPointer<TDataSet> m_set;
    int m_row = -1;
    qint64 m_keptKey = 0;
    int m_keptRow = -1;
    bool m_findNew = false;
    QList<qint64> m_keysBefore;
    QHash<QString, QVariant> m_insertValues;
    int m_insertRow = -1;
    std::function<bool()> m_beforeLeave;
};

}  // namespace basekvintor
