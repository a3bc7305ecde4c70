#include "demo_data.h"

#include "core/clock.h"
#include "database/connection.h"
#include "core/clock.h"
#include "database/engine_sql.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <map>
#include <tuple>
#include <random>
#include <vector>

namespace kv::demo {

namespace {

struct TypeRow {
    const char *tip;
    const char *ident;
    const char *maker;
    double classT, unom, inom, rate;
    int unit, phase, energy;
    double division, imax;
    const char *test;  // the verification test that suits the type
};

// Unom is the phase voltage for single-phase and four-wire meters and the
// line voltage for three-wire ones.
const TypeRow kTypes[] = {
    {"ЭС-1.05", "1600", "Завод Электроприбор", 1, 230, 5, 1600, 1, 1, 1, 0.1, 60, "П1Ф кл.1"},
    {"ЭС-1.05", "3200", "Завод Электроприбор", 1, 230, 5, 3200, 1, 1, 1, 0.1, 60, "П1Ф кл.1"},
    {"ЭС-1.05И", "1000", "Завод Электроприбор", 1, 230, 5, 1000, 1, 1, 1, 0.1, 60, "П1Ф кл.1"},
    {"ЭС-1.10", "1000", "Приборный завод", 1, 230, 10, 1000, 1, 1, 1, 0.1, 100, "П1Ф кл.1"},
    {"ЭС-1.10К", "0.001", "Приборный завод", 1, 230, 10, 0.001, 2, 1, 1, 0.1, 100, "П1Ф кл.1"},
    {"ЭС-1.05В", "1800", "Приборный завод", 1, 230, 5, 1800, 3, 1, 1, 0.1, 60, "П1Ф кл.1"},
    {"ЭТ-3.05", "4пр", "Завод Электроприбор", 1, 230, 5, 1000, 1, 3, 1, 0.1, 60, "П3Ф кл.1"},
    {"ЭТ-3.10", "4пр", "Завод Электроприбор", 1, 230, 10, 500, 1, 3, 1, 0.1, 100, "П3Ф кл.1"},
    {"ЭТТ-3.57", "0.5S", "Энергоучёт", 0.5, 57.7, 5, 5000, 1, 3, 1, 0.01, 7.5, "П3Ф кл.0.5S"},
    {"ЭТТ-3.100", "3пр", "Энергоучёт", 0.5, 100, 5, 5000, 1, 2, 1, 0.01, 7.5, "П3Ф кл.0.5S"},
    {"ЭТР-3.57", "R2", "Энергоучёт", 2, 57.7, 5, 5000, 1, 3, 2, 0.01, 7.5, "П реакт. кл.2"},
};

struct PointRow {
    int u;
    bool ua, ub, uc;
    int i;
    bool ia, ib, ic;
    double km;
    int lc;
    int pulses;
    double limit;
};

struct Special {
    bool on = false;
    int u = 0;
    double i = 0;
    int minutes = 0, seconds = 0, number = 0;
};

struct TestRow {
    const char *name;
    const char *description;
    std::vector<PointRow> points;
    Special sensitivity, creep, reg;
};

PointRow all(int u, int i, double km, int lc, int pulses, double limit)
{
    return {u, true, true, true, i, true, true, true, km, lc, pulses, limit};
}

PointRow one(int i, int phase, double km, int lc, int pulses, double limit)
{
    return {100, true, true, true, i, phase == 0, phase == 1, phase == 2, km, lc, pulses, limit};
}

std::vector<TestRow> makeTests()
{
    std::vector<TestRow> tests;
    // Class 1 direct (IEC 62053-21): ±1.5 % at 0.05 Ib, ±1.0 % from 0.1 Ib at PF 1;
    // ±1.5 % at 0.1 Ib, ±1.0 % from 0.2 Ib at 0.5L and 0.8C.
    {
        TestRow t{"П1Ф кл.1", "Поверка однофазных счетчиков класса 1", {}, {}, {}, {}};
        for (auto [i, n, lim] : {std::tuple{5, 2, 1.5}, {10, 4, 1.0}, {20, 5, 1.0}, {50, 10, 1.0}, {100, 20, 1.0},
                                 {200, 25, 1.0}, {500, 25, 1.0}, {1000, 25, 1.0}})
            t.points.push_back(all(100, i, 1, 0, n, lim));
        for (int lc : {1, 2})
            for (auto [i, n, lim] : {std::tuple{10, 3, 1.5}, {20, 4, 1.0}, {50, 8, 1.0}, {100, 15, 1.0}, {500, 25, 1.0}})
                t.points.push_back(all(100, i, lc == 1 ? 0.5 : 0.8, lc, n, lim));
        t.points.push_back(all(110, 100, 1, 0, 20, 1.0));
        t.points.push_back(all(90, 100, 1, 0, 20, 1.0));
        t.sensitivity = {true, 100, 0.4, 10, 0, 21};
        t.creep = {true, 115, 0, 27, 0, 22};
        t.reg = {true, 100, 100, 5, 0, 23};
        tests.push_back(t);
    }
    // Class 1 polyphase direct: balanced points plus one element loaded (±2.0 %).
    {
        TestRow t{"П3Ф кл.1", "Поверка трехфазных счетчиков класса 1", {}, {}, {}, {}};
        for (auto [i, n, lim] : {std::tuple{5, 2, 1.5}, {10, 4, 1.0}, {20, 5, 1.0}, {100, 20, 1.0}, {500, 25, 1.0},
                                 {1000, 25, 1.0}})
            t.points.push_back(all(100, i, 1, 0, n, lim));
        for (int lc : {1, 2})
            for (auto [i, n, lim] : {std::tuple{10, 3, 1.5}, {20, 4, 1.0}, {100, 15, 1.0}})
                t.points.push_back(all(100, i, lc == 1 ? 0.5 : 0.8, lc, n, lim));
        for (int phase = 0; phase < 3; ++phase) {
            t.points.push_back(one(100, phase, 1, 0, 10, 2.0));
            t.points.push_back(one(100, phase, 0.5, 1, 8, 2.0));
        }
        t.sensitivity = {true, 100, 0.4, 10, 0, 19};
        t.creep = {true, 115, 0, 15, 0, 20};
        t.reg = {true, 100, 100, 5, 0, 21};
        tests.push_back(t);
    }
    // Class 0.5S transformer-operated (IEC 62053-22).
    {
        TestRow t{"П3Ф кл.0.5S", "Поверка счетчиков класса 0.5S", {}, {}, {}, {}};
        for (auto [i, n, lim] : {std::tuple{1, 2, 1.0}, {2, 2, 1.0}, {5, 4, 0.5}, {10, 8, 0.5}, {20, 10, 0.5},
                                 {50, 20, 0.5}, {100, 25, 0.5}, {150, 25, 0.5}})
            t.points.push_back(all(100, i, 1, 0, n, lim));
        for (int lc : {1, 2})
            for (auto [i, n, lim] : {std::tuple{2, 2, 1.0}, {10, 5, 0.6}, {100, 20, 0.6}, {150, 25, 0.6}})
                t.points.push_back(all(100, i, lc == 1 ? 0.5 : 0.8, lc, n, lim));
        t.sensitivity = {true, 100, 0.1, 5, 0, 17};
        t.creep = {true, 115, 0, 10, 0, 18};
        t.reg = {true, 100, 100, 5, 0, 19};
        tests.push_back(t);
    }
    // Reactive class 2 (IEC 62053-23): the power factor column holds sin φ.
    {
        TestRow t{"П реакт. кл.2", "Поверка счетчиков реактивной энергии", {}, {}, {}, {}};
        for (auto [i, n, lim] : {std::tuple{5, 2, 2.5}, {10, 4, 2.0}, {20, 5, 2.0}, {100, 20, 2.0}, {150, 25, 2.0}})
            t.points.push_back(all(100, i, 1, 0, n, lim));
        for (int lc : {1, 2})
            for (auto [i, n, lim] : {std::tuple{10, 3, 2.5}, {20, 4, 2.0}, {100, 15, 2.0}})
                t.points.push_back(all(100, i, 0.5, lc, n, lim));
        t.sensitivity = {true, 100, 0.5, 5, 0, 12};
        t.creep = {true, 115, 0, 10, 0, 13};
        t.reg = {true, 100, 100, 5, 0, 14};
        tests.push_back(t);
    }
    // Adjustment: a few points, no special tests.
    {
        TestRow t{"Регулировка", "Регулировка: номинал, малый ток, 0.5L", {}, {}, {}, {}};
        t.points.push_back(all(100, 100, 1, 0, 10, 1.0));
        t.points.push_back(all(100, 10, 1, 0, 3, 1.0));
        t.points.push_back(all(100, 100, 0.5, 1, 8, 1.0));
        tests.push_back(t);
    }
    return tests;
}

bool exec(QSqlQuery &q, QString *error)
{
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

}  // namespace

QString addReferenceData(QSqlDatabase &db)
{
    Transaction tx(db);
    if (!tx.begin())
        return tx.errorText();
    QString error;
    {
        QSqlQuery type(db);
        type.prepare(kv::engineSql(db, QStringLiteral(
            "INSERT INTO TTip (PTip, PIdentificator, PMaker, PClassT, PUnom, PInom, PReductRate, PIdentReductRate, "
            "PPhase, PEnergy, PCenaDel, PImax) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)")));
        for (const TypeRow &t : kTypes) {
            const QVariantList values{QString::fromUtf8(t.tip), QString::fromUtf8(t.ident), QString::fromUtf8(t.maker),
                                      t.classT, t.unom, t.inom, t.rate, t.unit, t.phase, t.energy, t.division, t.imax};
            for (int i = 0; i < values.size(); ++i)
                type.bindValue(i, values.at(i));
            if (!exec(type, &error))
                return error;
        }

        QSqlQuery test(db);
        test.prepare(kv::engineSql(db, QStringLiteral(
            "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityU, PSensitivityI, PSensitivityT, "
            "PSensitivityTSec, PSensitivityN, PSamochodCB, PSamochodU, PSamochodI, PSamochodT, PSamochodTSec, "
            "PSamochodN, PCountDeviceCB, PCountDeviceU, PCountDeviceI, PCountDeviceT, PCountDeviceTSec, "
            "PCountDeviceN) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")));
        QSqlQuery point(db);
        point.prepare(kv::engineSql(db, QStringLiteral(
            "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
            "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")));
        int ordinal = 0;
        for (const TestRow &t : makeTests()) {
            QVariantList values{QString::fromUtf8(t.name), QString::fromUtf8(t.description)};
            for (const Special *s : {&t.sensitivity, &t.creep, &t.reg})
                values << int(s->on) << s->u << s->i << s->minutes << s->seconds << s->number;
            for (int i = 0; i < values.size(); ++i)
                test.bindValue(i, values.at(i));
            if (!exec(test, &error))
                return error;
            const QVariant testIndex = test.lastInsertId();
            int number = 0;
            for (const PointRow &p : t.points) {
                ++number;
                const QVariantList pv{testIndex, number, ++ordinal, p.u, int(p.ua), int(p.ub), int(p.uc), p.i,
                                      int(p.ia), int(p.ib), int(p.ic), p.km, p.lc, p.pulses, p.limit};
                for (int i = 0; i < pv.size(); ++i)
                    point.bindValue(i, pv.at(i));
                if (!exec(point, &error))
                    return error;
            }
        }
    }
    if (!tx.commit())
        return tx.errorText();
    return {};
}

QString addSyntheticArchive(QSqlDatabase &db, int years, ArchiveStats *stats, quint32 seed,
                            const std::function<void(double)> &progress)
{
    struct TestInfo {
        qint64 index;
        std::vector<std::pair<int, double>> points;  // number, limit
        int testPoints;
    };
    struct TypeInfo {
        qint64 index;
        qint64 test;
    };
    std::vector<TypeInfo> types;
    std::map<qint64, TestInfo> tests;
    {
        QSqlQuery q(db);
        if (!q.exec(kv::engineSql(db, QStringLiteral("SELECT t.PIndex, s.PIndex FROM TTip t, TTest s WHERE s.PNameTable = "
                                   "(CASE WHEN t.PClassT = 0.5 THEN 'П3Ф кл.0.5S' WHEN t.PEnergy = 2 THEN "
                                   "'П реакт. кл.2' WHEN t.PPhase = 1 THEN 'П1Ф кл.1' ELSE 'П3Ф кл.1' END)"))))
            return q.lastError().text();
        while (q.next())
            types.push_back({q.value(0).toLongLong(), q.value(1).toLongLong()});
        for (const TypeInfo &t : types) {
            if (tests.count(t.test))
                continue;
            QSqlQuery p(db);
            p.prepare(kv::engineSql(db, QStringLiteral("SELECT PNumPoint1, PMeasureMax FROM TTestPoint WHERE PSecIndex = ? ORDER BY PNumPoint1")));
            p.addBindValue(t.test);
            if (!p.exec())
                return p.lastError().text();
            TestInfo info{t.test, {}, 0};
            while (p.next())
                info.points.emplace_back(p.value(0).toInt(), p.value(1).toDouble());
            tests[t.test] = info;
        }
    }
    if (types.empty())
        return QStringLiteral("нет типов счетчиков с подходящими тестами");

    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);

