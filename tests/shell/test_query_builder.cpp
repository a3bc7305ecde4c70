// The query builder's statements and rules without the dialog: the statement
// text as composed, the enable-and-force rule, the stops and their order, the
// error edits' keys and number check, and every source list run against a
// small archive whose rows are known.

#include "core/clock.h"
#include "database/connection.h"
#include "database/engine_sql.h"
#include "database/text_length.h"
#include "reference/data_module.h"
#include "shell/query_builder.h"
#include "support/hostile_texts.h"
#include "support/test_env.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <set>

using namespace basekvintor;
using C = QueryColumn;
using Q = QueryCondition;
using O = ComposedQuery::Outcome;

namespace {

QueryBuilder withColumns(std::initializer_list<C> columns)
{
    QueryBuilder b;
    for (C c : columns)
        b.setTicked(c, true);
    return b;
}

}  // namespace

class TestQueryBuilder : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempDatabase> m_db;
    std::unique_ptr<kvtest::TempDatabase> m_hostile;  // every hostile meter number, made on first use
    qint64 m_tipA = 0, m_tipB = 0, m_testA = 0, m_testB = 0;

    // Rows of a composed statement after translation, each row's values joined by "|".
    std::multiset<QString> rows(const QueryBuilder &b)
    {
        const ComposedQuery q = b.compose();
        if (q.outcome != O::Ready) {
            qWarning("composing stopped");
            return {};
        }
        QSqlQuery query(m_db->db());
        if (!query.exec(kv::toEngineSql(q.statement, m_db->db()))) {
            qWarning("%s\n%s", qPrintable(q.statement), qPrintable(query.lastError().text()));
            return {};
        }
        std::multiset<QString> out;
        while (query.next()) {
            QStringList values;
            for (int c = 0; c < query.record().count(); ++c)
                values << query.value(c).toString();
            out.insert(values.join(QLatin1Char('|')));
        }
        return out;
    }

    qint64 insert(const QString &sql)
    {
        QSqlQuery q(m_db->db());
        if (!q.exec(kv::engineSql(q.driver(), sql)))
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return kv::insertedKey(q, m_db->db()).toLongLong();
    }

    // Three verification records: type A with test A on 10.03.2026 at 14:30
    // and on 20.03.2026, type B with test B on 01.04.2026. Each record has two
    // meters with two errors each.
    void seed()
    {
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("query"), true);
        QSqlQuery q(m_db->db());
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PIndex FROM TTip ORDER BY PIndex LIMIT 2")));
        q.next();
        m_tipA = q.value(0).toLongLong();
        q.next();
        m_tipB = q.value(0).toLongLong();
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PIndex FROM TTest ORDER BY PIndex LIMIT 2")));
        q.next();
        m_testA = q.value(0).toLongLong();
        q.next();
        m_testB = q.value(0).toLongLong();
        struct Meter {
            const char *number;
            int total;
            double errors[2];
        };
        const struct {
            const char *date;
            qint64 tip, test;
            Meter meters[2];
        } records[] = {
            {"2026-03-10 14:30:00", m_tipA, m_testA, {{"1001", 1, {0.2, -0.3}}, {"1002", 2, {1.8, 0.1}}}},
            {"2026-03-20 09:00:00", m_tipA, m_testA, {{"1001", 1, {0.4, 0.5}}, {"10'3\"", 1, {-1.2, 0.0}}}},
            {"2026-04-01 08:15:00", m_tipB, m_testB, {{"2001", 2, {2.5, 1.6}}, {"2002", 0, {0.7, -0.9}}}},
        };
        for (const auto &r : records) {
            const qint64 m = insert(QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES "
                                                   "('%1', %2, %3)")
                                        .arg(QLatin1String(r.date))
                                        .arg(r.tip)
                                        .arg(r.test));
            int position = 1;
            for (const Meter &meter : r.meters) {
                QSqlQuery p(m_db->db());
                p.prepare(kv::engineSql(p.driver(), QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, "
                                         "PSamochod, PCountDevice, PTotal) VALUES (?, ?, ?, 1, 2, 1, ?)")));
                p.addBindValue(m);
                p.addBindValue(position++);
                p.addBindValue(QString::fromUtf8(meter.number));
                p.addBindValue(meter.total);
                p.exec();
                const qint64 pos = p.lastInsertId().toLongLong();
                for (int i = 0; i < 2; ++i)
                    insert(QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) "
                                          "VALUES (%1, %2, %3, 1.0)")
                               .arg(pos)
                               .arg(i + 1)
                               .arg(meter.errors[i]));
            }
        }
    }

    QString tipName(qint64 index)
    {
        return kvtest::scalar(m_db->db(), QStringLiteral("SELECT PTip FROM TTip WHERE PIndex = %1").arg(index))
            .toString();
    }
    QString testName(qint64 index)
    {
        return kvtest::scalar(m_db->db(), QStringLiteral("SELECT PNameTable FROM TTest WHERE PIndex = %1").arg(index))
            .toString();
    }

