#pragma once
// What the archive window shows of its three lists, without widgets: column
// titles and dates as the operator reads them, which result rows exceed their
// tolerance, where the highlighted text goes, and which records a deletion
// removes.

#include "widgets/data_grid.h"

#include <QHash>
#include <QIdentityProxyModel>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>

#include <functional>

namespace basekvintor {

class TQueryDataSet;

// Failing results are shown on this colour.
inline const QColor kFailColour(255, 215, 215);

// An error beyond its tolerance: |measure| > |tolerance| (equal passes).
bool resultExceedsTolerance(const QVariant &measure, const QVariant &tolerance);

// Rounds to the nearest whole number, halves to the even neighbour.
int roundHalfEven(double value);
// The top-left corner of a text of `text` size centred in a cell whose right
// and bottom edges lie just outside it (left + width, top + height).
QPoint centredTextOrigin(const QRect &cell, const QSize &text);

// A list as a grid shows it: titles kept here (the lists themselves keep their
// field names, which the reports and exports use), dates in the locale's
// format, and a role that says whether a row is highlighted.
class ArchiveListView : public QIdentityProxyModel
{
    Q_OBJECT
public:
    static constexpr int HighlightRole = Qt::UserRole + 40;

    explicit ArchiveListView(QAbstractItemModel *list, QObject *parent = nullptr);

    // The source's column of a field; -1 when absent.
    int column(const QString &field) const;
    // Rows for which the rule holds answer HighlightRole with true.
    void setHighlight(std::function<bool(const QAbstractItemModel *list, int row)> rule) { m_highlight = std::move(rule); }
    // Date-and-time fields stored as "YYYY-MM-DD HH:MM:SS" shown in the locale's short date and a time.
    void setDateColumn(int column) { m_dateColumn = column; }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QHash<int, QVariant> m_titles;
    std::function<bool(const QAbstractItemModel *, int)> m_highlight;
    int m_dateColumn = -1;
};

// The highlight rule of the results list: its PMeasure against its PMeasureMax.
std::function<bool(const QAbstractItemModel *, int)> toleranceRule(int measureColumn, int toleranceColumn);

// The keys a deletion removes: every row of the list as it was read when all
// are marked (never a record saved since), the marked rows when some are, the
// current row otherwise (none without one). Throws kv::Error when the list's
// rows cannot be read.
QList<qint64> keysToDelete(const TQueryDataSet *list, const kv::MarkedRows &marked, int currentRow);

// A stored date and time ("YYYY-MM-DD HH:MM:SS") as the archive shows it: the
// locale's short date and the time; any other value as it is.
QVariant archiveDateText(const QVariant &stored);

}  // namespace basekvintor
