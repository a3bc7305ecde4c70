// Paradox tables: what the writer makes, the reader reads back; and no file,
// however damaged, keeps the reader from returning within its time limit.

#include "files/code_pages.h"
#include "files/paradox_file.h"
#include "support/test_env.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A table in the shape of an exported test-points grid, with every field type
// the writer makes and an empty cell of each.
kv::TableData points()
{
    kv::TableData t;
    t.name = QStringLiteral("points");
    t.columns = {{QStringLiteral("PIndex"), kv::FieldType::Integer, 4, true},
                 {QStringLiteral("PPersentU"), kv::FieldType::Integer, 2},
                 {QStringLiteral("Фазы"), kv::FieldType::Text, 3},
                 {QStringLiteral("PKM"), kv::FieldType::Text, 10},
                 {QStringLiteral("PCountRotation"), kv::FieldType::Integer, 4},
                 {QStringLiteral("PMeasureMax"), kv::FieldType::Float},
                 {QStringLiteral("PPhaseUA"), kv::FieldType::Boolean},
                 {QStringLiteral("PDate"), kv::FieldType::DateTime},
                 {QStringLiteral("PMaker"), kv::FieldType::Text, 50}};
    t.rows = {
        {qint64(1), qint64(100), QStringLiteral("111"), QStringLiteral("0.5/C"), qint64(70000), 1.5, true,
         QDateTime(QDate(2026, 12, 9), QTime(8, 30, 15)), QStringLiteral("Завод \"Электроприбор\" №1, Ёлкино")},
        {qint64(2), qint64(-5), QStringLiteral("1x1"), QStringLiteral("1"), qint64(0), -0.25, false,
         QDateTime(QDate(1999, 1, 1), QTime(0, 0)), QStringLiteral("3ф. 4пр. Активная")},
        {qint64(3), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
    };
    return t;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A stand-in reader (a shell script) for the failures the real one cannot be
// made to show on demand.
QString fakeReader(const QTemporaryDir &dir, const QByteArray &body)
{
    const QString path = dir.filePath(QStringLiteral("fake-pxread"));
    writeBytes(path, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value) : m_name(name), m_old(qgetenv(name)) { qputenv(name, value); }
    ~ScopedEnv()
    {
        if (m_old.isNull())
            qunsetenv(m_name);
        else
            qputenv(m_name, m_old);
    }

private:
    const char *m_name;
    QByteArray m_old;
};

}  // namespace

class TestParadoxFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(!kv::paradoxReaderPath().isEmpty(), "kvintor-pxread is not built"); }

    void roundTripInBothCodePages_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::newRow("Windows 1251") << 1251;
        QTest::newRow("DOS 866") << 866;
    }

    void roundTripInBothCodePages()
    {
        QFETCH(int, codePage);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("points.db"));
        const kv::TableData source = points();
        const kv::ParadoxWriteResult w = kv::writeParadox(path, source, codePage);
        QVERIFY2(w.error.isEmpty(), qPrintable(w.error));
        QCOMPARE(w.version, 70);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("points.db")});

        // The header, read without the library: file version 12 (Paradox 7)
        // at 0x39 and the code page at 0x6A, where other programs look.
        const QByteArray raw = fileBytes(path);
        QVERIFY(raw.size() > 0x6C);
        QCOMPARE(int(quint8(raw.at(0x39))), 12);
        QCOMPARE(int(quint8(raw.at(0x6A))) | (int(quint8(raw.at(0x6B))) << 8), codePage);
        // The text is stored in the code page, not as UTF-8.
        QVERIFY(raw.contains(kv::encodeCodePage(QStringLiteral("3ф. 4пр. Активная"), codePage)));
        QVERIFY(!raw.contains(QStringLiteral("Активная").toUtf8()));

        const kv::ParadoxTable t = kv::readParadoxTable(path, 10000);
        QVERIFY2(t.ok(), qPrintable(t.error));
        QCOMPARE(t.version, 70);
        QCOMPARE(t.codePage, codePage);
        QCOMPARE(t.textCodePage, codePage);
        QCOMPARE(t.table.name, QStringLiteral("points"));
        QCOMPARE(t.types, (QVector<kv::ParadoxType>{kv::ParadoxType::AutoInc, kv::ParadoxType::Short,
                                                     kv::ParadoxType::Alpha, kv::ParadoxType::Alpha,
                                                     kv::ParadoxType::Long, kv::ParadoxType::Number,
                                                     kv::ParadoxType::Logical, kv::ParadoxType::Timestamp,
                                                     kv::ParadoxType::Alpha}));
        QCOMPARE(t.sizes.at(2), 3);
        QCOMPARE(t.sizes.at(8), 50);
        QCOMPARE(t.table.columns.size(), source.columns.size());
        for (int c = 0; c < source.columns.size(); ++c) {
            QCOMPARE(t.table.columns[c].name, source.columns[c].name);
            QCOMPARE(t.table.columns[c].type, source.columns[c].type);
        }
        QVERIFY(t.table.columns[0].autoIncrement);
        QCOMPARE(t.table.rows.size(), source.rows.size());
        for (int r = 0; r < source.rows.size(); ++r)
            for (int c = 0; c < source.columns.size(); ++c)
                QVERIFY2(t.table.rows[r][c] == source.rows[r][c] ||
                             (t.table.rows[r][c].isNull() && source.rows[r][c].isNull()),
                         qPrintable(QStringLiteral("row %1 column %2: %3 / %4")
                                        .arg(r)
                                        .arg(c)
                                        .arg(t.table.rows[r][c].toString(), source.rows[r][c].toString())));
    }

    // Integers beyond a short field's range go to a long field; text longer
    // than the source's width widens the field instead of being cut; an
    // existing file is refused.
    void writerKeepsEveryValue()
    {
        QTemporaryDir dir;
        kv::TableData t;
        t.columns = {{QStringLiteral("N"), kv::FieldType::Integer, 2}, {QStringLiteral("T"), kv::FieldType::Text, 2}};
        t.rows = {{qint64(40000), QStringLiteral("длинный текст")}};
        const QString path = dir.filePath(QStringLiteral("wide.db"));
        QVERIFY(kv::writeParadox(path, t).error.isEmpty());
        const kv::ParadoxTable back = kv::readParadoxTable(path, 10000);
        QVERIFY2(back.ok(), qPrintable(back.error));
        QCOMPARE(back.types.at(0), kv::ParadoxType::Long);
        QCOMPARE(back.table.rows[0][0].toLongLong(), 40000);
        QCOMPARE(back.table.rows[0][1].toString(), QStringLiteral("длинный текст"));
        QVERIFY(!kv::writeParadox(path, t).error.isEmpty());
        QCOMPARE(kv::readParadoxTable(path, 10000).table.rows.size(), 1);
    }

    void badFilesEndWithAnError()
    {
        QTemporaryDir dir;
        const QString valid = dir.filePath(QStringLiteral("valid.db"));
        QVERIFY(kv::writeParadox(valid, points()).error.isEmpty());
        const QByteArray good = fileBytes(valid);

        const QString missing = dir.filePath(QStringLiteral("missing.db"));
        QCOMPARE(kv::readParadoxTable(missing, 3000).errorKind, kv::ParadoxReadError::CannotOpen);
        QCOMPARE(kv::readParadoxTable(dir.path(), 3000).errorKind, kv::ParadoxReadError::CannotOpen);

        const struct {
            const char *name;
            QByteArray bytes;
        } cases[] = {
            {"empty.db", QByteArray()},
            {"text.db", QByteArray("PTip;PIdentificator\nЭС-1.05;1600\n")},
            {"noise.db", QByteArray(4096, '\xA5')},
            {"truncated-header.db", good.left(60)},
            {"truncated-data.db", good.left(good.size() - 1500)},
            {"zeroed-header.db", QByteArray(120, '\0') + good.mid(120)},
        };
        for (const auto &c : cases) {
            const QString path = dir.filePath(QString::fromLatin1(c.name));
            writeBytes(path, c.bytes);
            QElapsedTimer clock;
            clock.start();
            const kv::ParadoxTable t = kv::readParadoxTable(path, 3000);
            QVERIFY2(!t.ok(), c.name);
            QVERIFY2(!t.error.isEmpty(), c.name);
            QVERIFY2(t.table.rows.isEmpty(), c.name);
            QVERIFY2(clock.elapsed() < 8000, c.name);
        }
    }

    // A reader that hangs (as the Paradox library does on some damaged files)
    // is stopped after the limit; one that dies half-way is a damaged file.
    void hangingOrDyingReaderIsStopped()
    {
        QTemporaryDir dir;
        const QString table = dir.filePath(QStringLiteral("t.db"));
        writeBytes(table, "x");
        {
            ScopedEnv env("KVINTOR_PXREAD", fakeReader(dir, "exec sleep 60").toLocal8Bit());
            QElapsedTimer clock;
            clock.start();
            const kv::ParadoxTable t = kv::readParadoxTable(table, 700);
            QCOMPARE(t.errorKind, kv::ParadoxReadError::TimedOut);
            QVERIFY(t.error.contains(QStringLiteral("прервано")));
            QVERIFY(clock.elapsed() < 5000);
        }
        {
            ScopedEnv env("KVINTOR_PXREAD",
                          fakeReader(dir, "printf 'PXREAD 1\\nversion 70\\ncodepage 1251\\nrecords 5\\n"
                                          "field 1 3 41\\nfields-end\\nr s414243\\n'; kill -SEGV $$")
                              .toLocal8Bit());
            const kv::ParadoxTable t = kv::readParadoxTable(table, 3000);
            QCOMPARE(t.errorKind, kv::ParadoxReadError::Damaged);
            QVERIFY(t.table.rows.isEmpty());
        }
        {
            ScopedEnv env("KVINTOR_PXREAD", QByteArray("/nonexistent/kvintor-pxread"));
            QCOMPARE(kv::readParadoxTable(table, 3000).errorKind, kv::ParadoxReadError::NoReader);
        }
    }

    // A few hundred damaged copies of a valid table: each one ends, within the
    // limit, with a table of whole rows or with an error.
    void mutatedCopiesAlwaysEnd()
    {
        QTemporaryDir dir;
        const QString valid = dir.filePath(QStringLiteral("valid.db"));
        kv::TableData source = points();
        for (int i = 0; i < 40; ++i)
            source.rows << source.rows.at(i % 2);
        QVERIFY(kv::writeParadox(valid, source).error.isEmpty());
        const QByteArray good = fileBytes(valid);
        QVERIFY(good.size() > 2048);

        QRandomGenerator rng(20261209);
        const int limitMs = 2000;
        int tables = 0, errors = 0;
        QElapsedTimer total;
        total.start();
        for (int i = 0; i < 300; ++i) {
            QByteArray bytes = good;
            const int kind = i % 4;
            if (kind == 3) {
                bytes.truncate(int(rng.bounded(bytes.size())));
            } else {
                // Most damage goes into the header and field descriptions,
                // where the library trusts what it reads.
                const int span = kind == 0 ? std::min<int>(0x200, int(bytes.size())) : int(bytes.size());
                const int flips = 1 + int(rng.bounded(6));
                for (int f = 0; f < flips; ++f)
                    bytes[int(rng.bounded(span))] = char(rng.bounded(256));
            }
            const QString path = dir.filePath(QStringLiteral("m%1.db").arg(i));
            writeBytes(path, bytes);
            QElapsedTimer clock;
            clock.start();
            const kv::ParadoxTable t = kv::readParadoxTable(path, limitMs);
            QVERIFY2(clock.elapsed() < limitMs + 3000, qPrintable(path));
            if (t.ok()) {
                ++tables;
                for (const kv::TableRow &row : t.table.rows)
                    QCOMPARE(row.size(), t.table.columns.size());
            } else {
                ++errors;
                QVERIFY(!t.error.isEmpty());
            }
            QFile::remove(path);
        }
        qInfo("mutations: %d read as tables, %d refused, %lld ms", tables, errors, total.elapsed());
        QCOMPARE(tables + errors, 300);
        QVERIFY(errors > 0);
    }

    // A large table reports its progress and can be given up.
    void progressOnLargeTables()
    {
        QTemporaryDir dir;
        kv::TableData t;
        t.columns = {{QStringLiteral("PNumber"), kv::FieldType::Text, 15},
                     {QStringLiteral("PMeasure"), kv::FieldType::Float},
                     {QStringLiteral("PPointNumber"), kv::FieldType::Integer, 4}};
        for (int i = 0; i < 100000; ++i)
            t.rows << kv::TableRow{QStringLiteral("%1").arg(i, 9, 10, QLatin1Char('0')), i * 0.01, qint64(i % 30)};
        const QString path = dir.filePath(QStringLiteral("big.db"));
        QVERIFY(kv::writeParadox(path, t).error.isEmpty());

        QVector<qint64> seen;
        const kv::ParadoxTable back = kv::readParadoxTable(path, 10000, [&](qint64 done, qint64 total) {
            if (total != 100000)
                return false;
            seen << done;
            return true;
        });
        QVERIFY2(back.ok(), qPrintable(back.error));
        QCOMPARE(back.table.rows.size(), 100000);
        QCOMPARE(back.table.rows.last().at(0).toString(), QStringLiteral("000099999"));
        QVERIFY(seen.size() >= 10);
        QCOMPARE(seen.last(), 100000);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));

        const kv::ParadoxTable cancelled = kv::readParadoxTable(path, 10000, [](qint64 done, qint64) {
            return done < 20000;
        });
        QCOMPARE(cancelled.errorKind, kv::ParadoxReadError::Cancelled);
        QVERIFY(cancelled.table.rows.isEmpty());
    }
};

QTEST_MAIN(TestParadoxFile)
#include "test_paradox_file.moc"
