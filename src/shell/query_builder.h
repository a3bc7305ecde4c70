#pragma once
// The query builder without widgets: the thirteen column boxes, the five
// condition boxes with their controls' values, the enable-and-force rule, and
// the archive statement composed as Jet text from them. The dialog only shows
// this state and forwards the operator's clicks; tests drive it directly.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace basekvintor {

// The column boxes, in the order the statement lists them.
enum class QueryColumn {
    CBDate, CBTip, CBID, CBTest,                                    // verification
    CBPosition, CBNumber, CBsensitivity, CBSamochod, CBSU, CBTotal,  // meter
    CBNumPoint, CBMeasure, CBMeasureMax                             // point
};
inline constexpr int kQueryColumnCount = 13;

struct QueryColumnInfo {
    const char *box;       // object name of the box
    QString caption;       // the box's caption
    QString columnText;    // what it adds to the column list
    QString field;         // the result grid's field
};
const QueryColumnInfo &queryColumnInfo(QueryColumn c);

// The condition boxes, in the order their conditions join the filter.
enum class QueryCondition { Date, Error, Type, Number, Verdict };
inline constexpr int kQueryConditionCount = 5;

// The three choices of the date and error groups ("до"/"меньше", "после"/"больше", "от ").
enum class RangeChoice { Before, After, FromTo };

// What composing gives. A stop leaves `statement` empty.
struct ComposedQuery {
    enum class Outcome {
        Ready,       // the statement is composed
        NoColumn,    // no column box ticked: message
        Silent,      // an empty error edit, or a reversed error range: nothing shown
        NotANumber,  // an error edit holds text that is not a number: message
        NoType,      // the type condition without a type: message
        NoNumber,    // the number condition without a number: message
    };
    Outcome outcome = Outcome::Ready;
    // The result fields to show (set whenever a column box is ticked, even if
    // composing stops later).
    QStringList visibleFields;
    QString statement;
    QString columnPart;
    QString sourcePart;
    QString badNumber;  // the edit text refused as a number
};

// Messages and captions of the builder.
inline const QString kQueryCaption = QStringLiteral("Запрос");
inline const QString kSelectCaption = QStringLiteral("Выбор данных из архива");
inline const QString kNoColumnText = QStringLiteral("Ни одно поле данных не выбранно");
inline const QString kNoTypeText = QStringLiteral("Необходимо выбрать тип счетчика ?");
inline const QString kNoNumberText = QStringLiteral("Необходимо выбрать номер счетчика ?");
inline const QString kQueryFailedCaption = QStringLiteral("Ошибка");
inline const QString kQueryFailedText = QStringLiteral("Ошибка запроса к базе данных !!!");
QString notANumberText(const QString &text);

class QueryBuilder
{
public:
    QueryBuilder();

    // Column boxes.
    bool ticked(QueryColumn c) const { return m_ticked[idx(c)]; }
    bool enabled(QueryColumn c) const { return m_enabled[idx(c)]; }
    // The operator's click; a disabled box ignores it.
    void setTicked(QueryColumn c, bool on);
    void selectAll();    // "Выделить все": every enabled box ticked
    void deselectAll();  // "Снять выделение": every enabled box unticked

    // Condition boxes; ticking one applies the enable-and-force rule at once,
    // as releasing the mouse over it does.
    bool condition(QueryCondition c) const { return m_conditions[std::size_t(c)]; }
    void setCondition(QueryCondition c, bool on);
    // The enable-and-force rule (also applied when the builder is shown).
    void applyConditionRule();
    // Whether a condition's controls are enabled (its box is ticked).
    bool controlsEnabled(QueryCondition c) const { return condition(c); }

    // Date condition.
    RangeChoice dateChoice = RangeChoice::Before;
    QDate DTPBefore, DTPAfter, DTPFBFrom, DTPFBBefore;
    // Error condition; the edits start with "0".
    RangeChoice errorChoice = RangeChoice::Before;
    QString EBefore = QStringLiteral("0"), EAfter = QStringLiteral("0"), EFBFrom = QStringLiteral("0"),
            EFBBefore = QStringLiteral("0");
    // Type condition: the chosen type's index, none when not chosen.
    std::optional<qint64> typeIndex;
    // Number condition: the chosen meter number ("" when none).
    QString number;
    // Verdict condition: 0 "Нет данных", 1 "Годен", 2 "Не годен".
    int verdict = 0;

    // Composes the statement from the current choices. An "от … до" error
    // bound the system's number conversion refuses throws kv::ConversionError.
    ComposedQuery compose() const;

    // The parts of the last composed statement, kept for the export of the
    // result grid: " Select " with the distinct word and the column list; " From "
    // with the source list and, when there is a filter, " Where " and the filter.
    QString columnPart() const { return m_columnPart; }
    QString sourcePart() const { return m_sourcePart; }
    void keepParts(const ComposedQuery &q);

    // A key typed into an error edit: what gets in (a comma as a point), or
    // nothing when the key is discarded. Backspace passes.
    static std::optional<QChar> errorEditKey(QChar typed);
    static constexpr int kErrorEditLength = 7;
    // A date as the statement writes it: the locale's short format when the
    // statement's translation reads it back as the same day, else dd.MM.yyyy.
    static QString dateText(const QDate &date);
    // Whether a text may stand in the statement as a number.
    static bool isNumberText(const QString &text);

private:
    static std::size_t idx(QueryColumn c) { return std::size_t(c); }
    std::array<bool, kQueryColumnCount> m_ticked{};
    std::array<bool, kQueryColumnCount> m_enabled;
    std::array<bool, kQueryConditionCount> m_conditions{};
    QString m_columnPart;
    QString m_sourcePart;
};

}  // namespace basekvintor
