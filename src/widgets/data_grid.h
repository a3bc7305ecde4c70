#pragma once
// The data grid of both programs: a table over any item model with title
// buttons and sort marks, marked rows apart from the current row, in-place
// editing where allowed (never inserting from the keyboard), column kinds
// (check boxes, pick lists, numbers with ranges), column widths for the
// window-state store, and the shared pop-up menu.

#include "widgets/grid_columns.h"

#include <QHeaderView>
#include <QList>
#include <QPointer>
#include <QTableView>

#include <functional>

#include <QMenu>

namespace kv {

class FocusWatch;

enum class SortMark { None, Ascending, Descending };

// The mark a title gets when clicked: no mark or descending -> ascending,
// ascending -> descending.
SortMark nextSortMark(SortMark current);
// " ASC" / " DESC" order text after a field name ("PTip ASC").
QString orderText(const QString &field, SortMark mark);

// Rows the operator marked: every row (after "all"), some rows, or none (then
// record actions work on the current row).
struct MarkedRows {
    bool all = false;
    QList<int> rows;  // ascending; every row when `all`
    bool isEmpty() const { return !all && rows.isEmpty(); }
};

// Column titles that act as buttons and carry a sort mark each.
class GridHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit GridHeader(QWidget *parent = nullptr);
    SortMark mark(int section) const { return m_marks.value(section, SortMark::None); }
    void setMark(int section, SortMark mark);
    void clearMarks();

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    QHash<int, SortMark> m_marks;
};

class DataGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // Column kinds; unset columns are plain text.
    void setColumn(int column, const GridColumn &spec);
    GridColumn column(int column) const;
    GridDelegate *gridDelegate() const { return m_delegate; }
    // Shows only these model columns, in this order, with these titles, each
    // as wide as its title and the texts of the first rows (stored widths
    // replace these later).
    void showColumns(const QList<int> &columns, const QStringList &titles);
    QList<int> shownColumns() const;
    void fitColumn(int logical);

    // The text a cell shows.
    QString cellText(int row, int column) const;

    // Title buttons: clicking a title emits titleClicked. With sorting on
    // title click, the grid also cycles the title's mark and sorts: through
    // the sort handler when one is set (it may refuse, e.g. when an edited
    // record cannot be posted first; the mark then stays), else model()->sort.
    using SortHandler = std::function<bool(int column, SortMark mark)>;
    void setTitleButtons(bool on);
    bool titleButtons() const;
    void setSortOnTitleClick(bool on) { m_sortOnClick = on; }
    void setSortHandler(SortHandler handler) { m_sortHandler = std::move(handler); }
    GridHeader *titles() const { return m_header; }
    SortMark sortMark(int column) const { return m_header->mark(column); }
    void setSortMark(int column, SortMark mark) { m_header->setMark(column, mark); }
    // What a click on the title does: the next mark applied; returns the
    // title's mark afterwards.
    SortMark clickTitle(int column);

    // Puts the text of an open in-place editor into the record (the editor
    // stays open); false when the editor refused its text.
    bool commitEdit();

    // In-place editing (false: the grid only shows and marks).
    void setReadOnly(bool on);
    bool isReadOnly() const;

    // Marking.
    void setMarkingAllowed(bool on);
    bool markingAllowed() const { return m_markingAllowed; }
    MarkedRows markedRows() const;
    bool allMarked() const;
    void markRow(int row, bool marked = true);
    void clearMarks();
    void selectAll() override;  // marks every row

    // The current row (-1: none).
    int currentRow() const;
    void setCurrentRow(int row);

    // Column widths in shown order, as numbers and as the store keeps them ("120,80").
    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int> &widths);
    QString columnWidthsText() const;
    void setColumnWidthsText(const QString &text);

    // The shared table pop-up menu (not owned: the main window supplies it).
    void setPopupMenu(QMenu *menu) { m_popup = menu; }
    QMenu *popupMenu() const { return m_popup; }

Q_SIGNALS:
    void titleClicked(int column);
    // The operator moved into the grid (or its in-place editor) / out of it to
    // another control of the window.
    void entered();
    void left();
    // The pop-up menu is about to open over this grid.
    void popupRequested();
    void currentRowChanged(int row);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onTitleClicked(int column);

    GridHeader *m_header;
    GridDelegate *m_delegate;
    FocusWatch *m_focus;
    QPointer<QMenu> m_popup;
    SortHandler m_sortHandler;
    bool m_sortOnClick = false;
    bool m_markingAllowed = true;
    bool m_allMarked = false;
    bool m_markingAll = false;
    QAbstractItemView::EditTriggers m_editTriggers;
};

}  // namespace kv
