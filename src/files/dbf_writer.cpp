#include "files/dbf_writer.h"

#include "core/whole_file.h"
#include "files/code_pages.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace kv {

namespace {

constexpr int kMaxTextWidth = 254;

// shapelib writes through stdio and ignores what closing the file returns,
// which is where a full disk shows; these hooks remember the first failed
// write, flush, sync or close of the file being written.
thread_local QString g_writeFailure;

void noteFailure()
{
    if (g_writeFailure.isEmpty())
        g_writeFailure = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
}

SAOffset checkedWrite(void *p, SAOffset size, SAOffset count, SAFile file)
{
    const SAOffset written = SAOffset(std::fwrite(p, size, count, reinterpret_cast<FILE *>(file)));
    if (written != count)
        noteFailure();
    return written;
}

int checkedFlush(SAFile file)
{
    const int r = std::fflush(reinterpret_cast<FILE *>(file));
    if (r != 0)
        noteFailure();
    return r;
}

int checkedClose(SAFile file)
{
    FILE *f = reinterpret_cast<FILE *>(file);
    bool ok = std::fflush(f) == 0;
    if (!ok)
        noteFailure();
#ifndef Q_OS_WIN
    if (ok && ::fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS) {
        ok = false;
        noteFailure();
    }
#endif
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        noteFailure();
    }
    return ok ? 0 : EOF;
}

struct FieldPlan {
    DBFFieldType type = FTString;
    int width = 1;
    int decimals = 0;
};

// Width and decimals of a numeric field that shows every value of the column
// (up to ten decimals). Two decimals at least, so readers keep the column a
// real number even when every value happens to be whole.
FieldPlan floatPlan(const TableData &table, int c)
{
    int intDigits = 1, decimals = 0;
    bool negative = false;
    for (const TableRow &row : table.rows) {
        const QVariant &v = row.at(c);
        if (v.isNull())
            continue;
        const double d = v.toDouble();
        if (!std::isfinite(d))
            continue;
        negative = negative || d < 0;
        QString t = QString::number(std::fabs(d), 'f', 10);
        while (t.endsWith(QLatin1Char('0')))
            t.chop(1);
        if (t.endsWith(QLatin1Char('.')))
            t.chop(1);
        const int dot = int(t.indexOf(QLatin1Char('.')));
        intDigits = std::max(intDigits, dot < 0 ? int(t.size()) : dot);
        decimals = std::max(decimals, dot < 0 ? 0 : int(t.size()) - dot - 1);
    }
    FieldPlan p;
    p.type = FTDouble;
    p.decimals = std::clamp(decimals, 2, 10);
    const int sign = negative ? 1 : 0;
    p.width = intDigits + sign + 1 + p.decimals;
    if (p.width > 20) {  // a huge number keeps its digits before its decimals
        p.decimals = std::max(0, 20 - intDigits - sign - 1);
        p.width = 20;
    }
    return p;
}

FieldPlan planFor(const TableData &table, int c)
{
    const TableColumn &col = table.columns.at(c);
    FieldPlan p;
    switch (col.type) {
    case FieldType::Integer: {
        qint64 widest = 1;
        for (const TableRow &row : table.rows)
            if (!row.at(c).isNull())
                widest = std::max<qint64>(widest, QString::number(row.at(c).toLongLong()).size());
        p.type = FTInteger;
        p.width = int(std::max<qint64>(widest, col.width == 2 ? 6 : 11));
        p.width = std::min(p.width, 19);
        if (p.width > 9)
            p.type = FTDouble;  // shapelib reads wider integer fields as doubles; write them the same way
        return p;
    }
    case FieldType::Float:
        return floatPlan(table, c);
    case FieldType::Boolean:
        p.type = FTLogical;
        p.width = 1;
        return p;
    case FieldType::DateTime:
        // dBASE III and IV know dates only: a reader expects a date column as
        // a date field, and sorts and filters it as one. The time of day has
        // no place in it and is left out.
        p.type = FTDate;
        p.width = 8;
        return p;
    case FieldType::Text: {
        int width = col.width;
        for (const TableRow &row : table.rows)
            width = std::max(width, int(row.at(c).toString().size()));
        p.type = FTString;
        p.width = std::clamp(width, 1, kMaxTextWidth);
        return p;
    }
    }
    return p;
}

}  // namespace

