#pragma once
// The table of a verification protocol and its header texts, shared by the
// protocol builders of both programs: one row per test item (the special
// tests and the test points) with the item's parameters and up to six meters'
// results, and the "TNumber" texts a template shows above it.

#include "protocols/protocol_data.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>

class QStandardItemModel;

namespace kv {

// Every text of the table is cut to this many characters.
inline constexpr int kProtocolTextLength = 20;
// Meters of one stand, the result columns N1..N6.
inline constexpr int kProtocolMeters = 6;

// The table's fields in column order: N, Mode, U, I, KM, CountRotation, N1..N6.
QStringList protocolTableFields();

// A text as the table holds it: cut to its first 20 characters.
QString protocolText(const QString &text);
// Number to text for the table: whole values as plain digits, others in the
// general format with the locale's decimal separator.
QString protocolNumber(double value);
QString protocolNumber(qint64 value);

// A table field's value as a protocol cell takes it: the voltage, the current
// and the meters' errors, held as texts, go on as the numbers they show (so a
// workbook gets number cells with the same digits); every other value, and a
// text that is not wholly a number ("Есть", "0,5/L"), as it is.
QVariant protocolCellValue(const QString &field, const QVariant &value);

enum class SpecialTest { Sensitivity, Creep, Register };

// A special test's duration as both programs' protocols show it: minutes ","
// seconds in two digits ("5,30", "5,05"), so that 5 s is never read as 50.
QString specialTestDuration(qint64 minutes, qint64 seconds);

// "ч", "с", "с/у".
QString specialTestMode(SpecialTest test);
// The result column text of a special test from the meter's code: "Не
// проводился", "Есть"/"Норма", "Нет"; an unknown code gives "".
QString specialTestResult(SpecialTest test, int code);
// "/L" for 1, "/C" for 2, nothing otherwise.
QString loadKindSuffix(int loadCharacter);

struct ProtocolRow {
    int N = 0;
    QString Mode;
    QString U;
    QString I;
    QString KM;
    QString CountRotation;
    std::array<QString, kProtocolMeters> results;  // N1..N6

    // Sets Nk (k = 1..6), cut to 20 characters; other k are ignored.
    void setResult(int k, const QString &text);
    QString result(int k) const { return k >= 1 && k <= kProtocolMeters ? results[std::size_t(k - 1)] : QString(); }
    // The values in field order.
    QVariantList values() const;
};

// A special test's row: its point number, voltage and current in per cent,
// power factor "1", and its duration as minutes "," seconds.
ProtocolRow specialTestRow(SpecialTest test, qint64 number, double voltage, double current, qint64 minutes,
                           qint64 seconds);
// A test point's row: power factor with the load-kind suffix, the number of
// revolutions to count.
ProtocolRow testPointRow(qint64 number, double voltage, double current, double powerFactor, int loadCharacter,
                         qint64 revolutions);

class ProtocolTable
{
public:
    void clear() { m_rows.clear(); }
    ProtocolRow &append(const ProtocolRow &row);
    // Orders the rows by N, ascending (the item numbers of a test are distinct).
    void sort();

    int size() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    ProtocolRow &operator[](int i) { return m_rows[i]; }
    const ProtocolRow &at(int i) const { return m_rows.at(i); }
    const QList<ProtocolRow> &rows() const { return m_rows; }
    // The row of an item number, or null.
    ProtocolRow *find(int number);

    // The rows as records of the report's table source.
    QList<QVariantList> records() const;
    // Replaces the model's contents: one column per field, titled by its name.
    void fill(QStandardItemModel *model) const;

private:
    QList<ProtocolRow> m_rows;
};

// --- header ("TNumber") ------------------------------------------------------

enum class ProtocolKind { Group, Single };

// The "TNumber" fields in index order.
QStringList headerFields(ProtocolKind kind);

// What the header texts are made of when the engine asks for them.
struct HeaderValues {
    ProtocolData data;          // the protocol data dialog's texts as they stand
    QString stand;              // StandText
    QStringList meterNumbers;   // group: positions 1..6 of the stand
    int verdict = -1;           // single: PTotal of the meter's position
    QDate today;
    QDate verified;             // the verification's date ("DatePov")
};

// "ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № " / "ПРОТОКОЛ  ПОВЕРКИ  № " + number + "  ОТ  " + date
// (the locale's short date format).
QString protocolTitle(ProtocolKind kind, const QString &number, const QDate &today);
QString installationText(const ProtocolData &data);
QString standCaption(const QString &standText);
QString verifierText(const QString &verifier);
// "Результат поверки: ..." by PTotal; "" for an unknown code.
QString verdictLine(int verdict);

// The value of header field `index`; an invalid value outside the fields.
QVariant headerValue(ProtocolKind kind, int index, const HeaderValues &values);

}  // namespace kv
