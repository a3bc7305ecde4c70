#include "protocols/archive_curves.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <cmath>

namespace kv {

namespace {

const QString kReadFailed = QStringLiteral("Не удалось прочитать архив для кривых погрешности.");

bool run(QSqlQuery &q, const QString &sql, const QVariantList &values, QString *error)
{
    q.setForwardOnly(true);
    if (q.prepare(sql)) {
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (q.exec())
            return true;
    }
    if (error)
        *error = kReadFailed + QLatin1Char('\n') + q.lastError().text();
    return false;
}

double real(const QSqlQuery &q, int column)
{
    const QVariant v = q.value(column);
    return v.isNull() ? qQNaN() : v.toDouble();
}

}  // namespace

bool ReadArchiveCurves(const QSqlDatabase &db, qint64 measure, const QVector<qint64> &positions, CurveSet *out,
                       QString *error)
{
    CurveSource source;
    QSqlQuery q(db);
    if (!run(q, QStringLiteral("SELECT TTip.PTip, TTip.PIdentificator, TTip.PUnom, TTip.PInom, TTip.PImax, "
                               "TTip.PPhase, TTest.PNameTable, TMeasure.PPointerTest FROM TMeasure "
                               "LEFT JOIN TTip ON TTip.PIndex = TMeasure.PPointerTip "
                               "LEFT JOIN TTest ON TTest.PIndex = TMeasure.PPointerTest WHERE TMeasure.PIndex = ?"),
             {measure}, error))
        return false;
    if (!q.next()) {
        if (error)
            *error = QStringLiteral("Запись архива не найдена: возможно, ее удалили.");
        return false;
    }
    source.type.type = q.value(0).toString();
    source.type.designation = q.value(1).toString();
    source.type.unom = q.value(2).toDouble();
    source.type.inom = q.value(3).toDouble();
    source.type.imax = q.value(4).toDouble();
    source.type.scheme = q.value(5).toInt();
    source.test = q.value(6).toString();
    const qint64 test = q.value(7).toLongLong();

    if (!run(q, QStringLiteral("SELECT PNumPoint1, PPersentU, PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, "
                               "PMeasureMax FROM TTestPoint WHERE PSecIndex = ? ORDER BY PNumPoint1"),
             {test}, error))
        return false;
    while (q.next()) {
        CurveTestPoint p;
        p.number = q.value(0).toInt();
        p.percentU = q.value(1).toDouble();
        p.percentI = q.value(2).toDouble();
        p.phases = (q.value(3).toInt() ? PhaseA : 0) | (q.value(4).toInt() ? PhaseB : 0)
                   | (q.value(5).toInt() ? PhaseC : 0);
        p.powerFactor = q.value(6).toDouble();
        p.loadCharacter = q.value(7).toInt();
        p.limit = q.value(8).toDouble();
        source.points.append(p);
    }

    if (!run(q, QStringLiteral("SELECT PIndex, PPosition, PNumber, PSensitivity, PSamochod, PCountDevice "
                               "FROM TPositionCH WHERE PSecIndex = ? ORDER BY PPosition, PIndex"),
             {measure}, error))
        return false;
    QHash<qint64, int> meterAt;
    while (q.next()) {
        const qint64 key = q.value(0).toLongLong();
        if (!positions.isEmpty() && !positions.contains(key))
            continue;
        CurveMeterSource m;
        m.position = q.value(1).toInt();
        m.number = q.value(2).toString();
        m.special.sensitivity = q.value(3).toInt();
        m.special.creep = q.value(4).toInt();
        m.special.registerTest = q.value(5).toInt();
        meterAt.insert(key, int(source.meters.size()));
        source.meters.append(m);
    }

    if (!run(q, QStringLiteral("SELECT TResult.PSecIndex, TResult.PPointNumber, TResult.PMeasure, "
                               "TResult.PMeasureMax FROM TResult INNER JOIN TPositionCH "
                               "ON TPositionCH.PIndex = TResult.PSecIndex WHERE TPositionCH.PSecIndex = ? "
                               "ORDER BY TResult.PSecIndex, TResult.PIndex"),
             {measure}, error))
        return false;
    while (q.next()) {
        const auto at = meterAt.constFind(q.value(0).toLongLong());
        if (at == meterAt.constEnd())
            continue;
        const double e = real(q, 2);
        // A row without a value is no reading: it stays a gap.
        if (!std::isfinite(e))
            continue;
        source.meters[*at].readings.append({q.value(1).toInt(), e, real(q, 3)});
    }
    *out = BuildCurves(source);
    return true;
}

bool FindArchiveMeters(const QSqlDatabase &db, const QStringList &numbers, int limit, QVector<ArchiveMeterRef> *out,
                       int *total, QString *error)
{
    out->clear();
    int found = 0;
    QSqlQuery q(db);
    QStringList distinct = numbers;
    distinct.removeDuplicates();
    for (const QString &number : distinct) {
        if (!run(q, QStringLiteral("SELECT PSecIndex, PIndex FROM TPositionCH WHERE PNumber = ? "
                                   "ORDER BY PSecIndex, PIndex"),
                 {number}, error))
            return false;
        while (q.next()) {
            ++found;
            if (out->size() < limit)
                out->append({q.value(0).toLongLong(), q.value(1).toLongLong()});
        }
    }
    if (total)
        *total = found;
    return true;
}

bool ReadArchiveCurves(const QSqlDatabase &db, const QVector<ArchiveMeterRef> &meters, QVector<CurveSet> *out,
                       QString *error)
{
    out->clear();
    QVector<qint64> records;
    QHash<qint64, QVector<qint64>> byRecord;
    for (const ArchiveMeterRef &m : meters) {
        if (!byRecord.contains(m.measure))
            records.append(m.measure);
        byRecord[m.measure].append(m.position);
    }
    for (qint64 record : records) {
        CurveSet set;
        if (!ReadArchiveCurves(db, record, byRecord.value(record), &set, error))
            return false;
        out->append(set);
    }
    return true;
}

}  // namespace kv
