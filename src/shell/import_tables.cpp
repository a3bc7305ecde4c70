#include "shell/import_tables.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "database/connection.h"
#include "database/engine_sql.h"
#include "protocols/text_convert.h"
#include "reference/data_module.h"
#include "reference/record_rules.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <array>
#include <atomic>
#include <memory>

namespace basekvintor {

namespace {

using PT = kv::ParadoxType;

// Column kinds of the test table from its second column on.
const PT kTestColumns[] = {PT::Short, PT::Alpha, PT::Short, PT::Alpha, PT::Alpha, PT::Short, PT::Number};
// Column kinds of the type table's twelve data columns.
const PT kTipColumns[] = {PT::Alpha,  PT::Alpha, PT::Alpha, PT::Number, PT::Number, PT::Number,
                          PT::Alpha,  PT::Alpha, PT::Alpha, PT::Number, PT::Number, PT::Number};

bool typesFrom(const kv::ParadoxTable &source, int first, const PT *kinds, int count)
{
    if (source.types.size() < first + count)
        return false;
    for (int i = 0; i < count; ++i)
        if (source.types.at(first + i) != kinds[i])
            return false;
    return true;
}

// How often a transfer reports: often enough for a smooth bar, seldom enough
// to cost nothing.
constexpr int kRowsPerStep = 200;

// A row that cannot be converted stops the transfer.
class RowError : public std::runtime_error
{
public:
    explicit RowError(const QString &text) : std::runtime_error(text.toStdString()) {}
};

// A record the rules refused, with their verdict.
struct Refusal {
    RuleVerdict verdict;
    int row = 0;  // of the source file, from 1; 0: the record of the import itself
};

QString cellText(const kv::TableRow &row, int column)
{
    const QVariant &v = row.at(column);
    return v.isNull() ? QString() : v.toString();
}

qint64 wholeNumber(const kv::TableRow &row, int column, int rowNumber)
{
    const QVariant &v = row.at(column);
    if (v.isNull())
        throw RowError(QStringLiteral("Строка %1: пустое число в столбце %2.").arg(QString::number(rowNumber), QString::number(column + 1)));
    return v.toLongLong();
}

double realNumber(const kv::TableRow &row, int column, int rowNumber)
{
    const QVariant &v = row.at(column);
    if (v.isNull())
        throw RowError(QStringLiteral("Строка %1: пустое число в столбце %2.").arg(QString::number(rowNumber), QString::number(column + 1)));
    return v.toDouble();
}

// Characters 1, 2 and 3 of a phases text: "1" switches the phase on.
std::array<int, 3> phases(const kv::TableRow &row, int column, int rowNumber)
{
    const QString text = cellText(row, column);
    if (text.size() < 3)
        throw RowError(QStringLiteral("Строка %1: текст фаз \"%2\" короче трех знаков.").arg(QString::number(rowNumber), text));
    return {text.at(0) == QLatin1Char('1') ? 1 : 0, text.at(1) == QLatin1Char('1') ? 1 : 0,
            text.at(2) == QLatin1Char('1') ? 1 : 0};
}

// Each character folded on its own, as the case-insensitive comparison of the
// type rule folds them: two texts it finds equal have the same key.
QString folded(const QString &text)
{
    QList<uint> ucs4 = text.toUcs4();
    for (uint &c : ucs4)
        c = QChar::toCaseFolded(char32_t(c));
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(ucs4.constData()), ucs4.size());
}

// Type name and identifier as the comparison with the stored types sees them.
QString tipKey(const QString &tip, const QString &ident)
{
    return folded(tip) + QChar(0x1F) + folded(ident);
}

// An insert of every field but the counter, prepared once per import.
class Inserter
{
public:
    Inserter(QSqlDatabase db, const QString &table) : m_db(db), m_query(db)
    {
        const QSqlRecord fields = db.record(kv::engineTableName(db, table));
        QStringList marks;
        for (int i = 0; i < fields.count(); ++i) {
            if (fields.fieldName(i).compare(QLatin1String("PIndex"), Qt::CaseInsensitive) == 0)
                continue;
            m_fields << fields.fieldName(i);
            marks << QStringLiteral("?");
        }
        if (m_fields.isEmpty())
            throw kv::Error(QStringLiteral("Таблица %1 не найдена в базе данных.").arg(table));
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(table, m_fields.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        if (!m_query.prepare(kv::engineSql(db, sql)))
            throw kv::Error(m_query.lastError().text());
    }

    qint64 insert(const QSqlRecord &record)
    {
        for (int i = 0; i < m_fields.size(); ++i)
            m_query.bindValue(i, record.value(m_fields.at(i)));
        if (!m_query.exec())
            throw kv::Error(m_query.lastError().text());
        return kv::insertedKey(m_query, m_db).toLongLong();
    }

private:
    QSqlDatabase m_db;
    QSqlQuery m_query;
    QStringList m_fields;
};

// A record of the table with nothing given yet.
QSqlRecord blankRecord(QSqlDatabase db, const QString &table)
{
    QSqlRecord r = db.record(kv::engineTableName(db, table));
    for (int i = 0; i < r.count(); ++i) {
        r.setValue(i, QVariant());
        r.setGenerated(i, false);
    }
    return r;
}

void give(QSqlRecord &record, const char *field, const QVariant &value)
{
    const QString name = QLatin1String(field);
    record.setValue(name, value);
    record.setGenerated(name, true);
}

// The rule, then the field ranges the data sets check after it.
void checkRecord(const QString &table, const RuleVerdict &verdict, const QSqlRecord &record, int row = 0)
{
    if (!verdict.accepted)
        throw Refusal{verdict, row};
    const QString range = fieldRangeProblem(table, record);
    if (!range.isEmpty())
        throw Refusal{RuleVerdict::refuse(range, kv::Icon::Warning), row};
}

// Everything the transfers share: the transaction, the failure messages after
// it has ended (no lock is held while the operator reads), the outcome.
template <typename Body>
ImportOutcome runTransfer(QSqlDatabase db, Body body)
{
    ImportOutcome out;
    RuleVerdict refusal = RuleVerdict::accept();
    int refusedRow = 0;
    QString failure;
    bool cancelled = false;
    {
        kv::Transaction transaction(db);
        if (!transaction.begin()) {
            failure = transaction.errorText();
            if (failure.isEmpty())
                failure = QStringLiteral("транзакция не начата");
        } else {
            try {
                cancelled = !body(out);
                if (!cancelled && !transaction.commit())
                    failure = transaction.errorText();
            } catch (const Refusal &r) {
                refusal = r.verdict;
                refusedRow = r.row;
            } catch (const std::exception &e) {
                failure = QString::fromUtf8(e.what());
                if (failure.isEmpty())
                    failure = QStringLiteral("ошибка переноса");
            }
        }
    }  // rolled back here unless committed
    if (cancelled) {
        out = ImportOutcome{};
        out.status = ImportOutcome::Cancelled;
        return out;
    }
    if (refusal.accepted && failure.isEmpty())
        return out;

    const int skipped = out.skipped;
    out = ImportOutcome{};
    out.status = ImportOutcome::TransferFailed;
    out.skipped = skipped;  // the types seen before the failure; nothing was added
    if (!refusal.accepted) {
        out.reason = refusal.message;
        out.refusedRow = refusedRow;
        kv::ui().message(nullptr, kProgramTitle, refusal.message + importRowText(refusedRow), refusal.icon,
                         QMessageBox::Ok, QMessageBox::Ok);
    } else {
        out.reason = failure;
        if (isBusyError(failure))
            kv::ui().warning(nullptr, kProgramTitle, kDatabaseBusy);
    }
    kv::ui().error(nullptr, kImportCaption, kImportTransferFailed);
    return out;
}

}  // namespace

QString importRowText(int row)
{
    if (row <= 0)
        return {};
    return QStringLiteral("\n\nСтрока файла: ") + QString::number(row) + u'.';
}

QString importedTestText(const ImportOutcome &out)
{
    return QStringLiteral("Импортирован тест, точек добавлено: ") + QString::number(out.stored) + u'.';
}

QString importedTipsText(const ImportOutcome &out)
{
    QString text = QStringLiteral("Типов добавлено: ") + QString::number(out.stored) +
                   QStringLiteral(", пропущено (уже есть в базе): ") + QString::number(out.skipped);
    if (!out.skippedTypes.isEmpty()) {
        // The status line has room for a few; the count says the rest.
        constexpr int kNamed = 10;
        text += QStringLiteral(": ") + out.skippedTypes.mid(0, kNamed).join(QStringLiteral(", "));
        if (out.skippedTypes.size() > kNamed)
            text += QStringLiteral(" и еще ") + QString::number(out.skippedTypes.size() - kNamed);
    }
    return text + u'.';
}

bool isTestTable(const kv::ParadoxTable &source)
{
    return source.types.size() == 8 && typesFrom(source, 1, kTestColumns, 7);
}

int tipTableOffset(const kv::ParadoxTable &source)
{
    if (source.types.size() == 13 && source.types.at(0) == PT::AutoInc && typesFrom(source, 1, kTipColumns, 12))
        return 1;
    if (source.types.size() == 12 && typesFrom(source, 0, kTipColumns, 12))
        return 0;
    return -1;
}

TableImport::TableImport(TDM *dm) : m_dm(dm) {}

bool TableImport::reportProgress(ImportStage stage, qint64 done, qint64 total)
{
    return !m_progress || m_progress->step(stage, done, total);
}

kv::ParadoxTable TableImport::readSource(const QString &path)
{
    struct Shared {
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
        std::atomic<bool> cancel{false};
        kv::ParadoxTable table;
    };
    auto shared = std::make_shared<Shared>();
    const int limit = m_readLimitMs;
    std::unique_ptr<QThread> worker(QThread::create([shared, path, limit] {
        shared->table = kv::readParadoxTable(path, limit, [shared](qint64 done, qint64 total) {
            shared->done = done;
            shared->total = total;
            return !shared->cancel.load();
        });
    }));
    worker->start();
    // The reader ends by itself within its limit; until then the caller's
    // window is kept alive through the progress.
    while (!worker->wait(QDeadlineTimer(40))) {
        if (!shared->cancel && !reportProgress(ImportStage::Reading, shared->done, shared->total))
            shared->cancel = true;
    }
    kv::ParadoxTable table = std::move(shared->table);
    if (shared->cancel) {
        // However the reading ended after that, the operator asked for nothing more.
        table = kv::ParadoxTable{};
        table.errorKind = kv::ParadoxReadError::Cancelled;
    }
    return table;
}

bool TableImport::postPendingEdits(bool tests)
{
    if (!m_dm)
        return true;
    const QList<TDataSet *> sets = tests ? QList<TDataSet *>{m_dm->ADOTest, m_dm->ADOTestPoint}
                                         : QList<TDataSet *>{m_dm->ADOTip};
    for (TDataSet *set : sets)
        if (set && set->isDirty() && !set->post())
            return false;
    return true;
}

ImportOutcome TableImport::transferTest(const QString &testName, const kv::TableData &source)
{
    QSqlDatabase db = m_dm->database();
    return runTransfer(db, [&](ImportOutcome &out) {
        QSqlRecord test = blankRecord(db, QStringLiteral("TTest"));
        give(test, "PNameTable", testName);
        give(test, "PDescription", QString(QLatin1String("")));
        checkRecord(QStringLiteral("TTest"), testBeforePost(db, test), test);
        // Only the given fields are written: the others take the table's defaults.
        QSqlQuery insertTest(db);
        if (!insertTest.prepare(kv::engineSql(db, QStringLiteral("INSERT INTO TTest (PNameTable, PDescription) VALUES (?, ?)"))))
            throw kv::Error(insertTest.lastError().text());
        insertTest.addBindValue(testName);
        insertTest.addBindValue(QString(QLatin1String("")));
        if (!insertTest.exec())
            throw kv::Error(insertTest.lastError().text());
        out.testKey = kv::insertedKey(insertTest, db).toLongLong();
        if (out.testKey <= 0)
            throw kv::Error(QStringLiteral("Ключ нового теста не получен."));

        Inserter points(db, QStringLiteral("TTestPoint"));
        const QSqlRecord blank = blankRecord(db, QStringLiteral("TTestPoint"));
        const qint64 total = source.rows.size();
        for (int i = 1; i <= source.rows.size(); ++i) {
            const kv::TableRow &row = source.rows.at(i - 1);
            QSqlRecord p = blank;
            give(p, "PSecIndex", out.testKey);
            give(p, "PNumPoint1", i);
            give(p, "PNumPoint", i);
            give(p, "PPersentU", wholeNumber(row, 1, i));
            const auto u = phases(row, 2, i);
            give(p, "PPhaseUA", u[0]);
            give(p, "PPhaseUB", u[1]);
            give(p, "PPhaseUC", u[2]);
            give(p, "PPersentI", wholeNumber(row, 3, i));
            const auto c = phases(row, 4, i);
            give(p, "PPhaseIA", c[0]);
            give(p, "PPhaseIB", c[1]);
            give(p, "PPhaseIC", c[2]);
            const QString powerFactor = cellText(row, 5);
            give(p, "PKM", kv::KMFromText(powerFactor));
            give(p, "PLC", kv::LCFromText(powerFactor));
            give(p, "PCountRotation", wholeNumber(row, 6, i));
            give(p, "PMeasureMax", realNumber(row, 7, i));
            checkRecord(QStringLiteral("TTestPoint"), testPointBeforePost(db, p), p, i);
            points.insert(p);
            out.stored = i;
            if (i % kRowsPerStep == 0 && !reportProgress(ImportStage::Transfer, i, total))
                return false;
        }
        return reportProgress(ImportStage::Transfer, total, total);
    });
}

ImportOutcome TableImport::transferTip(const kv::TableData &source, int offset)
{
    QSqlDatabase db = m_dm->database();
    return runTransfer(db, [&](ImportOutcome &out) {
        QSet<QString> stored;
        {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.exec(kv::engineSql(db, QStringLiteral("SELECT PTip, PIdentificator FROM TTip"))))
                throw kv::Error(q.lastError().text());
            while (q.next())
                stored.insert(tipKey(q.value(0).toString(), q.value(1).toString()));
        }
        Inserter tips(db, QStringLiteral("TTip"));
        const QSqlRecord blank = blankRecord(db, QStringLiteral("TTip"));
        const qint64 total = source.rows.size();
        const int o = offset;
        for (int i = 1; i <= source.rows.size(); ++i) {
            const kv::TableRow &row = source.rows.at(i - 1);
            const QString ident = cellText(row, o + 0);
            const QString tip = cellText(row, o + 1);
            const QString key = tipKey(tip, ident);
            if (stored.contains(key)) {
                ++out.skipped;
                out.skippedTypes << (ident.isEmpty() ? tip : tip + QStringLiteral(" (") + ident + u')');
            } else {
                // An empty number cell is a zero, which the rule refuses with
                // its own message.
                auto number = [&row](int column) {
                    const QVariant &v = row.at(column);
                    return v.isNull() ? 0.0 : v.toDouble();
                };
                QSqlRecord t = blank;
                give(t, "PIdentificator", ident);
                give(t, "PTip", tip);
                give(t, "PMaker", cellText(row, o + 2));
                give(t, "PClassT", number(o + 3));
                give(t, "PUnom", number(o + 4));
                give(t, "PInom", number(o + 5));
                give(t, "PPhase", kv::SchemeFromText(cellText(row, o + 6)));
                give(t, "PEnergy", kv::EnergyFromText(cellText(row, o + 7)));
                give(t, "PIdentReductRate", kv::ConstUnitFromText(cellText(row, o + 8)));
                give(t, "PReductRate", number(o + 9));
                give(t, "PCenaDel", number(o + 10));
                give(t, "PImax", number(o + 11));
                // The rule's search for the same type and identifier is the
                // look-up above, over the stored types and the ones added so far.
                checkRecord(QStringLiteral("TTip"), tipFieldsFilled(t), t, i);
                tips.insert(t);
                stored.insert(key);
                ++out.stored;
            }
            if (i % kRowsPerStep == 0 && !reportProgress(ImportStage::Transfer, i, total))
                return false;
        }
        return reportProgress(ImportStage::Transfer, total, total);
    });
}

