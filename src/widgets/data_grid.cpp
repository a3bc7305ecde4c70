#include "widgets/data_grid.h"

#include "widgets/focus_watch.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace kv {

SortMark nextSortMark(SortMark current)
{
    return current == SortMark::Ascending ? SortMark::Descending : SortMark::Ascending;
}

QString orderText(const QString &field, SortMark mark)
{
    return field + (mark == SortMark::Descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
}

GridHeader::GridHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setSortIndicatorShown(false);
}

void GridHeader::setMark(int section, SortMark mark)
{
    if (mark == SortMark::None)
        m_marks.remove(section);
    else
        m_marks.insert(section, mark);
    viewport()->update();
}

void GridHeader::clearMarks()
{
    m_marks.clear();
    viewport()->update();
}

QSize GridHeader::sectionSizeFromContents(int logicalIndex) const
{
    // Room for the sort mark beside the title.
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    size.rwidth() += 14;
    return size;
}

void GridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const SortMark m = mark(logicalIndex);
    if (m == SortMark::None || rect.width() < 16)
        return;
    // A small triangle at the right of the title: point up for ascending.
    const int size = 4;
    const QPoint c(rect.right() - 8, rect.center().y());
    QPolygon triangle;
    if (m == SortMark::Ascending)
        triangle << QPoint(c.x() - size, c.y() + size / 2) << QPoint(c.x() + size, c.y() + size / 2)
                 << QPoint(c.x(), c.y() - size / 2 - 1);
    else
        triangle << QPoint(c.x() - size, c.y() - size / 2) << QPoint(c.x() + size, c.y() - size / 2)
                 << QPoint(c.x(), c.y() + size / 2 + 1);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::ButtonText));
    painter->drawPolygon(triangle);
    painter->restore();
}

DataGrid::DataGrid(QWidget *parent)
    : QTableView(parent), m_header(new GridHeader(this)), m_delegate(new GridDelegate(this)),
      m_focus(new FocusWatch(this))
{
    setHorizontalHeader(m_header);
    setItemDelegate(m_delegate);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_editTriggers = QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                     QAbstractItemView::AnyKeyPressed;
    setEditTriggers(m_editTriggers);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    m_focus->watch(this);
    connect(m_focus, &FocusWatch::entered, this, [this] { Q_EMIT entered(); });
    connect(m_focus, &FocusWatch::left, this, [this] { Q_EMIT left(); });
    connect(m_header, &QHeaderView::sectionClicked, this, &DataGrid::onTitleClicked);
}

void DataGrid::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    m_allMarked = false;
    if (selectionModel())
        connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            if (!m_markingAll)
                m_allMarked = false;
        });
    if (model)
        connect(model, &QAbstractItemModel::modelReset, this, [this] { m_allMarked = false; });
}

void DataGrid::setColumn(int column, const GridColumn &spec)
{
    m_delegate->setColumn(column, spec);
    viewport()->update();
}

GridColumn DataGrid::column(int column) const { return m_delegate->column(column); }

void DataGrid::showColumns(const QList<int> &columns, const QStringList &titles)
{
    if (!model())
        return;
    const int count = model()->columnCount();
    for (int c = 0; c < count; ++c)
        setColumnHidden(c, !columns.contains(c));
    for (int i = 0; i < columns.size(); ++i) {
        const int logical = columns.at(i);
        if (logical < 0 || logical >= count)
            continue;
        m_header->moveSection(m_header->visualIndex(logical), i);
        if (i < titles.size())
            model()->setHeaderData(logical, Qt::Horizontal, titles.at(i));
        fitColumn(logical);
    }
}

void DataGrid::fitColumn(int logical)
{
    // Sampled, not measured over the whole list: an archive has hundreds of
    // thousands of rows, and the first ones show the usual width of a field.
    constexpr int kSampleRows = 50;
    constexpr int kMaxWidth = 320;
    int width = std::max(m_header->defaultSectionSize(), m_header->sectionSizeHint(logical));
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int rows = std::min(model()->rowCount(), kSampleRows);
    for (int r = 0; r < rows; ++r)
        width = std::max(width, itemDelegate()->sizeHint(option, model()->index(r, logical)).width() + 8);
    setColumnWidth(logical, std::min(width, kMaxWidth));
}

QList<int> DataGrid::shownColumns() const
{
    QList<int> shown;
    for (int v = 0; v < m_header->count(); ++v) {
        const int logical = m_header->logicalIndex(v);
        if (!m_header->isSectionHidden(logical))
            shown.append(logical);
    }
    return shown;
}

QString DataGrid::cellText(int row, int column) const
{
    return model() ? m_delegate->shownText(model()->index(row, column, rootIndex())) : QString();
}

void DataGrid::setTitleButtons(bool on) { m_header->setSectionsClickable(on); }

bool DataGrid::titleButtons() const { return m_header->sectionsClickable(); }

void DataGrid::onTitleClicked(int column)
{
    Q_EMIT titleClicked(column);
    if (m_sortOnClick)
        clickTitle(column);
}

