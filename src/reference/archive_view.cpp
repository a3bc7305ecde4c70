#include "reference/archive_view.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "files/table_data.h"
#include "protocols/text_convert.h"
#include "reference/data_module.h"

#include <QDateTime>
#include <QSqlRecord>

#include <cmath>

namespace basekvintor {

bool resultExceedsTolerance(const QVariant &measure, const QVariant &tolerance)
{
    if (measure.isNull() || !measure.isValid())
        return false;
    return std::fabs(measure.toDouble()) > std::fabs(tolerance.toDouble());
}

int roundHalfEven(double value) { return int(std::nearbyint(value)); }

QPoint centredTextOrigin(const QRect &cell, const QSize &text)
{
    const int left = cell.x();
    const int right = cell.x() + cell.width();
    const int top = cell.y();
    const int bottom = cell.y() + cell.height();
    const int x = roundHalfEven((left + right) / 2.0) - roundHalfEven(text.width() / 2.0);
    const int y = roundHalfEven((top + bottom) / 2.0 - roundHalfEven(text.height() / 2.0));
    return {x, y};
}

ArchiveListView::ArchiveListView(QAbstractItemModel *list, QObject *parent) : QIdentityProxyModel(parent)
{
    setSourceModel(list);
}

int ArchiveListView::column(const QString &field) const
{
    if (auto *set = qobject_cast<TQueryDataSet *>(sourceModel()))
        return set->record().indexOf(field);
    return -1;
}

QVariant ArchiveListView::data(const QModelIndex &index, int role) const
{
    if (role == HighlightRole)
        return index.isValid() && m_highlight && m_highlight(sourceModel(), index.row());
    if (role == Qt::DisplayRole && index.column() == m_dateColumn && m_dateColumn >= 0) {
        return archiveDateText(QIdentityProxyModel::data(index, Qt::EditRole));
    }
    if (role == Qt::DisplayRole) {
        // Errors and tolerances in full, as the protocols print them.
        const QVariant value = QIdentityProxyModel::data(index, role);
        if (value.typeId() == QMetaType::Double)
            return kv::NumberToText(value.toDouble());
        return value;
    }
    return QIdentityProxyModel::data(index, role);
}

QVariant ArchiveListView::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && m_titles.contains(section))
        return m_titles.value(section);
    return QIdentityProxyModel::headerData(section, orientation, role);
}

bool ArchiveListView::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    m_titles.insert(section, value);
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags ArchiveListView::flags(const QModelIndex &index) const
{
    // Nothing is edited in the archive.
    return QIdentityProxyModel::flags(index) & ~Qt::ItemIsEditable;
}

std::function<bool(const QAbstractItemModel *, int)> toleranceRule(int measureColumn, int toleranceColumn)
{
    return [measureColumn, toleranceColumn](const QAbstractItemModel *list, int row) {
        if (!list || measureColumn < 0 || toleranceColumn < 0)
            return false;
        return resultExceedsTolerance(list->index(row, measureColumn).data(Qt::EditRole),
                                      list->index(row, toleranceColumn).data(Qt::EditRole));
    };
}

QList<qint64> keysToDelete(const TQueryDataSet *list, const kv::MarkedRows &marked, int currentRow)
{
    if (!list)
        return {};
    if (marked.all) {
        try {
            return list->allKeys();
        } catch (const kv::Error &e) {
            throw kv::Error(QStringLiteral("Записи не удалены: ") + e.text());
        }
    }
    QList<qint64> keys;
    const QList<int> rows = marked.rows.isEmpty() ? QList<int>{currentRow} : marked.rows;
    for (int row : rows)
        if (const qint64 key = list->keyAt(row); key != 0)
            keys << key;
    return keys;
}

QVariant archiveDateText(const QVariant &stored)
{
    QDateTime when = stored.typeId() == QMetaType::QDateTime ? stored.toDateTime() : QDateTime();
    if (!when.isValid())
        when = kv::dateTimeFromText(stored.toString());
    if (!when.isValid())
        return stored;
    return kv::shortDateText(when.date()) + QLatin1Char(' ') + when.time().toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace basekvintor
