// The record rules as the operator meets them: posted through the data
// module's data sets, refusals with their message and the typed values kept.

#include "core/ui.h"
#include "reference/data_module.h"
#include "database/engine_sql.h"
#include "support/test_env.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace basekvintor;
using kvtest::scalar;

namespace {

using Fields = QList<QPair<const char *, QVariant>>;

void setFields(TDataSet *m, int row, const Fields &fields)
{
    for (const auto &f : fields)
        QVERIFY2(m->setData(m->index(row, m->fieldIndex(QLatin1String(f.first))), f.second), f.first);
}

int appendRow(TDataSet *m, const Fields &fields)
{
    const int row = m->rowCount();
    m->insertRow(row);
    setFields(m, row, fields);
    return row;
}

Fields tip(const QString &name, const QString &ident)
{
    return {{"PTip", name}, {"PIdentificator", ident}, {"PMaker", QStringLiteral("Завод")},
            {"PClassT", 1.0},  {"PUnom", 230.0},        {"PInom", 5.0},
            {"PReductRate", 1600.0}, {"PIdentReductRate", 1}, {"PPhase", 1},
            {"PEnergy", 1},    {"PCenaDel", 0.1},       {"PImax", 60.0}};
}

Fields with(Fields f, const char *name, const QVariant &value)
{
    for (auto &p : f)
        if (qstrcmp(p.first, name) == 0)
            p.second = value;
    return f;
}

QVariant valueAt(TDataSet *m, int row, const char *name) { return m->data(m->index(row, m->fieldIndex(QLatin1String(name)))); }

}  // namespace