private Q_SLOTS:
    void initTestCase() { seed(); }
    void cleanupTestCase()
    {
        m_db.reset();
        m_hostile.reset();
    }

    void statementsAsComposed()
    {
        QCOMPARE(withColumns({C::CBNumPoint}).compose().statement,
                 QStringLiteral(" Select TResult.PPointNumber  From TResult "));
        QCOMPARE(withColumns({C::CBDate, C::CBTip}).compose().statement,
                 QStringLiteral(" Select  DISTINCT TMeasure.PDate ,TTip.PTip  From TMeasure ,TTip  Where "
                                "(TMeasure.PPointerTip = TTip.PIndex)"));

        QueryBuilder b = withColumns({C::CBNumber});
        b.setCondition(Q::Error, true);
        b.errorChoice = RangeChoice::After;
        b.EAfter = QStringLiteral("1.5");
        const ComposedQuery q = b.compose();
        QCOMPARE(q.statement, QStringLiteral(" Select TPositionCH.PNumber ,TResult.PMeasure  From (TPositionCH INNER "
                                             "JOIN TResult ON TPositionCH.PIndex = TResult.PSecIndex) Where "
                                             "(TResult.PMeasure > 1.5)"));
        // The kept parts are what the export puts together again.
        QCOMPARE(q.columnPart, QStringLiteral(" Select TPositionCH.PNumber ,TResult.PMeasure "));
        QCOMPARE(q.sourcePart, q.statement.mid(q.columnPart.size()));
        QCOMPARE(q.visibleFields, QStringList({QStringLiteral("PNumber"), QStringLiteral("PMeasure")}));
        QVERIFY(b.columnPart().isEmpty());
        b.keepParts(q);
        QCOMPARE(b.columnPart() + b.sourcePart(), q.statement);
    }

    void forceRuleAndSelection()
    {
        QueryBuilder b;
        b.setCondition(Q::Type, true);
        QVERIFY(b.ticked(C::CBTip) && b.ticked(C::CBID));
        QVERIFY(!b.enabled(C::CBTip) && !b.enabled(C::CBID));
        b.setTicked(C::CBTip, false);  // a held box does not take a click
        QVERIFY(b.ticked(C::CBTip));

        b.selectAll();
        for (int i = 0; i < kQueryColumnCount; ++i)
            QVERIFY(b.ticked(QueryColumn(i)));
        b.deselectAll();
        for (int i = 0; i < kQueryColumnCount; ++i)
            QCOMPARE(b.ticked(QueryColumn(i)), QueryColumn(i) == C::CBTip || QueryColumn(i) == C::CBID);

        // Unticking frees the boxes, which keep their ticks.
        b.setCondition(Q::Type, false);
        QVERIFY(b.enabled(C::CBTip) && b.ticked(C::CBTip) && b.ticked(C::CBID));
        b.deselectAll();
        QVERIFY(!b.ticked(C::CBTip));

        // Each condition holds its own columns.
        const std::pair<Q, QList<C>> forced[] = {{Q::Date, {C::CBDate}},
                                                 {Q::Error, {C::CBMeasure}},
                                                 {Q::Number, {C::CBNumber}},
                                                 {Q::Verdict, {C::CBTotal}}};
        for (const auto &[condition, columns] : forced) {
            QueryBuilder one;
            one.setCondition(condition, true);
            for (int i = 0; i < kQueryColumnCount; ++i) {
                const bool held = columns.contains(QueryColumn(i));
                QCOMPARE(one.ticked(QueryColumn(i)), held);
                QCOMPARE(one.enabled(QueryColumn(i)), !held);
            }
        }
    }

    void stopsAndTheirOrder()
    {
        QCOMPARE(QueryBuilder().compose().outcome, O::NoColumn);
        QVERIFY(QueryBuilder().compose().visibleFields.isEmpty());

        QueryBuilder b = withColumns({C::CBPosition});
        b.setCondition(Q::Error, true);
        b.setCondition(Q::Type, true);
        b.setCondition(Q::Number, true);

        // An empty error edit stops before the missing type is reported.
        b.errorChoice = RangeChoice::Before;
        b.EBefore.clear();
        ComposedQuery q = b.compose();
        QCOMPARE(q.outcome, O::Silent);
        QVERIFY(q.visibleFields.contains(QStringLiteral("PPosition")));  // the grid follows the choice anyway
        b.EBefore = QStringLiteral("0");
        QCOMPARE(b.compose().outcome, O::NoType);
        b.typeIndex = m_tipA;
        QCOMPARE(b.compose().outcome, O::NoNumber);
        b.number = QStringLiteral("1001");
        QCOMPARE(b.compose().outcome, O::Ready);

        // The error range from 2 to 1 is no range.
        b.errorChoice = RangeChoice::FromTo;
        b.EFBFrom = QStringLiteral("2");
        b.EFBBefore = QStringLiteral("1");
        QCOMPARE(b.compose().outcome, O::Silent);
        b.EFBBefore.clear();
        QCOMPARE(b.compose().outcome, O::Silent);
        b.EFBFrom = QStringLiteral("-0.5");
        b.EFBBefore = QStringLiteral("2");
        q = b.compose();
        QCOMPARE(q.outcome, O::Ready);
        QVERIFY(q.statement.contains(QStringLiteral("((TResult.PMeasure >=-0.5) and (TResult.PMeasure <= 2))")));
        // The bounds are compared as the system reads a typed number, where a
        // leading zero without a point is a fraction: "03" is 0.03, below 1.
        b.EFBFrom = QStringLiteral("03");
        b.EFBBefore = QStringLiteral("1");
        QCOMPARE(b.compose().outcome, O::Ready);
        b.EFBFrom = QStringLiteral("3");
        QCOMPARE(b.compose().outcome, O::Silent);
        b.EFBFrom = QStringLiteral("0");
        b.EFBBefore = QStringLiteral("02");
        QCOMPARE(b.compose().outcome, O::Ready);
        b.EFBFrom = QStringLiteral("0.5");
        QCOMPARE(b.compose().outcome, O::Silent);
    }

    // What reaches an error edit by pasting is checked before it becomes
    // part of the statement.
    void errorEditsTakeNumbersOnly()
    {
        QCOMPARE(QueryBuilder::errorEditKey(QLatin1Char(',')), std::optional<QChar>(QLatin1Char('.')));
        for (QChar c : QStringLiteral("0123456789-."))
            QCOMPARE(QueryBuilder::errorEditKey(c), std::optional<QChar>(c));
        QCOMPARE(QueryBuilder::errorEditKey(QChar(8)), std::optional<QChar>(QChar(8)));
        for (QChar c : QStringLiteral("aZ ж+)'\"e"))
            QVERIFY(!QueryBuilder::errorEditKey(c));

        for (const char *good : {"0", "1.5", "-2", ".5", "-.5", "3."})
            QVERIFY2(QueryBuilder::isNumberText(QLatin1String(good)), good);
        QueryBuilder b = withColumns({C::CBNumPoint});
        b.setCondition(Q::Error, true);
        for (const char *bad : {"-", "--", ".", "1-2", "1,5", "1e5", "1)or(1", "+1", " 1"}) {
            QVERIFY2(!QueryBuilder::isNumberText(QLatin1String(bad)), bad);
            b.EBefore = QLatin1String(bad);
            const ComposedQuery q = b.compose();
            QCOMPARE(q.outcome, O::NotANumber);
            QCOMPARE(q.badNumber, QLatin1String(bad));
        }
        b.errorChoice = RangeChoice::FromTo;
        b.EFBBefore = QStringLiteral("1-2");
        QCOMPARE(b.compose().outcome, O::NotANumber);
    }

    // The date text must come back as the same day whatever the locale writes.
    void datesSurviveTheLocale()
    {
        const QDate d(2026, 12, 9);
        const QString expected = QStringLiteral("'2026-12-09 00:00:00'");
        for (const char *name : {"C", "ru_RU", "en_US", "de_DE", "en_GB"}) {
            kv::setDateLocaleForTests(QLocale(QLatin1String(name)));
            const QString text = QueryBuilder::dateText(d);
            QCOMPARE(kv::toEngineSql(QStringLiteral("DateValue(%1)").arg(kv::jetQuoted(text))), expected);
        }
        kv::setDateLocaleForTests(QLocale(QStringLiteral("ru_RU")));
        QCOMPARE(QueryBuilder::dateText(d), QStringLiteral("09.12.2026"));
        kv::resetDateLocaleForTests();
    }

    // Each source list of the table, run on the small archive.
    void sourceListsReturnTheirRows()
    {
        const QString a = tipName(m_tipA), bName = tipName(m_tipB);
        const QString ta = testName(m_testA), tb = testName(m_testB);

        // Verification columns only: one row per distinct choice.
        QueryBuilder v = withColumns({C::CBTip, C::CBTest});
        QCOMPARE(rows(v), (std::multiset<QString>{a + "|" + ta, bName + "|" + tb}));

        // Verification and meter columns: meters with their record's type.
        QueryBuilder vm = withColumns({C::CBTip, C::CBNumber});
        QCOMPARE(rows(vm), (std::multiset<QString>{a + "|1001", a + "|1002", a + "|10'3\"", bName + "|2001",
                                                   bName + "|2002"}));

        // Verification and point columns, on type A only: the errors of its four meters.
        QueryBuilder vp = withColumns({C::CBDate, C::CBNumPoint});
        vp.setCondition(Q::Type, true);
        vp.typeIndex = m_tipA;
        const auto vpRows = rows(vp);
        QCOMPARE(int(vpRows.size()), 8);
        for (const QString &r : vpRows)
            QVERIFY2(r.startsWith(QLatin1String("2026-03-")), qPrintable(r));

        // Meter columns with the verdict: distinct unfit meters.
        QueryBuilder m = withColumns({C::CBNumber});
        m.setCondition(Q::Verdict, true);
        m.verdict = 2;
        QCOMPARE(rows(m), (std::multiset<QString>{"1002|2", "2001|2"}));
        QueryBuilder distinct = withColumns({C::CBSU});
        distinct.setCondition(Q::Verdict, true);
        distinct.verdict = 2;
        QCOMPARE(rows(distinct), (std::multiset<QString>{"1|2"}));

        // Meter and point columns with an error bound.
        QueryBuilder mp = withColumns({C::CBNumber});
        mp.setCondition(Q::Error, true);
        mp.errorChoice = RangeChoice::After;
        mp.EAfter = QStringLiteral("1.5");
        QCOMPARE(rows(mp), (std::multiset<QString>{"1002|1.8", "2001|2.5", "2001|1.6"}));

        // Point columns only: every error, repeated values kept.
        QCOMPARE(int(rows(withColumns({C::CBNumPoint})).size()), 12);

        // A number holding both quote characters is found as it is.
        QueryBuilder n = withColumns({C::CBMeasure});
        n.setCondition(Q::Number, true);
        n.number = QStringLiteral("10'3\"");
        QCOMPARE(rows(n), (std::multiset<QString>{"10'3\"|-1.2", "10'3\"|0"}));
    }

    // Every hostile number is found as typed, through the paged list the
    // result grid reads (its LIMIT and OFFSET included), and the rows are
    // those of the same condition with the number bound.
    void numbersReachTheEngineAsText_data()
    {
        QTest::addColumn<QString>("number");
        // Meter numbers hold 15 characters.
        for (const QString &t : kvtest::hostileTexts())
            QTest::newRow(qPrintable(t)) << kv::leftCharacters(t, 15);
    }
    void numbersReachTheEngineAsText()
    {
        QFETCH(QString, number);
        auto &db = m_hostile;
        if (!db) {
            // Every hostile number under one record; "A%3B" carries more
            // errors than a page holds, so later pages are read with OFFSET.
            db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("hostile"), true);
            const qint64 tip = kvtest::scalar(db->db(), QStringLiteral("SELECT min(PIndex) FROM TTip")).toLongLong();
            const qint64 test = kvtest::scalar(db->db(), QStringLiteral("SELECT min(PIndex) FROM TTest")).toLongLong();
            QSqlQuery q(db->db());
            q.prepare(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES "
                                     "('2026-03-10 10:00:00', ?, ?)")));
            q.addBindValue(tip);
            q.addBindValue(test);
            QVERIFY(q.exec());
            const qint64 record = q.lastInsertId().toLongLong();
            int position = 11;
            for (const QString &t : kvtest::hostileTexts()) {
                QSqlQuery p(db->db());
                p.prepare(kv::engineSql(p.driver(), QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, "
                                         "PSamochod, PCountDevice, PTotal) VALUES (?, ?, ?, 1, 1, 1, 1)")));
                p.addBindValue(record);
                p.addBindValue(position++);
                p.addBindValue(kv::leftCharacters(t, 15));
                QVERIFY2(p.exec(), qPrintable(p.lastError().text()));
                const qint64 meter = p.lastInsertId().toLongLong();
                const int errors = t == QLatin1String("A%3B") ? TQueryDataSet::kPageRows + 40 : 3;
                QSqlQuery e(db->db());
                e.prepare(kv::engineSql(e.driver(), QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) "
                                         "VALUES (?, ?, ?, 1.0)")));
                for (int i = 1; i <= errors; ++i) {
                    e.addBindValue(meter);
                    e.addBindValue(i);
                    e.addBindValue(0.01 * i);
                    QVERIFY(e.exec());
                }
            }
        }

        QueryBuilder b = withColumns({C::CBNumber, C::CBNumPoint});
        b.setCondition(Q::Number, true);
        b.number = number;
        const ComposedQuery composed = b.compose();
        QCOMPARE(int(composed.outcome), int(O::Ready));
        TQueryDataSet list(db->db());
        QCOMPARE(list.open(composed.statement), QString());
        std::multiset<QString> shown;
        const int numberColumn = list.record().indexOf(QStringLiteral("PNumber"));
        const int pointColumn = list.record().indexOf(QStringLiteral("PPointNumber"));
        QVERIFY(numberColumn >= 0 && pointColumn >= 0);
        for (int r = 0; r < list.rowCount(); ++r)
            shown.insert(list.data(list.index(r, numberColumn)).toString() + QLatin1Char('|') +
                         list.data(list.index(r, pointColumn)).toString());

        QSqlQuery bound(db->db());
        bound.prepare(kv::engineSql(bound.driver(), QStringLiteral("SELECT c.PNumber, r.PPointNumber FROM TPositionCH c "
                                     "JOIN TResult r ON r.PSecIndex = c.PIndex WHERE c.PNumber = ?")));
        bound.addBindValue(number);
        QVERIFY(bound.exec());
        std::multiset<QString> expected;
        while (bound.next())
            expected.insert(bound.value(0).toString() + QLatin1Char('|') + bound.value(1).toString());
        QVERIFY(!expected.empty());
        QCOMPARE(shown, expected);
    }

    void dateConditionsTakeWholeDays()
    {
        QueryBuilder b = withColumns({C::CBNumber});
        b.setCondition(Q::Date, true);
        const auto dates = [&] {
            std::set<QString> days;
            for (const QString &r : rows(b))
                days.insert(r.section(QLatin1Char('|'), 0, 0).left(10));
            return days;
        };
        // "до" the day of a record made in the afternoon includes that record.
        b.dateChoice = RangeChoice::Before;
        b.DTPBefore = QDate(2026, 3, 10);
        QCOMPARE(dates(), (std::set<QString>{"2026-03-10"}));
        b.dateChoice = RangeChoice::After;
        b.DTPAfter = QDate(2026, 3, 20);
        QCOMPARE(dates(), (std::set<QString>{"2026-03-20", "2026-04-01"}));
        b.dateChoice = RangeChoice::FromTo;
        b.DTPFBFrom = QDate(2026, 3, 10);
        b.DTPFBBefore = QDate(2026, 3, 20);
        QCOMPARE(dates(), (std::set<QString>{"2026-03-10", "2026-03-20"}));
        b.DTPFBFrom = QDate(2026, 3, 21);  // reversed dates: nothing, no failure
        QCOMPARE(dates(), std::set<QString>{});
    }
};

QTEST_MAIN(TestQueryBuilder)
#include "test_query_builder.moc"
