#include "files/paradox_file.h"

#include "core/whole_file.h"
#include "files/code_pages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <cstring>
#include <vector>
#include <limits>

namespace kv {

namespace {

// ---- writing ----------------------------------------------------------------

thread_local QString lastLibraryError;

void recordError(pxdoc_t *, int, const char *msg, void *)
{
    lastLibraryError = QString::fromLocal8Bit(msg).trimmed();
}

#ifdef __GLIBC__
// The library seeks and reads back the block it writes to for every record; on
// a file each of those is a system call, and 100,000 rows take many seconds.
// The table is built in memory behind a stdio stream and written out once.
struct MemoryFile {
    std::vector<char> data;
    size_t pos = 0;

    static ssize_t read(void *cookie, char *buf, size_t size)
    {
        auto *m = static_cast<MemoryFile *>(cookie);
        if (m->pos >= m->data.size())
            return 0;
        const size_t n = std::min(size, m->data.size() - m->pos);
        std::memcpy(buf, m->data.data() + m->pos, n);
        m->pos += n;
        return ssize_t(n);
    }
    static ssize_t write(void *cookie, const char *buf, size_t size)
    {
        auto *m = static_cast<MemoryFile *>(cookie);
        if (m->pos + size > m->data.size())
            m->data.resize(m->pos + size);  // a seek past the end leaves zeros, as on a file
        std::memcpy(m->data.data() + m->pos, buf, size);
        m->pos += size;
        return ssize_t(size);
    }
    static int seek(void *cookie, off64_t *offset, int whence)
    {
        auto *m = static_cast<MemoryFile *>(cookie);
        const off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? off64_t(m->pos) : off64_t(m->data.size());
        const off64_t target = base + *offset;
        if (target < 0)
            return -1;
        m->pos = size_t(target);
        *offset = target;
        return 0;
    }
    static int close(void *) { return 0; }

