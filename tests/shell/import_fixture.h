#pragma once
// Paradox source tables for the import tests, written with the program's own
// writer: the test layout, both type layouts, and helpers to damage files.

#include "files/paradox_file.h"

#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <QTest>

namespace importtest {

using kv::FieldType;
using kv::TableColumn;
using kv::TableData;
using kv::TableRow;

// One source point: U %, phases of U, I %, phases of I, power factor, turns, limit.
struct Point {
    QVariant u;
    QVariant phasesU;
    QVariant i;
    QVariant phasesI;
    QVariant powerFactor;
    QVariant turns;
    QVariant limit;
};

inline TableData testTable(const QList<Point> &points)
{
    TableData t;
    t.columns = {{QStringLiteral("Номер"), FieldType::Integer, 2},
                 {QStringLiteral("U"), FieldType::Integer, 2},
                 {QStringLiteral("ФазыU"), FieldType::Text, 3},
                 {QStringLiteral("I"), FieldType::Integer, 2},
                 {QStringLiteral("ФазыI"), FieldType::Text, 3},
                 {QStringLiteral("cos"), FieldType::Text, 10},
                 {QStringLiteral("Обороты"), FieldType::Integer, 2},
                 {QStringLiteral("Погрешность"), FieldType::Float}};
    qint64 n = 10;  // the source's own numbering, which the import ignores
    for (const Point &p : points)
        t.rows << TableRow{n++, p.u, p.phasesU, p.i, p.phasesI, p.powerFactor, p.turns, p.limit};
    return t;
}

inline QList<Point> samplePoints()
{
    return {
        {qint64(100), QStringLiteral("101"), qint64(5), QStringLiteral("111"), QStringLiteral("0.5/C"), qint64(10), 1.5},
        {qint64(100), QStringLiteral("111"), qint64(100), QStringLiteral("1x1"), QStringLiteral("1"), qint64(20), 1.0},
        {qint64(80), QStringLiteral("1x1"), qint64(50), QStringLiteral("010"), QStringLiteral("0.5"), qint64(5), 2.5},
    };
}

// One source type in the order of the source: identifier first.
struct Tip {
    QString ident, tip, maker;
    double classT, unom, inom;
    QString phase, energy, unit;
    double reductRate, cenaDel, imax;
};

inline Tip sampleTip(const QString &tip, const QString &ident)
{
    return {ident, tip, QStringLiteral("Завод \"Энергомера\""), 1.0, 220.0, 5.0, QStringLiteral("3ф. 4пр."),
            QStringLiteral("Активная"), QStringLiteral("оборот/кВт(кВар)*час"), 1600.0, 0.1, 60.0};
}

// Thirteen columns led by a counter, or the twelve data columns alone.
inline TableData tipTable(const QList<Tip> &tips, bool withCounter = true)
{
    TableData t;
    if (withCounter)
        t.columns << TableColumn{QStringLiteral("N"), FieldType::Integer, 4, true};
    t.columns << TableColumn{QStringLiteral("Идентификатор"), FieldType::Text, 20}
              << TableColumn{QStringLiteral("Тип"), FieldType::Text, 20}
              << TableColumn{QStringLiteral("Изготовитель"), FieldType::Text, 50}
              << TableColumn{QStringLiteral("Класс"), FieldType::Float}
              << TableColumn{QStringLiteral("Uном"), FieldType::Float}
              << TableColumn{QStringLiteral("Iном"), FieldType::Float}
              << TableColumn{QStringLiteral("Схема"), FieldType::Text, 10}
              << TableColumn{QStringLiteral("Энергия"), FieldType::Text, 12}
              << TableColumn{QStringLiteral("Единица"), FieldType::Text, 25}
              << TableColumn{QStringLiteral("Постоянная"), FieldType::Float}
              << TableColumn{QStringLiteral("ЦенаДел"), FieldType::Float}
              << TableColumn{QStringLiteral("Imax"), FieldType::Float};
    qint64 n = 1;
    for (const Tip &x : tips) {
        TableRow row;
        if (withCounter)
            row << n++;
        row << x.ident << x.tip << x.maker << x.classT << x.unom << x.inom << x.phase << x.energy << x.unit
            << x.reductRate << x.cenaDel << x.imax;
        t.rows << row;
    }
    return t;
}

inline QString write(const QTemporaryDir &dir, const QString &name, const TableData &table, int codePage = 1251)
{
    const QString path = dir.filePath(name);
    const kv::ParadoxWriteResult w = kv::writeParadox(path, table, codePage);
    if (!w.error.isEmpty())
        qFatal("cannot write %s: %s", qPrintable(name), qPrintable(w.error));
    return path;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A stand-in reader (a shell script) for a reader that hangs.
inline QString fakeReader(const QTemporaryDir &dir, const QByteArray &body)
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

}  // namespace importtest
