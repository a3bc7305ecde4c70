#pragma once
// An editable reference table whose every write passes its record rule. Edits
// wait in the model until post(); a post the rule refuses leaves them as the
// operator typed them.

#include "reference/record_rules.h"

#include <QSqlTableModel>

#include <functional>

namespace basekvintor {

class TDataSet : public QSqlTableModel
{
    Q_OBJECT
public:
    // The rule may adjust the record it is given (the fields it sets are written).
    using BeforePost = std::function<RuleVerdict(QSqlDatabase, QSqlRecord &)>;
    // Runs inside the transaction of the deletion, with the deleted record.
    using AfterDelete = std::function<void(QSqlDatabase, const QSqlRecord &)>;

    TDataSet(const QString &table, QSqlDatabase db, QObject *parent = nullptr);

    void setBeforePost(BeforePost rule) { m_beforePost = std::move(rule); }
    bool hasBeforePost() const { return bool(m_beforePost); }
    void setAfterDelete(AfterDelete rule) { m_afterDelete = std::move(rule); }

    // An order as field names ("PSecIndex,PNumPoint1", "PTip ASC", "PIdentificator DESC");
    // names that are not fields of the table are refused (returns false).
    bool setOrder(const QString &order);
    QString order() const { return m_order; }

    // Reads the whole table: a reference table is short, and a statement
    // left half-read would pin the connection to an old state of the file.
    bool select() override;

    // Writes the pending edits, inserts and deletions, record by record, in
    // one transaction. A record refused by its rule: the message, that record
    // not written and kept in edit as typed. A database failure: a message.
    // Records before the refused or failed one are written. Returns true when
    // everything was written.
    bool post();
    // Removes the given rows and posts at once.
    bool deleteRows(QList<int> rows);

    // The key of a row (0 for a row not stored yet or out of range).
    qint64 keyAt(int row) const;
    int rowOfKey(qint64 key) const;

    // The last refusal or failure text of post() ("" after a successful one).
    QString lastProblem() const { return m_problem; }

protected:
    bool insertRowIntoTable(const QSqlRecord &values) override;
    bool updateRowInTable(int row, const QSqlRecord &values) override;
    bool deleteRowFromTable(int row) override;
    QString orderByClause() const override;

private:
    bool checkAndAdjust(QSqlRecord &record);

    BeforePost m_beforePost;
    AfterDelete m_afterDelete;
    QString m_order;
    RuleVerdict m_refusal;   // of the write under way
    QString m_error;         // of the write under way: a rule query or the engine
    QString m_problem;
    bool m_partial = false;  // a record was written only in part
};

// True for an engine error that means the other program holds the file.
bool isBusyError(const QString &engineText);
inline const QString kDatabaseBusy =
    QStringLiteral("База данных занята другой программой. Изменения не сохранены, повторите операцию.");

}  // namespace basekvintor