DbfResult writeDbf(const QString &path, const TableData &table)
{
    DbfResult result;
    if (QFileInfo::exists(path)) {
        result.error = QStringLiteral("Таблица \"%1\" уже существует.").arg(QFileInfo(path).fileName());
        return result;
    }
    if (table.columns.isEmpty()) {
        result.error = QStringLiteral("Таблица без столбцов не может быть записана.");
        return result;
    }
    QStringList names;
    for (const TableColumn &c : table.columns)
        names << c.name;
    // Field names are plain ASCII in every reader; the schema's names are.
    result.fieldNames = uniqueFieldNames(names, 10);

    // shapelib replaces the extension with ".dbf", so the partial file ends in it too.
    const QFileInfo target(path);
    const QString partial = target.dir().filePath(target.completeBaseName() + QStringLiteral(".kvpart.dbf"));
    QFile::remove(partial);
    const QByteArray partialName = QFile::encodeName(partial);
    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.FWrite = checkedWrite;
    hooks.FFlush = checkedFlush;
    hooks.FClose = checkedClose;
    g_writeFailure.clear();
    DBFHandle dbf = DBFCreateLL(partialName.constData(), "LDID/201", &hooks);
    if (!dbf) {
        result.error = QStringLiteral("Не удается создать файл %1.").arg(path);
        return result;
    }
    QVector<FieldPlan> plans;
    for (int c = 0; c < table.columns.size(); ++c) {
        const FieldPlan p = planFor(table, c);
        plans << p;
        const QByteArray name = encodeCodePage(result.fieldNames.at(c), CodePage1251);
        if (DBFAddField(dbf, name.constData(), p.type, p.width, p.decimals) < 0) {
            DBFClose(dbf);
            QFile::remove(partial);
            result.error = QStringLiteral("Не удается добавить поле %1 в файл %2.").arg(result.fieldNames.at(c), path);
            return result;
        }
    }

    bool ok = true;
    for (int r = 0; r < table.rows.size() && ok; ++r) {
        const TableRow &row = table.rows.at(r);
        for (int c = 0; c < table.columns.size() && ok; ++c) {
            const QVariant &v = c < row.size() ? row.at(c) : QVariant();
            const FieldPlan &p = plans.at(c);
            if (v.isNull()) {
                ok = DBFWriteNULLAttribute(dbf, r, c) != 0;
                continue;
            }
            switch (p.type) {
            case FTInteger:
                ok = DBFWriteIntegerAttribute(dbf, r, c, int(v.toLongLong())) != 0;
                break;
            case FTDouble:
                ok = DBFWriteDoubleAttribute(dbf, r, c, v.toDouble()) != 0;
                break;
            case FTLogical:
                ok = DBFWriteLogicalAttribute(dbf, r, c, v.toBool() ? 'T' : 'F') != 0;
                break;
            case FTDate: {
                // shapelib formats 'D' fields as numbers; the eight digits go in as they are.
                QByteArray d = v.toDateTime().date().toString(QStringLiteral("yyyyMMdd")).toLatin1();
                ok = d.size() == 8 && DBFWriteAttributeDirectly(dbf, r, c, d.data()) != 0;
                break;
            }
            default: {
                const QString text = v.toString();
                // shapelib cuts at the field width; a text never longer than
                // the source column allows is never cut.
                ok = DBFWriteStringAttribute(dbf, r, c, encodeCodePage(text, CodePage1251).constData()) != 0;
                break;
            }
            }
        }
    }
    DBFClose(dbf);
    QString reason = g_writeFailure;
    if (ok && reason.isEmpty())
        reason = replaceFile(partial, path);
    else if (reason.isEmpty())
        reason = QStringLiteral("ошибка записи");
    if (!reason.isEmpty() || !ok) {
        QFile::remove(partial);
        result.error = fileWriteFailedText(path, reason);
    }
    return result;
}

}  // namespace kv
