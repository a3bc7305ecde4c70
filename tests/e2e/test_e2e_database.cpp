// The database program on the archive the control program's verification
// left behind: the archive window shows the run, the group protocol of the
// record equals the control program's, the query builder finds the unfit
// meters, and the query result exported to dBASE and SQLite reads back.

#include "e2e_support.h"

#include "core/clock.h"
#include "core/ui.h"
#include "protocols/protocol_data.h"
#include "reference/data_module.h"
#include "reference/protocol_builders.h"
#include "shell/child_windows.h"
#include "shell/main_window.h"
#include "shell/start_up.h"
#include "shell/table_dialogs.h"
#include "support/test_env.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QSqlQuery>
#include <QTest>

#include <optional>

using namespace basekvintor;

namespace {

QString outputFolder() { return QStringLiteral(KV_E2E_FOLDER) + QStringLiteral("/database"); }

// The texts of a grid's shown columns, row by row, joined by " | ".
QStringList gridRows(const kv::DataGrid &grid)
{
    QStringList rows;
    for (int r = 0; r < grid.model()->rowCount(); ++r) {
        QStringList cells;
        for (int c : grid.shownColumns())
            cells << grid.cellText(r, c);
        rows << cells.join(QStringLiteral(" | "));
    }
    return rows;
}

kv::RecordingUi::DialogScript chooseFile(const QString &path, const QString &filter)
{
    return [path, filter](QDialog *d) {
        auto *fd = qobject_cast<QFileDialog *>(d);
        if (!fd)
            return int(QDialog::Rejected);
        fd->selectNameFilter(filter);
        fd->selectFile(path);
        return int(QDialog::Accepted);
    };
}

kv::RecordingUi::DialogScript nameTable(const QString &name)
{
    return [name](QDialog *d) {
        auto *panel = qobject_cast<TSFTable *>(d);
        if (!panel)
            return int(QDialog::Rejected);
        panel->ETable->setText(name);
        return int(QDialog::Accepted);
    };
}

// A dBASE file as Debian's dbfread reads it: field names and records.
QJsonObject readDbf(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import sys, json, dbfread\n"
                                                  "t = dbfread.DBF(sys.argv[1], load=True)\n"
                                                  "print(json.dumps({'fields': [f.name for f in t.fields], "
                                                  "'records': [list(r.values()) for r in t.records]}, default=str))\n"),
             path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

}  // namespace