    FILE *open()
    {
        cookie_io_functions_t io{&MemoryFile::read, &MemoryFile::write, &MemoryFile::seek, &MemoryFile::close};
        return fopencookie(this, "w+", io);
    }
};
#endif

struct PxField {
    ParadoxType type;
    int size;
};

PxField fieldFor(const TableData &table, int c, int codePage)
{
    const TableColumn &col = table.columns.at(c);
    switch (col.type) {
    case FieldType::Integer: {
        if (col.autoIncrement)
            return {ParadoxType::AutoInc, 4};
        bool fitsShort = col.width == 2;
        for (const TableRow &row : table.rows) {
            if (!fitsShort)
                break;
            const QVariant &v = row.at(c);
            // -32768 is the library's empty value for short fields.
            fitsShort = v.isNull() || (v.toLongLong() > -32768 && v.toLongLong() <= 32767);
        }
        return fitsShort ? PxField{ParadoxType::Short, 2} : PxField{ParadoxType::Long, 4};
    }
    case FieldType::Float:
        return {ParadoxType::Number, 8};
    case FieldType::Boolean:
        return {ParadoxType::Logical, 1};
    case FieldType::DateTime:
        return {ParadoxType::Timestamp, 8};
    case FieldType::Text: {
        int width = col.width;
        for (const TableRow &row : table.rows)
            width = std::max(width, int(encodeCodePage(row.at(c).toString(), codePage).size()));
        return {ParadoxType::Alpha, std::clamp(width, 1, 255)};
    }
    }
    return {ParadoxType::Alpha, 1};
}

// ---- reading ----------------------------------------------------------------

QString fileText(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QVariant parseValue(const QByteArray &item, int codePage)
{
    if (item.isEmpty() || item == "-")
        return {};
    const char kind = item.at(0);
    const QByteArray rest = item.mid(1);
    switch (kind) {
    case 's':
        return decodeCodePage(QByteArray::fromHex(rest), codePage);
    case 'i':
        return rest.toLongLong();
    case 'f':
        return rest.toDouble();
    case 'b':
        return rest == "1";
    case 'd':
    case 'T':
        return dateTimeFromText(QString::fromLatin1(rest));
    case 't':
        return QString::fromLatin1(rest);
    default:
        return {};
    }
}

TableColumn columnFor(const QString &name, ParadoxType type, int size)
{
    TableColumn c;
    c.name = name;
    switch (type) {
    case ParadoxType::Alpha:
        c.type = FieldType::Text;
        c.width = size;
        break;
    case ParadoxType::Short:
        c.type = FieldType::Integer;
        c.width = 2;
        break;
    case ParadoxType::Long:
        c.type = FieldType::Integer;
        c.width = 4;
        break;
    case ParadoxType::AutoInc:
        c.type = FieldType::Integer;
        c.width = 4;
        c.autoIncrement = true;
        break;
    case ParadoxType::Number:
    case ParadoxType::Currency:
    case ParadoxType::BCD:
        c.type = FieldType::Float;
        break;
    case ParadoxType::Logical:
        c.type = FieldType::Boolean;
        break;
    case ParadoxType::Date:
    case ParadoxType::Timestamp:
        c.type = FieldType::DateTime;
        break;
    case ParadoxType::Time:
        c.type = FieldType::Text;
        c.width = 8;
        break;
    default:
        c.type = FieldType::Text;
        break;
    }
    return c;
}

void setError(ParadoxTable &t, ParadoxReadError kind, const QString &path)
{
    t.errorKind = kind;
    t.table.rows.clear();
    switch (kind) {
    case ParadoxReadError::CannotOpen:
        t.error = QStringLiteral("Файл %1 не найден или не может быть прочитан.").arg(fileText(path));
        break;
    case ParadoxReadError::NotParadox:
        t.error = QStringLiteral("Файл %1 не является таблицей Paradox.").arg(fileText(path));
        break;
    case ParadoxReadError::Damaged:
        t.error = QStringLiteral("Таблица Paradox %1 повреждена.").arg(fileText(path));
        break;
    case ParadoxReadError::TimedOut:
        t.error = QStringLiteral("Чтение таблицы Paradox %1 прервано: файл не читается (возможно, поврежден).")
                      .arg(fileText(path));
        break;
    case ParadoxReadError::Cancelled:
        t.error = QStringLiteral("Чтение таблицы Paradox %1 отменено.").arg(fileText(path));
        break;
    case ParadoxReadError::NoReader:
        t.error = QStringLiteral("Не найдена программа чтения таблиц Paradox (kvintor-pxread).");
        break;
    case ParadoxReadError::None:
        t.error.clear();
        break;
    }
}

// Parses the helper's output line by line.
class OutputParser
{
public:
    explicit OutputParser(ParadoxTable &t) : m_t(t) {}

    // Returns false when the line ends the reading (an error line, or a line
    // that does not belong to the format).
    bool line(const QByteArray &l)
    {
        if (l.startsWith("r ")) {
            if (!m_fieldsDone)
                return bad();
            const QList<QByteArray> items = l.mid(2).split('\t');
            if (items.size() != m_t.table.columns.size())
                return bad();
            TableRow row(items.size());
            for (int i = 0; i < items.size(); ++i)
                row[i] = parseValue(items.at(i), m_t.textCodePage);
            m_t.table.rows << row;
            return true;
        }
        const int space = int(l.indexOf(' '));
        const QByteArray key = space < 0 ? l : l.left(space);
        const QByteArray value = space < 0 ? QByteArray() : l.mid(space + 1);
        if (key == "PXREAD") {
            m_started = true;
        } else if (!m_started) {
            if (key == "error")
                return error(value);
            return bad();
        } else if (key == "version") {
            m_t.version = value.toInt();
        } else if (key == "codepage") {
            m_t.codePage = value.toInt();
            // A header without a code page: DOS-era versions wrote OEM text.
            m_t.textCodePage = m_t.codePage == 0 ? (m_t.version < 50 ? CodePage866 : CodePage1251)
                                                 : cyrillicCodePageFor(m_t.codePage);
        } else if (key == "records") {
            m_total = value.toLongLong();
        } else if (key == "field") {
            const QList<QByteArray> parts = value.split(' ');
            if (parts.size() != 3 || m_fieldsDone)
                return bad();
            const auto type = ParadoxType(parts.at(0).toInt());
            const int size = parts.at(1).toInt();
            m_t.types << type;
            m_t.sizes << size;
            m_t.table.columns << columnFor(decodeCodePage(QByteArray::fromHex(parts.at(2)), m_t.textCodePage), type, size);
        } else if (key == "fields-end") {
            m_fieldsDone = true;
            m_t.table.rows.reserve(int(std::min<qint64>(m_total, 1 << 22)));
        } else if (key == "end") {
            m_complete = true;
        } else if (key == "error") {
            return error(value);
        } else {
            return bad();
        }
        return true;
    }

    bool complete() const { return m_complete && m_t.table.rows.size() == m_total; }
    qint64 total() const { return m_total; }
    ParadoxReadError failure() const { return m_failure; }

private:
    bool error(const QByteArray &value)
    {
        if (value.startsWith("open"))
            m_failure = ParadoxReadError::CannotOpen;
        else if (value.startsWith("format"))
            m_failure = ParadoxReadError::NotParadox;
        else
            m_failure = ParadoxReadError::Damaged;
        return false;
    }
    bool bad()
    {
        m_failure = ParadoxReadError::Damaged;
        return false;
    }

    ParadoxTable &m_t;
    bool m_started = false;
    bool m_fieldsDone = false;
    bool m_complete = false;
    qint64 m_total = 0;
    ParadoxReadError m_failure = ParadoxReadError::None;
};

}  // namespace

ParadoxWriteResult writeParadox(const QString &path, const TableData &table, int codePage)
{
    ParadoxWriteResult result;
    codePage = codePage == CodePage866 ? CodePage866 : CodePage1251;
    if (QFileInfo::exists(path)) {
        result.error = QStringLiteral("Таблица \"%1\" уже существует.").arg(QFileInfo(path).fileName());
        return result;
    }
    if (table.columns.isEmpty() || table.columns.size() > 255) {
        result.error = QStringLiteral("Таблица Paradox должна иметь от 1 до 255 столбцов.");
        return result;
    }
    QStringList names;
    for (const TableColumn &c : table.columns)
        names << c.name;
    result.fieldNames = uniqueFieldNames(names, 25);

    QVector<PxField> plan;
    for (int c = 0; c < table.columns.size(); ++c)
        plan << fieldFor(table, c, codePage);

    pxdoc_t *px = PX_new2(recordError, nullptr, nullptr, nullptr);
    if (!px) {
        result.error = QStringLiteral("Недостаточно памяти для записи таблицы Paradox.");
        return result;
    }
    const int n = int(table.columns.size());
    auto *fields = static_cast<pxfield_t *>(px->malloc(px, sizeof(pxfield_t) * size_t(n), "fields"));
    for (int c = 0; c < n; ++c) {
        QByteArray name = encodeCodePage(result.fieldNames.at(c), codePage);
        fields[c].px_fname = PX_strdup(px, name.constData());
        fields[c].px_ftype = char(plan.at(c).type);
        fields[c].px_flen = plan.at(c).size;
        fields[c].px_fdc = 0;
    }

    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    lastLibraryError.clear();
#ifdef __GLIBC__
    MemoryFile memory;
    FILE *stream = memory.open();
#else
    FILE *stream = std::fopen(QFile::encodeName(partial).constData(), "w+b");
#endif
    if (!stream || PX_create_fp(px, fields, n, stream, pxfFileTypNonIndexDB) < 0) {
        PX_delete(px);
        if (stream)
            std::fclose(stream);
        QFile::remove(partial);
        result.error = QStringLiteral("Не удается создать файл %1. %2").arg(fileText(path), lastLibraryError).trimmed();
        return result;
    }
    const QByteArray tableName = encodeCodePage(QFileInfo(path).completeBaseName(), codePage);
    PX_set_parameter(px, "tablename", tableName.constData());
    PX_set_value(px, "codepage", float(codePage));

    QByteArray record(PX_get_recordsize(px), '\0');
    bool ok = true;
    int position = 0;
    for (const TableRow &row : table.rows) {
        record.fill('\0');
        int offset = 0;
        for (int c = 0; c < n; ++c) {
            char *data = record.data() + offset;
            const int size = plan.at(c).size;
            offset += size;
            const QVariant v = c < row.size() ? row.at(c) : QVariant();
            if (v.isNull())
                continue;  // all zero bytes: an empty field
            switch (plan.at(c).type) {
            case ParadoxType::Alpha: {
                QByteArray bytes = encodeCodePage(v.toString(), codePage).left(size);
                PX_put_data_alpha(px, data, size, bytes.data());
                break;
            }
            case ParadoxType::Short:
                PX_put_data_short(px, data, size, short(v.toLongLong()));
                break;
            case ParadoxType::Long:
            case ParadoxType::AutoInc:
                PX_put_data_long(px, data, size, int(std::clamp<qint64>(v.toLongLong(), -2147483647, 2147483647)));
                break;
            case ParadoxType::Number:
                PX_put_data_double(px, data, size, v.toDouble());
                break;
            case ParadoxType::Logical:
                PX_put_data_byte(px, data, size, v.toBool() ? 1 : 0);
                break;
            case ParadoxType::Timestamp: {
                const QDateTime d = v.toDateTime();
                if (!d.isValid())
                    break;
                pxval_t *stamp = PX_make_timestamp(px, d.date().year(), d.date().month(), d.date().day(),
                                                   d.time().hour(), d.time().minute(), d.time().second());
                if (stamp) {
                    PX_put_data_double(px, data, size, stamp->value.dval);
                    FREE_PXVAL(px, stamp);
                }
                break;
            }
            default:
                break;
            }
        }
        // PX_put_record looks for a free place from the start each time;
        // giving the position keeps a large table from taking minutes.
        if (PX_put_recordn(px, record.data(), position++) < 0) {
            ok = false;
            break;
        }
    }
    result.version = px->px_head ? px->px_head->px_fileversion : 0;
    PX_close(px);
    PX_delete(px);
    ok = std::fclose(stream) == 0 && ok;
    if (!ok) {
        QFile::remove(partial);
        result.error = QStringLiteral("Ошибка записи в файл %1. %2").arg(fileText(path), lastLibraryError).trimmed();
        return result;
    }
#ifdef __GLIBC__
    result.error = writeWholeFile(path, QByteArray(memory.data.data(), qsizetype(memory.data.size())));
#else
    if (const QString reason = replaceFile(partial, path); !reason.isEmpty()) {
        QFile::remove(partial);
        result.error = fileWriteFailedText(path, reason);
    }
#endif
    return result;
}

QString paradoxReaderPath()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("kvintor-pxread.exe");
#else
    const QString name = QStringLiteral("kvintor-pxread");
#endif
    // An explicit reader wins; tests use it to stand in a reader that hangs.
    const QString chosen = qEnvironmentVariable("KVINTOR_PXREAD");
    if (!chosen.isEmpty())
        return QFileInfo(chosen).isExecutable() ? chosen : QString();
    QStringList folders;
    if (QCoreApplication::instance())
        folders << QCoreApplication::applicationDirPath();
    const QString env = qEnvironmentVariable("KVINTOR_BIN_DIR");
    if (!env.isEmpty())
        folders << env;
#ifdef KV_BUILD_BIN_DIR
    folders << QStringLiteral(KV_BUILD_BIN_DIR);
#endif
    for (const QString &folder : folders) {
        const QFileInfo candidate(QDir(folder).filePath(name));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return {};
}

ParadoxTable readParadoxTable(const QString &path, int timeoutMs, const ReadProgress &progress)
{
    ParadoxTable t;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        setError(t, ParadoxReadError::CannotOpen, path);
        return t;
    }
    const QString reader = paradoxReaderPath();
    if (reader.isEmpty()) {
        setError(t, ParadoxReadError::NoReader, path);
        return t;
    }
    QProcess process;
    process.setProgram(reader);
    process.setArguments({info.absoluteFilePath()});
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(std::max(timeoutMs, 1000))) {
        setError(t, ParadoxReadError::NoReader, path);
        return t;
    }