class TestRecordRules : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempDatabase> m_db;
    std::unique_ptr<TDM> m_dm;

    QSqlDatabase db() { return m_db->db(); }

    // A test with the given special tests switched on ({switch, number} pairs).
    qint64 addTest(const QString &name, const Fields &special = {})
    {
        Fields f{{"PNameTable", name}, {"PDescription", QStringLiteral("описание")}};
        f += special;
        appendRow(m_dm->ADOTest, f);
        if (!m_dm->ADOTest->post())
            return 0;
        const qint64 key = scalar(db(), QStringLiteral("SELECT max(PIndex) FROM TTest")).toLongLong();
        m_dm->setCurrentTest(m_dm->ADOTest->rowOfKey(key));
        return key;
    }

    bool addPoint(const Fields &fields) { appendRow(m_dm->ADOTestPoint, fields); return m_dm->ADOTestPoint->post(); }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("rules"));
        m_dm = std::make_unique<TDM>();
        m_dm->useConnection(QStringLiteral("rules"));
        QCOMPARE(m_dm->openDataSets(), QString());
    }
    void cleanup()
    {
        m_dm.reset();
        m_db.reset();
    }

    void typeNeedsEveryField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("PTip empty") << "PTip" << QVariant(QString());
        QTest::newRow("PMaker empty") << "PMaker" << QVariant(QString());
        QTest::newRow("PCenaDel 0") << "PCenaDel" << QVariant(0.0);
        QTest::newRow("PImax missing") << "PImax" << QVariant();
        QTest::newRow("PEnergy 0") << "PEnergy" << QVariant(0);
        QTest::newRow("PClassT not a number") << "PClassT" << QVariant(QStringLiteral("x"));
    }
    void typeNeedsEveryField()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        kv::ScopedRecordingUi ui;
        const int row = appendRow(m_dm->ADOTip, with(tip(QStringLiteral("СО-505"), QStringLiteral("А1")),
                                                     qPrintable(field), value));
        QVERIFY(!m_dm->ADOTip->post());
        QCOMPARE(ui->texts(), QStringList{kFillAllFields});
        QCOMPARE(ui->boxes().first().icon, kv::Icon::Information);
        // Still in edit with what was typed.
        QVERIFY(m_dm->ADOTip->isDirty());
        QCOMPARE(valueAt(m_dm->ADOTip, row, "PTip").toString(), field == QLatin1String("PTip") ? QString() : QStringLiteral("СО-505"));
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt(), 0);
        // Corrected, it goes in.
        setFields(m_dm->ADOTip, row, tip(QStringLiteral("СО-505"), QStringLiteral("А1")));
        QVERIFY(m_dm->ADOTip->post());
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt(), 1);
    }

    // Names with quotes are data like any other; the same type and identifier
    // twice is refused whatever the letter case, an edit of the type itself is not.
    void duplicateTypes()
    {
        kv::ScopedRecordingUi ui;
        const QString name = QStringLiteral("СЕ\"101\" O'Neil");
        appendRow(m_dm->ADOTip, tip(name, QStringLiteral("R5 'x'")));
        QVERIFY(m_dm->ADOTip->post());
        appendRow(m_dm->ADOTip, tip(QStringLiteral("Меркурий"), QStringLiteral("201")));
        QVERIFY(m_dm->ADOTip->post());
        QVERIFY(ui->texts().isEmpty());

        const int dup = appendRow(m_dm->ADOTip, tip(QStringLiteral("се\"101\" o'neil"), QStringLiteral("r5 'X'")));
        QVERIFY(!m_dm->ADOTip->post());
        QCOMPARE(ui->texts(), QStringList{kDuplicateTip});
        QCOMPARE(valueAt(m_dm->ADOTip, dup, "PTip").toString(), QStringLiteral("се\"101\" o'neil"));
        m_dm->ADOTip->revertAll();
        ui->clear();

        // Same name, another identifier: a different type.
        appendRow(m_dm->ADOTip, tip(name, QStringLiteral("R6")));
        QVERIFY(m_dm->ADOTip->post());

        // Re-posting a stored type (another field edited) finds only itself.
        const int row = m_dm->ADOTip->rowOfKey(scalar(db(), QStringLiteral("SELECT PIndex FROM TTip WHERE PIdentificator = 'R5 ''x'''")).toLongLong());
        QVERIFY(row >= 0);
        setFields(m_dm->ADOTip, row, {{"PMaker", QStringLiteral("Другой завод")}});
        QVERIFY(m_dm->ADOTip->post());
        QCOMPARE(tipBeforePost(db(), m_dm->ADOTip->record(row)).accepted, true);
        // Renaming it onto another type is refused.
        setFields(m_dm->ADOTip, row, {{"PTip", QStringLiteral("Меркурий")}, {"PIdentificator", QStringLiteral("201")}});
        QVERIFY(!m_dm->ADOTip->post());
        QCOMPARE(ui->texts(), QStringList{kDuplicateTip});
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip WHERE PTip = 'Меркурий'")).toInt(), 1);
    }

    // Several records pending: each is posted whole, the refused one stays in
    // edit and nothing already posted is lost by the refusal.
    void severalPendingRecords()
    {
        kv::ScopedRecordingUi ui;
        appendRow(m_dm->ADOTip, tip(QStringLiteral("А"), QStringLiteral("1")));
        QVERIFY(m_dm->ADOTip->post());
        appendRow(m_dm->ADOTip, tip(QStringLiteral("Б"), QStringLiteral("2")));
        const int dup = appendRow(m_dm->ADOTip, tip(QStringLiteral("А"), QStringLiteral("1")));
        QVERIFY(!m_dm->ADOTip->post());
        QCOMPARE(ui->texts(), QStringList{kDuplicateTip});
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip WHERE PTip = 'Б'")).toInt(), 1);
        setFields(m_dm->ADOTip, dup, {{"PIdentificator", QStringLiteral("3")}});
        QVERIFY(m_dm->ADOTip->post());
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt(), 3);
        QCOMPARE(m_dm->ADOTip->rowCount(), 3);

        // A deletion the engine refuses (the archive uses the type) is reported;
        // the list shows what is stored.
        kvtest::execOrFail(db(), QStringLiteral("INSERT INTO TTest (PNameTable) VALUES ('T')"));
        kvtest::execOrFail(db(), QStringLiteral(
            "INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) SELECT '2026-01-01 00:00:00', PIndex, 1 FROM TTip WHERE PTip = 'Б'"));
        ui->clear();
        QVERIFY(!m_dm->ADOTip->deleteRows({0, 1, 2}));
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->texts().first().startsWith(QStringLiteral("Не удалось сохранить изменения: ")));
        QVERIFY(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip WHERE PTip = 'Б'")).toInt() == 1);
        QCOMPARE(m_dm->ADOTip->rowCount(), scalar(db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt());
        QVERIFY(!m_dm->ADOTip->isDirty());
    }

    void outOfRangeValuesAreRefusedNotStored()
    {
        kv::ScopedRecordingUi ui;
        const int row = appendRow(m_dm->ADOTip, with(tip(QStringLiteral("А"), QStringLiteral("Б")), "PIdentReductRate", 300));
        QVERIFY(!m_dm->ADOTip->post());
        // The field as the window names it, and the value refused.
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("Значение поля \"Единица постоянной\" (300) вне допустимого диапазона.")});
        setFields(m_dm->ADOTip, row, {{"PIdentReductRate", 2}, {"PTip", QString(21, QLatin1Char('x'))}});
        QVERIFY(!m_dm->ADOTip->post());
        QCOMPARE(ui->texts().last(), QStringLiteral("Текст поля \"Тип\" длиннее 20 символов."));
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt(), 0);

        addTest(QStringLiteral("T"));
        ui->clear();
        QVERIFY(!addPoint({{"PNumPoint1", 1}, {"PKM", 0.5}, {"PPersentU", 1.5}}));
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("Значение поля \"U%\" (1.5) вне допустимого диапазона.")});
    }

    void specialTestNumbers()
    {
        kv::ScopedRecordingUi ui;
        // Two switched-on special tests with one number.
        QCOMPARE(addTest(QStringLiteral("T1"), {{"PSensitivityCB", 1}, {"PSensitivityN", 5}, {"PSamochodCB", 1}, {"PSamochodN", 5}}), 0);
        QCOMPARE(ui->texts(), QStringList{kRepeatedPoint});
        QCOMPARE(ui->boxes().first().icon, kv::Icon::None);
        m_dm->ADOTest->revertAll();
        // Switched off, the same number is no clash.
        QVERIFY(addTest(QStringLiteral("T1"), {{"PSensitivityCB", 1}, {"PSensitivityN", 5}, {"PSamochodCB", 0}, {"PSamochodN", 5},
                                               {"PCountDeviceCB", 1}, {"PCountDeviceN", 6}}) > 0);
        ui->clear();

        // Sensitivity 5 on: no point 5.
        QVERIFY(!addPoint({{"PNumPoint1", 5}, {"PKM", 1.0}}));
        QCOMPARE(ui->texts(), QStringList{kRepeatedPoint});
        setFields(m_dm->ADOTestPoint, 0, {{"PNumPoint1", 7}});
        QVERIFY(m_dm->ADOTestPoint->post());

        // A test with point 7 cannot switch on creep with number 7; register 6 stays fine.
        const int row = m_dm->ADOTest->rowOfKey(m_dm->currentTestKey());
        setFields(m_dm->ADOTest, row, {{"PSamochodCB", 1}, {"PSamochodN", 7}});
        ui->clear();
        QVERIFY(!m_dm->ADOTest->post());
        QCOMPARE(ui->texts(), QStringList{kRepeatedPoint});
        QCOMPARE(valueAt(m_dm->ADOTest, row, "PSamochodCB").toInt(), 1);  // the tick stays in the unsaved record
        setFields(m_dm->ADOTest, row, {{"PSamochodN", 8}});
        QVERIFY(m_dm->ADOTest->post());
    }

    void pointRules()
    {
        kv::ScopedRecordingUi ui;
        addTest(QStringLiteral("T"));
        QVERIFY(!addPoint({{"PKM", 1.0}}));
        QCOMPARE(ui->texts(), QStringList{kEnterPointNumber});
        setFields(m_dm->ADOTestPoint, 0, {{"PNumPoint1", 0}});
        QVERIFY(!m_dm->ADOTestPoint->post());
        QCOMPARE(ui->texts().last(), kZeroPointNumber);
        // Power factor 1 with C: no load kind. First point in an empty table: sequence 1.
        setFields(m_dm->ADOTestPoint, 0, {{"PNumPoint1", 1}, {"PLC", 2}});
        QVERIFY(m_dm->ADOTestPoint->post());
        QCOMPARE(scalar(db(), QStringLiteral("SELECT PLC FROM TTestPoint WHERE PNumPoint1 = 1")).toInt(), 0);
        QCOMPARE(scalar(db(), QStringLiteral("SELECT PNumPoint FROM TTestPoint WHERE PNumPoint1 = 1")).toInt(), 1);
        // 0.5 with none: L. 0.8 with C stays C.
        QVERIFY(addPoint({{"PNumPoint1", 2}, {"PKM", 0.5}}));
        QVERIFY(addPoint({{"PNumPoint1", 3}, {"PKM", 0.8}, {"PLC", 2}}));
        QCOMPARE(scalar(db(), QStringLiteral("SELECT PLC FROM TTestPoint WHERE PNumPoint1 = 2")).toInt(), 1);
        QCOMPARE(scalar(db(), QStringLiteral("SELECT PLC FROM TTestPoint WHERE PNumPoint1 = 3")).toInt(), 2);
        // A repeated number in the same test is refused, and kept as typed.
        ui->clear();
        QVERIFY(!addPoint({{"PNumPoint1", 2}, {"PKM", 1.0}}));
        QCOMPARE(ui->texts(), QStringList{kRepeatedPoint});
        QCOMPARE(valueAt(m_dm->ADOTestPoint, m_dm->ADOTestPoint->rowCount() - 1, "PNumPoint1").toInt(), 2);
        m_dm->ADOTestPoint->revertAll();
        // Re-posting a stored point with its own number is no repeat.
        setFields(m_dm->ADOTestPoint, 1, {{"PMeasureMax", 1.5}});
        QVERIFY(m_dm->ADOTestPoint->post());

        // Another test: the same numbers are free, the sequence goes on over the table.
        addTest(QStringLiteral("U"));
        QVERIFY(addPoint({{"PNumPoint1", 1}, {"PKM", 1.0}}));
        QCOMPARE(scalar(db(), QStringLiteral("SELECT max(PNumPoint) FROM TTestPoint")).toInt(), 4);
    }

    void deletingRenumbers()
    {
        kv::ScopedRecordingUi ui;
        const qint64 test = addTest(QStringLiteral("T"));
        // Posted out of order, shown by point number.
        for (int n : {3, 1, 2})
            QVERIFY(addPoint({{"PNumPoint1", n}, {"PKM", 1.0}}));
        QCOMPARE(valueAt(m_dm->ADOTestPoint, 1, "PNumPoint1").toInt(), 2);
        QVERIFY(m_dm->ADOTestPoint->deleteRows({1}));
        QSqlQuery q(db());
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PNumPoint1, PNumPoint FROM TTestPoint WHERE PSecIndex = %1 ORDER BY PNumPoint1").arg(test)));
        QList<QPair<int, int>> rows;
        while (q.next())
            rows.append({q.value(0).toInt(), q.value(1).toInt()});
        QCOMPARE(rows, (QList<QPair<int, int>>{{1, 1}, {3, 2}}));
        QCOMPARE(m_dm->ADOTestPoint->rowCount(), 2);
        QVERIFY(ui->texts().isEmpty());
    }

    // A rule query that fails reaches the general error report; nothing is written.
    void ruleErrorsReachTheGeneralReport()
    {
        kv::ScopedRecordingUi ui;
        addTest(QStringLiteral("T"));
        kvtest::execOrFail(db(), QStringLiteral("ALTER TABLE TTest RENAME COLUMN PSamochodN TO Gone"));
        QVERIFY(!addPoint({{"PNumPoint1", 1}, {"PKM", 1.0}}));
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().icon, kv::Icon::Error);
        QCOMPARE(scalar(db(), QStringLiteral("SELECT count(*) FROM TTestPoint")).toInt(), 0);
    }
};

QTEST_MAIN(TestRecordRules)
#include "test_record_rules.moc"