class TestE2EDatabase : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempSettings> m_settings;
    std::optional<BaseProgram> m_p;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(e2e::databaseFile()),
                 qPrintable(QStringLiteral("%1 is missing: the verification test (e2e_verification) makes it")
                                .arg(e2e::databaseFile())));
        kv::setNowForTests(e2e::fixedNow());
        m_settings = std::make_unique<kvtest::TempSettings>();
        // The header the control program's operator typed.
        kv::ProtocolData header;
        header.autoIncrement = true;
        header.protocolNumber = e2e::kFirstProtocol;
        header.organisation = e2e::kOrganisation;
        header.verifier = e2e::kVerifier;
        header.installationNumber = QStringLiteral("7");
        header.certificateNumber = QStringLiteral("1234");
        header.validFrom = QStringLiteral("01.01.2026");
        header.validTo = QStringLiteral("31.12.2026");
        kv::storeProtocolData(header);
        QDir(outputFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(outputFolder()));
        QVERIFY(QDir::setCurrent(outputFolder()));
        m_p.emplace(startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), e2e::databaseFile()}));
        QVERIFY(m_p->FExpert);
        QApplication::setActiveWindow(m_p->FExpert.get());
        QCoreApplication::processEvents();
    }
    void cleanupTestCase()
    {
        m_p.reset();
        m_settings.reset();
        kv::setNowForTests(QDateTime());
    }

    // The record, its eighteen meters with their verdicts, a meter's errors.
    void archiveShowsTheRun()
    {
        TFExpert &f = *m_p->FExpert;
        TFArchiv &a = *m_p->FArchiv;
        f.maximizeChild(&a);
        QCoreApplication::processEvents();
        QCOMPARE(gridRows(*a.DBTest).size(), 1);
        const QString record = gridRows(*a.DBTest).first();
        QVERIFY2(record.contains(e2e::kTypeName) && record.contains(e2e::kTypeVersion) && record.contains(e2e::kTestName),
                 qPrintable(record));
        QVERIFY2(record.startsWith(kv::shortDateText(QDate(2026, 3, 14)) + QStringLiteral(" 10:30:00 | ")),
                 qPrintable(record));

        const QStringList meters = gridRows(*a.DBPosition);
        QCOMPARE(meters.size(), 18);
        int unfit = 0;
        for (int r = 0; r < meters.size(); ++r) {
            const int place = 10 * (r / 6 + 1) + r % 6 + 1;
            QVERIFY2(meters.at(r).startsWith(QStringLiteral("%1 | %2 | ").arg(place).arg(e2e::meterNumber(place / 10, place % 10))),
                     qPrintable(meters.at(r)));
            unfit += meters.at(r).endsWith(QStringLiteral("Не годен"));
        }
        QCOMPARE(unfit, 4);

        // The meter beyond its limit at low current: its three errors.
        a.DBPosition->setCurrentRow(0);
        QCoreApplication::processEvents();
        const QStringList errors = gridRows(*a.DBResult);
        QCOMPARE(errors.size(), 3);
        for (int k = 1; k <= 3; ++k) {
            const QStringList cells = errors.at(k - 1).split(QStringLiteral(" | "));
            QCOMPARE(cells.at(0).toInt(), k);
            QCOMPARE(QString::number(cells.at(1).toDouble(), 'f', 2), e2e::errorText(1, 1, k));
            QCOMPARE(cells.at(2).toDouble(), e2e::kPoints.at(k - 1).limit);
        }
    }

    // "Групповой протокол в Excel (xlsx)": one workbook per stand, the same as
    // the control program's, cell for cell.
    void groupProtocolMatchesTheControlProgram()
    {
        TFExpert &f = *m_p->FExpert;
        f.maximizeChild(m_p->FArchiv);
        m_p->FArchiv->DBTest->setCurrentRow(0);
        kv::ScopedRecordingUi ui;
        f.AGReportXL->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(QLatin1Char('|'))));
        const QString mine = outputFolder() + QStringLiteral("/Протоколы");
        QCOMPARE(m_p->Builders->lastProtocols(),
                 (QStringList{e2e::protocolFile(mine, 1), e2e::protocolFile(mine, 2), e2e::protocolFile(mine, 3)}));
        for (int s = 1; s <= 3; ++s) {
            QString error;
            const auto control = e2e::readWorkbook(e2e::protocolFile(e2e::protocolsFolder(), s), &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            const auto base = e2e::readWorkbook(e2e::protocolFile(mine, s), &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            // Two differences are the programs' own: the control program's
            // table holds U and I as numbers where the database program's
            // holds texts (compared as the texts shown), and a special test's
            // duration is "minutes.seconds" from the control program (its
            // decimal point) but "minutes,seconds" from the database program;
            // those cells are compared with the separator made the same.
            auto shown = [](const QMap<QString, QVariant> &cells, const QString &ref) {
                QString text = e2e::cellText(cells.value(ref));
                const QString row = ref.mid(1);
                const QString mode = e2e::cellText(cells.value(QStringLiteral("B") + row));
                if (ref.startsWith(QLatin1Char('F')) && (mode == QStringLiteral("ч") || mode == QStringLiteral("с") ||
                                                         mode == QStringLiteral("с/у")))
                    text.replace(QLatin1Char('.'), QLatin1Char(','));
                return text;
            };
            QStringList differences;
            QStringList refs = control.keys() + base.keys();
            refs.removeDuplicates();
            QVERIFY(refs.size() > 100);
            for (const QString &ref : refs)
                if (shown(control, ref) != shown(base, ref))
                    differences << QStringLiteral("%1: control '%2', database '%3'")
                                       .arg(ref, e2e::cellText(control.value(ref)), e2e::cellText(base.value(ref)));
            QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
        }
    }

    // The query builder's unfit meters of the run's day, and the result
    // exported to dBASE and to SQLite.
    void unfitMetersQueriedAndExported()
    {
        TFExpert &f = *m_p->FExpert;
        QueryBuilder &b = m_p->FSQLShape->builder();
        b.deselectAll();
        b.setTicked(QueryColumn::CBPosition, true);
        b.setTicked(QueryColumn::CBNumber, true);
        b.setTicked(QueryColumn::CBTotal, true);
        b.setCondition(QueryCondition::Verdict, true);
        b.verdict = 2;
        b.setCondition(QueryCondition::Date, true);
        b.dateChoice = RangeChoice::FromTo;
        b.DTPFBFrom = e2e::fixedNow().date();
        b.DTPFBBefore = e2e::fixedNow().date();
        m_p->FSQLShape->showState();
        kv::ScopedRecordingUi ui;
        QVERIFY(m_p->FSQLShape->GenerateSQL());
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(QLatin1Char('|'))));
        TQueryDataSet &result = *DM->ADOSQL;
        QStringList found;
        for (int r = 0; r < result.rowCount(); ++r)
            found << QStringLiteral("%1 %2 %3")
                         .arg(result.value(r, QStringLiteral("PPosition")).toInt())
                         .arg(result.value(r, QStringLiteral("PNumber")).toString())
                         .arg(result.value(r, QStringLiteral("PTotal")).toInt());
        found.sort();
        QStringList unfit;
        for (int place : {e2e::kBeyondLimit, e2e::kCreeps, e2e::kDoesNotStart, e2e::kRegisterFault})
            unfit << QStringLiteral("%1 %2 2").arg(place).arg(e2e::meterNumber(place / 10, place % 10));
        QCOMPARE(found, unfit);

        // "Экспорт" of the result grid, as the operator does it.
        f.maximizeChild(m_p->FSQL);
        m_p->FSQL->DBGridSQL->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        f.maximizeChild(m_p->FSQL);
        QCoreApplication::processEvents();
        QCOMPARE(f.currentGrid(), m_p->FSQL->DBGridSQL);

        const QString dbf = outputFolder() + QStringLiteral("/unfit.dbf");
        ui->queueDialog(chooseFile(dbf, QStringLiteral("dBASE IV (*.dbf)")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(QLatin1Char('|'))));
        const QJsonObject table = readDbf(dbf);
        const QVariantList fields = table.value(QStringLiteral("fields")).toArray().toVariantList();
        const int position = fields.indexOf(QStringLiteral("PPosition"));
        const int number = fields.indexOf(QStringLiteral("PNumber"));
        const int total = fields.indexOf(QStringLiteral("PTotal"));
        QVERIFY2(position >= 0 && number >= 0 && total >= 0,
                 qPrintable(QJsonDocument(table).toJson(QJsonDocument::Compact)));
        QStringList fromDbf;
        for (const QJsonValue &record : table.value(QStringLiteral("records")).toArray()) {
            const QJsonArray values = record.toArray();
            fromDbf << QStringLiteral("%1 %2 %3")
                           .arg(values.at(position).toVariant().toInt())
                           .arg(values.at(number).toString())
                           .arg(values.at(total).toVariant().toInt());
        }
        fromDbf.sort();
        QCOMPARE(fromDbf, unfit);

        const QString sqlite = outputFolder() + QStringLiteral("/unfit.sqlite");
        ui->queueDialog(chooseFile(sqlite, QStringLiteral("База данных SQLite (*.sqlite)")));
        ui->queueDialog(nameTable(QStringLiteral("Негодные")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(QLatin1Char('|'))));
        QStringList fromSqlite;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e-export"));
            db.setDatabaseName(sqlite);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT PPosition, PNumber, PTotal FROM \"Негодные\"")));
            while (q.next())
                fromSqlite << QStringLiteral("%1 %2 %3").arg(q.value(0).toInt()).arg(q.value(1).toString()).arg(q.value(2).toInt());
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("e2e-export"));
        fromSqlite.sort();
        QCOMPARE(fromSqlite, unfit);
    }
};

QTEST_MAIN(TestE2EDatabase)
#include "test_e2e_database.moc"
