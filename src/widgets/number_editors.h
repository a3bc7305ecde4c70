#pragma once
// Number editors with a range. A value outside the range, or text that is no
// number, is refused with the editor's own message and never reaches the record.

#include <QLineEdit>
#include <QString>
#include <QVariant>

#include <optional>

namespace kv {

// The values an editor accepts: min..max, with at most `decimals` places
// (0: whole numbers only). An empty text means "no value" when allowEmpty.
struct NumberRange {
    double min = 0;
    double max = 0;
    int decimals = 0;
    bool allowEmpty = true;

    static NumberRange whole(int min, int max) { return {double(min), double(max), 0, true}; }
    static NumberRange real(double min, double max, int decimals) { return {min, max, decimals, true}; }
    bool bounded() const { return min < max; }
};

// What checking a typed text gave: the value (null for an empty text), or the
// message the operator is shown.
struct NumberCheck {
    bool ok = false;
    QVariant value;
    QString message;
};

// Reads a number the way the operator types it: the regional decimal separator,
// or "." or "," whatever the region.
std::optional<double> parseNumber(const QString &text);
// Checks a typed text against a range (an unbounded range only checks the number).
NumberCheck checkNumberText(const QString &text, const NumberRange &range);
// The refusal for a typed value outside the range.
QString rangeMessage(const QString &typed, const NumberRange &range);
// Two record values hold the same number (both empty counts as the same).
bool sameNumber(const QVariant &a, const QVariant &b);
// A value as the editor shows it.
QString numberText(const QVariant &value, const NumberRange &range);

// A line editor for one number field. `value` is what the record gets; typed
// text becomes the value only through acceptInput(), which refuses text out of
// range with a message box; the refused text stays in the field to be corrected,
// the value stays the last accepted one.
class NumberEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)

public:
    explicit NumberEdit(QWidget *parent = nullptr);
    NumberEdit(const NumberRange &range, QWidget *parent = nullptr);

    void setRange(const NumberRange &range);
    const NumberRange &range() const { return m_range; }

    QVariant value() const { return m_value; }
    void setValue(const QVariant &value);

    // Takes the typed text as the value; false (after the message) when refused.
    bool acceptInput();
    // True when the text differs from the shown value.
    bool hasUnacceptedText() const;

Q_SIGNALS:
    void refused(const QString &message);

private:
    NumberRange m_range;
    QVariant m_value;
    bool m_asking = false;
};

}  // namespace kv