    OutputParser parser(t);
    QByteArray pending;
    bool stopped = false;
    ParadoxReadError stopReason = ParadoxReadError::None;
    qint64 lastReported = -1;
    QElapsedTimer silence;
    silence.start();
    const auto consume = [&](bool final) {
        qsizetype start = 0;
        for (;;) {
            const qsizetype nl = pending.indexOf('\n', start);
            if (nl < 0)
                break;
            if (!parser.line(pending.mid(start, nl - start))) {
                stopped = true;
                break;
            }
            start = nl + 1;
        }
        pending.remove(0, start);
        if (final && !stopped && !pending.isEmpty() && !parser.line(pending))
            stopped = true;
    };

    while (!stopped) {
        if (process.waitForReadyRead(50)) {
            pending += process.readAllStandardOutput();
            silence.restart();
            consume(false);
            const qint64 rows = t.table.rows.size();
            if (progress && !stopped && rows - lastReported >= 1000) {
                lastReported = rows;
                if (!progress(rows, parser.total())) {
                    stopped = true;
                    stopReason = ParadoxReadError::Cancelled;
                }
            }
        } else if (process.state() == QProcess::NotRunning) {
            pending += process.readAllStandardOutput();
            consume(true);
            break;
        } else if (silence.elapsed() > timeoutMs) {
            stopped = true;
            stopReason = ParadoxReadError::TimedOut;
        }
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }

    if (stopReason != ParadoxReadError::None)
        setError(t, stopReason, path);
    else if (parser.failure() != ParadoxReadError::None)
        setError(t, parser.failure(), path);
    else if (!parser.complete() || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        setError(t, ParadoxReadError::Damaged, path);  // the reader died on the file
    else if (progress && t.table.rows.size() != lastReported)
        progress(t.table.rows.size(), parser.total());
    if (t.ok())
        t.table.name = info.completeBaseName();
    return t;
}

}  // namespace kv
