// Texts an operator picks or types, through the query builder's statement,
// its translation and the paged result list, into the engine. Properties:
// a chosen meter number never makes the statement fail, and the rows shown
// are those of the same condition with the number bound; an error bound the
// builder accepts as a number never makes the statement fail either.
//
// The first byte chooses the columns and the extra conditions; the rest is
// split at its first 0x00 into the number searched for and another meter's
// number, both stored beside the archive's own meters (as UTF-8 decoded,
// cut to the column's 15 characters). The second part also stands in the
// error edit. Each input's rows are rolled back.

#include "database/connection.h"
#include "database/text_length.h"
#include "demo_data.h"
#include "reference/data_module.h"
#include "shell/query_builder.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

using namespace basekvintor;
using C = QueryColumn;
using Q = QueryCondition;

namespace {

QCoreApplication *app = nullptr;
QSqlDatabase db;
qint64 record = 0;

void fail(const char *what, const QString &detail = {})
{
    fprintf(stderr, "fuzz_query_statements: %s\n%s\n", what, detail.toUtf8().constData());
    abort();
}

bool exec(QSqlQuery &q)
{
    if (!q.exec())
        fail("fixture statement failed", q.lastError().text());
    return true;
}

qint64 addMeter(const QString &number, int position, int errors)
{
    QSqlQuery p(db);
    p.prepare(QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, "
                             "PCountDevice, PTotal) VALUES (?, ?, ?, 1, 1, 1, 1)"));
    p.addBindValue(record);
    p.addBindValue(position);
    p.addBindValue(number);
    exec(p);
    const qint64 meter = p.lastInsertId().toLongLong();
    QSqlQuery e(db);
    e.prepare(QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (?, ?, ?, 1)"));
    for (int i = 1; i <= errors; ++i) {
        e.addBindValue(meter);
        e.addBindValue(i);
        e.addBindValue(0.25 * i - 1);
        exec(e);
    }
    return meter;
}

// Rows of the list, PNumber and PPointNumber of each, counted.
std::map<QString, int> listed(const QString &statement)
{
    TQueryDataSet list(db);
    const QString error = list.open(statement);
    if (!error.isEmpty())
        fail("the composed statement failed", statement + QStringLiteral("\n") + error);
    const int number = list.record().indexOf(QStringLiteral("PNumber"));
    const int point = list.record().indexOf(QStringLiteral("PPointNumber"));
    std::map<QString, int> rows;
    for (int r = 0; r < list.rowCount(); ++r)
        ++rows[list.data(list.index(r, number)).toString() + QLatin1Char('|') +
               list.data(list.index(r, point)).toString()];
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir folder;
    app = new QCoreApplication(*argc, *argv);
    const QString path = folder.filePath(QStringLiteral("KvintorDB.sqlite"));
    if (!kv::createDatabaseFile(path).isEmpty() || !kv::openDatabase(path, QStringLiteral("fuzz")).isEmpty())
        fail("no database");
    db = QSqlDatabase::database(QStringLiteral("fuzz"));
    if (!kv::demo::addReferenceData(db).isEmpty())
        fail("no reference data");
    QSqlQuery m(db);
    m.prepare(QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) "
                             "SELECT '2026-03-10 10:00:00', min(t.PIndex), min(s.PIndex) FROM TTip t, TTest s"));
    exec(m);
    record = m.lastInsertId().toLongLong();
    // Meters every input searches among, with more errors than a page holds.
    addMeter(QStringLiteral("1001"), 11, 3);
    addMeter(QStringLiteral("A200B"), 12, TQueryDataSet::kPageRows + 10);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t choice = data[0];
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    const int cut = rest.indexOf('\0');
    const QString number = kv::leftCharacters(QString::fromUtf8(cut < 0 ? rest : rest.left(cut)), 15);
    const QString other = cut < 0 ? QString() : QString::fromUtf8(rest.mid(cut + 1));
    if (number.isEmpty())
        return 0;

    if (!db.transaction())
        fail("no transaction", db.lastError().text());
    addMeter(number, 21, 1 + choice % 3);
    if (!other.isEmpty())
        addMeter(kv::leftCharacters(other, 15), 22, 2);

    QueryBuilder b;
    b.setTicked(C::CBNumber, true);
    b.setTicked(C::CBNumPoint, true);
    if (choice & 0x08)
        b.setTicked(C::CBTip, true);
    if (choice & 0x10)
        b.setTicked(C::CBDate, true);
    b.setCondition(Q::Number, true);
    b.number = number;
    if (choice & 0x20) {
        b.setCondition(Q::Verdict, true);
        b.verdict = 1;
    }
    const ComposedQuery composed = b.compose();
    if (composed.outcome != ComposedQuery::Outcome::Ready)
        fail("a chosen number stopped composing", number);
    const std::map<QString, int> shown = listed(composed.statement);

    QSqlQuery bound(db);
    bound.prepare(QStringLiteral("SELECT c.PNumber, r.PPointNumber FROM TPositionCH c JOIN TResult r "
                                 "ON r.PSecIndex = c.PIndex WHERE c.PNumber = ?"));
    bound.addBindValue(number);
    exec(bound);
    std::map<QString, int> expected;
    while (bound.next())
        ++expected[bound.value(0).toString() + QLatin1Char('|') + bound.value(1).toString()];
    if (shown != expected)
        fail("the list differs from the bound query", composed.statement);

    // The second part as an error bound: accepted as a number, it must run.
    QueryBuilder e;
    e.setTicked(C::CBNumber, true);
    e.setCondition(Q::Error, true);
    e.errorChoice = RangeChoice(choice % 3);
    e.EBefore = e.EAfter = e.EFBFrom = other;
    e.EFBBefore = QStringLiteral("100");
    const ComposedQuery bounded = e.compose();
    if (bounded.outcome == ComposedQuery::Outcome::Ready)
        listed(bounded.statement);

    if (!db.rollback())
        fail("no rollback", db.lastError().text());
    return 0;
}