bool TableImport::sourceRead(const kv::ParadoxTable &source, ImportOutcome &out)
{
    if (source.errorKind == kv::ParadoxReadError::Cancelled) {
        out.status = ImportOutcome::Cancelled;
        return false;
    }
    if (!source.ok()) {
        out.status = ImportOutcome::CannotOpen;
        out.reason = source.error;
        kv::ui().error(nullptr, kImportCaption, kImportCannotOpen);
        return false;
    }
    return true;
}

ImportOutcome TableImport::importTest(const QString &path)
{
    ImportOutcome out;
    const kv::ParadoxTable source = readSource(path);
    if (!sourceRead(source, out))
        return out;
    if (!isTestTable(source)) {
        out.status = ImportOutcome::WrongLayout;
        kv::ui().error(nullptr, kImportCaption, kImportNotTestTable);
        return out;
    }
    if (!postPendingEdits(true)) {
        out.status = ImportOutcome::TransferFailed;
        out.reason = m_dm->ADOTest->lastProblem().isEmpty() ? m_dm->ADOTestPoint->lastProblem()
                                                            : m_dm->ADOTest->lastProblem();
        kv::ui().error(nullptr, kImportCaption, kImportTransferFailed);
        return out;
    }
    out = transferTest(kv::BaseFileName(path), source.table);
    if (out.ok() && m_dm->ADOTest) {
        m_dm->ADOTest->select();
        m_dm->setCurrentTest(m_dm->ADOTest->rowOfKey(out.testKey));
    }
    return out;
}

ImportOutcome TableImport::importTip(const QString &path)
{
    ImportOutcome out;
    const kv::ParadoxTable source = readSource(path);
    if (!sourceRead(source, out))
        return out;
    const int offset = tipTableOffset(source);
    if (offset < 0) {
        out.status = ImportOutcome::WrongLayout;
        kv::ui().error(nullptr, kImportCaption, kImportNotTipTable);
        return out;
    }
    if (!postPendingEdits(false)) {
        out.status = ImportOutcome::TransferFailed;
        out.reason = m_dm->ADOTip->lastProblem();
        kv::ui().error(nullptr, kImportCaption, kImportTransferFailed);
        return out;
    }
    out = transferTip(source.table, offset);
    if (out.ok() && out.stored > 0 && m_dm->ADOTip)
        m_dm->ADOTip->select();
    return out;
}

}  // namespace basekvintor