    const int recordsPerYear = 5000;
    const qint64 total = qint64(recordsPerYear) * years;
    const QDateTime end = kv::now();
    const QDateTime start = end.addYears(-years);
    const qint64 spanSecs = start.secsTo(end);

    Transaction tx(db);
    if (!tx.begin())
        return tx.errorText();
    QSqlQuery measure(db), position(db), result(db);
    measure.prepare(kv::engineSql(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES (?,?,?)")));
    position.prepare(kv::engineSql(db, QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, "
                                    "PCountDevice, PTotal) VALUES (?,?,?,?,?,?,?)")));
    result.prepare(kv::engineSql(db, QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (?,?,?,?)")));

    ArchiveStats local;
    QString error;
    qint64 serial = 100000;
    for (qint64 r = 0; r < total; ++r) {
        // Records in time order, on working hours.
        QDateTime when = start.addSecs(qint64(double(spanSecs) * (double(r) + unit(rng)) / double(total)));
        when.setTime(QTime(8 + int(unit(rng) * 9), int(unit(rng) * 60), int(unit(rng) * 60)));
        // The working hours of today are not over yet: a verification the
        // archive says took place this afternoon would lie.
        if (when > end)
            when = when.addDays(-1);
        const TypeInfo &type = types[size_t(unit(rng) * types.size()) % types.size()];
        const TestInfo &test = tests[type.test];
        measure.bindValue(0, when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        measure.bindValue(1, type.index);
        measure.bindValue(2, type.test);
        if (!exec(measure, &error))
            return error;
        const qint64 record = measure.lastInsertId().toLongLong();
        ++local.records;

        // About six meters a record, spread over one or two stands.
        const int stand = 1 + int(unit(rng) * 5) % 5;
        const int meters = 4 + int(unit(rng) * 5);  // 4..8, six on average
        for (int m = 0; m < meters; ++m) {
            const int s = m < 6 ? stand : (stand % 5) + 1;
            const int p = m < 6 ? m + 1 : m - 5;
            // A meter now and then comes back for a second verification.
            const qint64 number = unit(rng) < 0.05 ? 100000 + qint64(unit(rng) * double(serial - 100000)) : ++serial;
            const bool creeps = unit(rng) < 0.005;
            const bool noStart = unit(rng) < 0.005;
            const bool regFault = unit(rng) < 0.002;
            const int sens = noStart ? 2 : 1, creep = creeps ? 1 : 2, reg = regFault ? 2 : 1;
            int verdict = (sens == 2 || creep == 1 || reg == 2) ? 2 : 1;
            const double bias = noise(rng) * 0.25;
            std::vector<std::pair<int, double>> errors;
            for (const auto &[pointNumber, limit] : test.points) {
                double e = bias + noise(rng) * limit * 0.1;
                if (unit(rng) < 0.002)
                    e += (unit(rng) < 0.5 ? -1 : 1) * limit * 1.5;  // an outlier beyond the limit
                e = std::round(e * 100) / 100;
                if (std::fabs(e) > std::fabs(limit))
                    verdict = 2;
                errors.emplace_back(pointNumber, e);
            }
            position.bindValue(0, record);
            position.bindValue(1, s * 10 + p);
            position.bindValue(2, QString::number(number).rightJustified(9, QLatin1Char('0')));
            position.bindValue(3, sens);
            position.bindValue(4, creep);
            position.bindValue(5, reg);
            position.bindValue(6, verdict);
            if (!exec(position, &error))
                return error;
            const qint64 meter = position.lastInsertId().toLongLong();
            ++local.meters;
            for (size_t k = 0; k < errors.size(); ++k) {
                result.bindValue(0, meter);
                result.bindValue(1, errors[k].first);
                result.bindValue(2, errors[k].second);
                result.bindValue(3, test.points[k].second);
                if (!exec(result, &error))
                    return error;
                ++local.errors;
            }
        }
        if (progress && r % 500 == 0)
            progress(double(r) / double(total));
    }
    if (!tx.commit())
        return tx.errorText();
    if (stats)
        *stats = local;
    return {};
}

}  // namespace kv::demo
