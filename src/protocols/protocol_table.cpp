#include "protocols/protocol_table.h"

#include "core/clock.h"
#include "database/codes.h"
#include "database/text_length.h"
#include "protocols/text_convert.h"

#include <QStandardItemModel>

#include <algorithm>
#include <cmath>

namespace kv {

QStringList protocolTableFields()
{
    QStringList fields{QStringLiteral("N"), QStringLiteral("Mode"), QStringLiteral("U"),
                       QStringLiteral("I"), QStringLiteral("KM"), QStringLiteral("CountRotation")};
    for (int k = 1; k <= kProtocolMeters; ++k)
        fields << QStringLiteral("N%1").arg(k);
    return fields;
}

QString protocolText(const QString &text) { return kv::leftCharacters(text, kProtocolTextLength); }

QString protocolNumber(double value) { return NumberToText(value); }

QString protocolNumber(qint64 value) { return QString::number(value); }

QVariant protocolCellValue(const QString &field, const QVariant &value)
{
    static const QStringList numeric{QStringLiteral("U"),  QStringLiteral("I"),  QStringLiteral("N1"),
                                     QStringLiteral("N2"), QStringLiteral("N3"), QStringLiteral("N4"),
                                     QStringLiteral("N5"), QStringLiteral("N6")};
    if (value.typeId() != QMetaType::QString || !numeric.contains(field, Qt::CaseInsensitive))
        return value;
    QString text = value.toString().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && std::isfinite(number) ? QVariant(number) : value;
}

QString specialTestDuration(qint64 minutes, qint64 seconds)
{
    return protocolNumber(minutes) + QLatin1Char(',') + QStringLiteral("%1").arg(seconds, 2, 10, QLatin1Char('0'));
}

QString specialTestMode(SpecialTest test)
{
    switch (test) {
    case SpecialTest::Sensitivity: return RowKind::Sensitivity;
    case SpecialTest::Creep: return RowKind::Creep;
    case SpecialTest::Register: return RowKind::Register;
    }
    return {};
}

QString specialTestResult(SpecialTest test, int code)
{
    switch (code) {
    case 0: return QStringLiteral("Не проводился");
    case 1: return test == SpecialTest::Register ? QStringLiteral("Норма") : QStringLiteral("Есть");
    case 2: return QStringLiteral("Нет");
    default: return {};
    }
}

QString loadKindSuffix(int loadCharacter)
{
    switch (loadCharacter) {
    case int(LoadCharacter::Inductive): return QStringLiteral("/L");
    case int(LoadCharacter::Capacitive): return QStringLiteral("/C");
    default: return {};
    }
}

void ProtocolRow::setResult(int k, const QString &text)
{
    if (k >= 1 && k <= kProtocolMeters)
        results[std::size_t(k - 1)] = protocolText(text);
}

QVariantList ProtocolRow::values() const
{
    QVariantList v{N, Mode, U, I, KM, CountRotation};
    for (const QString &r : results)
        v << r;
    return v;
}

ProtocolRow specialTestRow(SpecialTest test, qint64 number, double voltage, double current, qint64 minutes,
                           qint64 seconds)
{
    ProtocolRow row;
    row.N = int(number);
    row.Mode = specialTestMode(test);
    row.U = protocolText(protocolNumber(voltage));
    row.I = protocolText(protocolNumber(current));
    row.KM = QStringLiteral("1");
    row.CountRotation = protocolText(specialTestDuration(minutes, seconds));
    return row;
}

ProtocolRow testPointRow(qint64 number, double voltage, double current, double powerFactor, int loadCharacter,
                         qint64 revolutions)
{
    ProtocolRow row;
    row.N = int(number);
    row.Mode = RowKind::ErrorPoint;
    row.U = protocolText(protocolNumber(voltage));
    row.I = protocolText(protocolNumber(current));
    row.KM = protocolText(protocolNumber(powerFactor) + loadKindSuffix(loadCharacter));
    row.CountRotation = protocolText(protocolNumber(revolutions));
    return row;
}

ProtocolRow &ProtocolTable::append(const ProtocolRow &row)
{
    m_rows.append(row);
    return m_rows.last();
}

void ProtocolTable::sort()
{
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const ProtocolRow &a, const ProtocolRow &b) { return a.N < b.N; });
}

