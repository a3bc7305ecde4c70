#pragma once
// What both end-to-end tests share: the run they agree on (the simulated
// meters, the test, the date and the protocol header), the folder the
// verification leaves behind for the database program, and the independent
// workbook reader.

#include "support/test_env.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace e2e {

// Where the verification leaves its database and protocols; on a test server
// the database is a server database of its own and the folder another one.
inline QString runFolder()
{
    return QStringLiteral(KV_E2E_FOLDER) + (kvtest::onServer() ? QStringLiteral("/verification-pg") : QStringLiteral("/verification"));
}
inline QString databaseFile()
{
    return kvtest::onServer() ? kvtest::serverDatabase(QStringLiteral("kv_e2e_verification"))
                              : runFolder() + QStringLiteral("/KvintorDB.sqlite");
}
inline QString protocolsFolder() { return runFolder() + QStringLiteral("/Протоколы"); }

// "Now" of both programs, so their archive date, protocol titles and file
// names can be told in advance.
inline QDateTime fixedNow() { return QDateTime(QDate(2026, 3, 14), QTime(10, 30, 0)); }

// The test the run uses: three error points with the low current first, then
// the three special tests.
inline const QString kTestName = QStringLiteral("Приемка 3Т");
struct Point {
    int number;
    int u, i;
    double km;
    int lc;
    int count;
    double limit;
};
inline const QList<Point> kPoints{{1, 100, 5, 1, 0, 2, 1.5}, {2, 100, 100, 1, 0, 5, 1.0}, {3, 100, 10, 0.5, 1, 3, 1.5}};
inline constexpr int kSensitivityNumber = 4, kCreepNumber = 5, kRegisterNumber = 6;

// The meter type on all three stands (demo data).
inline const QString kTypeName = QStringLiteral("ЭС-1.05");
inline const QString kTypeVersion = QStringLiteral("1600");

// The meters that fail, each in its own way.
inline constexpr int kBeyondLimit = 11;    // 2.1 % at 5 % current, limit 1.5 %
inline constexpr int kCreeps = 23;         // gives a pulse in the creep test
inline constexpr int kDoesNotStart = 34;   // no pulse in the sensitivity test
inline constexpr int kRegisterFault = 36;  // register stops; the operator marks it "Нет"

// Error of the meter at stand s, position p, at error point k (1..3): every
// value distinct, so a reading stored under the wrong meter or point shows.
inline double errorOf(int s, int p, int k)
{
    if (s * 10 + p == kBeyondLimit && k == 1)
        return 2.1;
    const double e = 0.1 * k + 0.01 * (10 * s + p);
    return p % 2 ? e : -e;
}
// The error as the stands report it and the archive keeps it: two decimals.
inline QString errorText(int s, int p, int k) { return QString::number(errorOf(s, p, k), 'f', 2); }

inline QString meterNumber(int s, int p) { return QStringLiteral("E2E-%1%2").arg(s).arg(p); }

// The protocol header both programs are given.
inline const QString kOrganisation = QStringLiteral("Лаборатория поверки №2");
inline const QString kVerifier = QStringLiteral("Петров П.П.");
inline const QString kFirstProtocol = QStringLiteral("100");

inline QString protocolFile(const QString &folder, int stand)
{
    return folder + QStringLiteral("/Протокол %1 от 2026-03-14 стенд %2.xlsx").arg(kFirstProtocol.toInt() + stand - 1).arg(stand);
}

// A workbook's first sheet as openpyxl reads it: cell reference -> value
// (numbers as numbers, texts as texts). `error` gets what went wrong.
inline QMap<QString, QVariant> readWorkbook(const QString &path, QString *error)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {qEnvironmentVariable("KVINTOR_SOURCE_DIR") + QStringLiteral("/tests/widgets/read_workbook.py"), path});
    if (!reader.waitForFinished(60000) || reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
        *error = QStringLiteral("reader failed on %1: %2").arg(path, QString::fromUtf8(reader.readAllStandardError()));
        return {};
    }
    const QJsonObject book = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    const QJsonArray sheets = book.value(QStringLiteral("sheets")).toArray();
    if (sheets.isEmpty()) {
        *error = QStringLiteral("no sheet in %1").arg(path);
        return {};
    }
    QMap<QString, QVariant> cells;
    const QJsonObject c = sheets.at(0).toObject().value(QStringLiteral("cells")).toObject();
    for (auto it = c.begin(); it != c.end(); ++it)
        cells.insert(it.key(), it.value().toArray().at(0).toVariant());
    return cells;
}

// A cell's value as text: whole numbers without a fraction.
inline QString cellText(const QVariant &v)
{
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int) {
        const double d = v.toDouble();
        return d == qint64(d) ? QString::number(qint64(d)) : QString::number(d, 'g', 15);
    }
    return v.toString();
}

// The protocol table of a group protocol: its rows keyed by the item number
// in column A, each the texts of columns A..L (N, Mode, U, I, KM,
// CountRotation, N1..N6).
inline QMap<int, QStringList> protocolRows(const QMap<QString, QVariant> &cells)
{
    static const QStringList modes{QStringLiteral("п"), QStringLiteral("ч"), QStringLiteral("с"), QStringLiteral("с/у")};
    QMap<int, QStringList> rows;
    for (int r = 1; r <= 200; ++r) {
        const QString mode = cellText(cells.value(QStringLiteral("B%1").arg(r)));
        if (!modes.contains(mode))
            continue;
        QStringList texts;
        for (char col = 'A'; col <= 'L'; ++col)
            texts << cellText(cells.value(QStringLiteral("%1%2").arg(QLatin1Char(col)).arg(r)));
        rows.insert(texts.at(0).toInt(), texts);
    }
    return rows;
}

}  // namespace e2e
