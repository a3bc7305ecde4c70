#pragma once
// The rules that keep meter types, tests and their points consistent. They run
// on every post of those tables, whichever window or import posts, because the
// data sets of the data module call them from their write path.

#include "core/ui.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>

namespace basekvintor {

// The database program's title, also the caption of its message boxes.
inline const QString kProgramTitle = QStringLiteral("База данных Kvintor");

inline const QString kFillAllFields = QStringLiteral("Необходимо заполнить все поля данных!!!");
inline const QString kDuplicateTip = QStringLiteral("Запись с таким типом и идентификатором счетчика уже существует!!!");
inline const QString kRepeatedPoint = QStringLiteral("Повтор номера точки");
inline const QString kEnterPointNumber = QStringLiteral("Введите номер точки !");
inline const QString kZeroPointNumber = QStringLiteral("Номер точки не может быть равным 0!");
inline const QString kPointWithoutTest = QStringLiteral("Точку нельзя сохранить: не выбран тест.");

// What a rule says about a record about to be posted.
struct RuleVerdict {
    bool accepted = true;
    QString message;                   // shown when refused
    kv::Icon icon = kv::Icon::None;    // None: a plain message box

    static RuleVerdict accept() { return {}; }
    static RuleVerdict refuse(const QString &text, kv::Icon icon = kv::Icon::None) { return {false, text, icon}; }
};

// A meter type: every field filled, and no other type with the same type name
// and identifier (compared ignoring letter case: "эс-1" and "ЭС-1" name one type).
RuleVerdict tipBeforePost(QSqlDatabase db, const QSqlRecord &record);
// The first half of the type rule alone: every field filled. For a caller that
// has already looked for the type name and identifier among the stored types
// the same way (an import of many types, which must not read the whole table
// once per type).
RuleVerdict tipFieldsFilled(const QSqlRecord &record);

// A test: the numbers of its switched-on special tests differ from one another
// and from the numbers of its points.
RuleVerdict testBeforePost(QSqlDatabase db, const QSqlRecord &record);

// A test point: a non-zero number unique within its test and not taken by a
// special test. Sets the load kind from the power factor and gives a new
// point its sequence number (the largest over all points + 1).
RuleVerdict testPointBeforePost(QSqlDatabase db, QSqlRecord &record);

// Numbers the points of a test 1, 2, 3… in the order of their point numbers.
// The caller holds the transaction.
void renumberTestPoints(QSqlDatabase db, qint64 testIndex);

// The name the windows show for a field (its own name when none shows it).
QString fieldTitle(const QString &field);
// Text longer than its column, a number out of its column's range or not a
// number at all: the reason in Russian, else "". Only fields marked generated
// (the ones being written) are looked at.
QString fieldRangeProblem(const QString &table, const QSqlRecord &record);

// A value the operator left empty or zero.
bool isBlank(const QVariant &value);
bool isZero(const QVariant &value);

}  // namespace basekvintor