ProtocolRow *ProtocolTable::find(int number)
{
    for (ProtocolRow &r : m_rows)
        if (r.N == number)
            return &r;
    return nullptr;
}

QList<QVariantList> ProtocolTable::records() const
{
    QList<QVariantList> list;
    list.reserve(m_rows.size());
    for (const ProtocolRow &r : m_rows)
        list << r.values();
    return list;
}

void ProtocolTable::fill(QStandardItemModel *model) const
{
    if (!model)
        return;
    const QStringList fields = protocolTableFields();
    model->clear();
    model->setColumnCount(int(fields.size()));
    model->setHorizontalHeaderLabels(fields);
    for (const ProtocolRow &r : m_rows) {
        QList<QStandardItem *> items;
        for (const QVariant &v : r.values()) {
            auto *item = new QStandardItem;
            item->setData(v, Qt::DisplayRole);
            items << item;
        }
        model->appendRow(items);
    }
}

// --- header ------------------------------------------------------------------

QStringList headerFields(ProtocolKind kind)
{
    if (kind == ProtocolKind::Single)
        return {QStringLiteral("NumProt"), QStringLiteral("NumUst"), QStringLiteral("Stend"),
                QStringLiteral("PPover"), QStringLiteral("MakerPov"), QStringLiteral("Result"),
                QStringLiteral("DatePov")};
    QStringList fields;
    for (int k = 1; k <= kProtocolMeters; ++k)
        fields << QStringLiteral("Nz%1").arg(k);
    fields << QStringLiteral("NumProt") << QStringLiteral("NumUst") << QStringLiteral("Stend")
           << QStringLiteral("PPover") << QStringLiteral("MakerPov") << QStringLiteral("DatePov");
    return fields;
}

QString protocolTitle(ProtocolKind kind, const QString &number, const QDate &today)
{
    const QString head = kind == ProtocolKind::Group ? QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № ")
                                                     : QStringLiteral("ПРОТОКОЛ  ПОВЕРКИ  № ");
    return head + number + QStringLiteral("  ОТ  ") + kv::shortDateText(today);
}

QString installationText(const ProtocolData &d)
{
    return QStringLiteral("установка типа Kvintor, № ") + d.installationNumber +
           QStringLiteral(" (свидетельство о поверке № ") + d.certificateNumber + QStringLiteral(" от ") + d.validFrom +
           QStringLiteral(", срок действия до ") + d.validTo + QStringLiteral(").");
}

QString standCaption(const QString &standText) { return QStringLiteral("Стенд №") + standText; }

QString verifierText(const QString &verifier) { return QStringLiteral("Поверку произвел: ") + verifier; }

QString verdictLine(int verdict)
{
    const QString text = verdict >= 0 && verdict <= 2 ? verdictText(verdict) : QString();
    return text.isEmpty() ? QString() : QStringLiteral("Результат поверки: ") + text;
}

QVariant headerValue(ProtocolKind kind, int index, const HeaderValues &v)
{
    const QStringList fields = headerFields(kind);
    if (index < 0 || index >= fields.size())
        return {};
    const QString field = fields.at(index);
    if (field.startsWith(QLatin1String("Nz")))
        return v.meterNumbers.value(field.mid(2).toInt() - 1);
    if (field == QLatin1String("NumProt"))
        return protocolTitle(kind, v.data.protocolNumber, v.today);
    if (field == QLatin1String("NumUst"))
        return installationText(v.data);
    if (field == QLatin1String("Stend"))
        return standCaption(v.stand);
    if (field == QLatin1String("PPover"))
        return v.data.organisation;
    if (field == QLatin1String("MakerPov"))
        return verifierText(v.data.verifier);
    if (field == QLatin1String("DatePov"))
        return v.verified.isValid() ? QVariant(kv::shortDateText(v.verified)) : QVariant();
    if (field == QLatin1String("Result")) {
        const QString line = verdictLine(v.verdict);
        return line.isEmpty() ? QVariant() : QVariant(line);
    }
    return {};
}

}  // namespace kv