SortMark DataGrid::clickTitle(int column)
{
    const SortMark mark = nextSortMark(sortMark(column));
    if (m_sortHandler) {
        if (!m_sortHandler(column, mark))
            return sortMark(column);
    } else if (model()) {
        model()->sort(column, mark == SortMark::Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    setSortMark(column, mark);
    return mark;
}

bool DataGrid::commitEdit()
{
    if (state() != QAbstractItemView::EditingState)
        return true;
    QWidget *editor = QApplication::focusWidget();
    while (editor && editor->parentWidget() != viewport())
        editor = editor->parentWidget();
    if (!editor)
        return true;
    if (auto *number = qobject_cast<NumberEdit *>(editor); number && number->hasUnacceptedText() && !number->acceptInput())
        return false;
    commitData(editor);
    return true;
}

void DataGrid::setReadOnly(bool on)
{
    if (on && state() == QAbstractItemView::EditingState)
        closePersistentEditor(currentIndex());
    setEditTriggers(on ? QAbstractItemView::NoEditTriggers : m_editTriggers);
}

bool DataGrid::isReadOnly() const { return editTriggers() == QAbstractItemView::NoEditTriggers; }

void DataGrid::setMarkingAllowed(bool on)
{
    m_markingAllowed = on;
    if (!on)
        clearMarks();
}

bool DataGrid::allMarked() const
{
    if (!m_allMarked || !model() || !selectionModel())
        return false;
    const int rows = model()->rowCount(rootIndex());
    return rows > 0 && selectionModel()->selectedRows().size() == rows;
}

MarkedRows DataGrid::markedRows() const
{
    MarkedRows marked;
    if (!model() || !selectionModel())
        return marked;
    if (allMarked()) {
        marked.all = true;
        for (int r = 0; r < model()->rowCount(rootIndex()); ++r)
            marked.rows.append(r);
        return marked;
    }
    for (const QItemSelectionRange &range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            if (!marked.rows.contains(r))
                marked.rows.append(r);
    std::sort(marked.rows.begin(), marked.rows.end());
    return marked;
}

void DataGrid::markRow(int row, bool marked)
{
    if (!model() || !selectionModel() || !m_markingAllowed || row < 0 || row >= model()->rowCount(rootIndex()))
        return;
    selectionModel()->select(model()->index(row, 0, rootIndex()),
                             (marked ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

void DataGrid::clearMarks()
{
    if (selectionModel())
        selectionModel()->clearSelection();
    m_allMarked = false;
}

void DataGrid::selectAll()
{
    if (!model() || !selectionModel() || !m_markingAllowed)
        return;
    const int rows = model()->rowCount(rootIndex());
    const int columns = model()->columnCount(rootIndex());
    if (rows == 0 || columns == 0)
        return;
    m_markingAll = true;
    selectionModel()->select(QItemSelection(model()->index(0, 0, rootIndex()),
                                            model()->index(rows - 1, columns - 1, rootIndex())),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_markingAll = false;
    m_allMarked = true;
}

int DataGrid::currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

void DataGrid::setCurrentRow(int row)
{
    if (!model())
        return;
    if (row < 0 || row >= model()->rowCount(rootIndex())) {
        setCurrentIndex({});
        return;
    }
    int column = currentIndex().isValid() ? currentIndex().column() : -1;
    if (column < 0 || isColumnHidden(column)) {
        const QList<int> shown = shownColumns();
        column = shown.isEmpty() ? 0 : shown.first();
    }
    setCurrentIndex(model()->index(row, column, rootIndex()));
}

QList<int> DataGrid::columnWidths() const
{
    QList<int> widths;
    for (int logical : shownColumns())
        widths.append(columnWidth(logical));
    return widths;
}

void DataGrid::setColumnWidths(const QList<int> &widths)
{
    const QList<int> shown = shownColumns();
    for (int i = 0; i < shown.size() && i < widths.size(); ++i)
        if (widths.at(i) > 0)
            setColumnWidth(shown.at(i), widths.at(i));
}

QString DataGrid::columnWidthsText() const
{
    QStringList parts;
    for (int w : columnWidths())
        parts.append(QString::number(w));
    return parts.join(QLatin1Char(','));
}

void DataGrid::setColumnWidthsText(const QString &text)
{
    QList<int> widths;
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int w = part.trimmed().toInt(&ok);
        widths.append(ok && w > 0 && w < 10000 ? w : 0);
    }
    setColumnWidths(widths);
}

QItemSelectionModel::SelectionFlags DataGrid::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // Marks are the operator's own choice: Ctrl toggles a row, Shift extends
    // from the anchor. A plain click clears them; moving the current row does not.
    if (!m_markingAllowed || !event)
        return QItemSelectionModel::NoUpdate;
    Qt::KeyboardModifiers modifiers;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        modifiers = static_cast<const QMouseEvent *>(event)->modifiers();
        break;
    case QEvent::KeyPress:
        modifiers = static_cast<const QKeyEvent *>(event)->modifiers();
        break;
    default:
        return QItemSelectionModel::NoUpdate;
    }
    if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier))
        return QTableView::selectionCommand(index, event);
    if (event->type() == QEvent::MouseButtonPress)
        return QItemSelectionModel::Clear;
    return QItemSelectionModel::NoUpdate;
}

void DataGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    viewport()->update();
    if (current.row() != previous.row())
        Q_EMIT currentRowChanged(current.isValid() ? current.row() : -1);
}

void DataGrid::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_popup) {
        Q_EMIT popupRequested();
        m_popup->popup(event->globalPos());
        event->accept();
    } else {
        QTableView::contextMenuEvent(event);
    }
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    // New records come from the insert action, never from the grid's own keys.
    if (event->key() == Qt::Key_Insert) {
        event->ignore();
        return;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace kv
