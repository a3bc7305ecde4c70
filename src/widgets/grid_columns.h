#pragma once
// How a data grid shows and edits each column: plain text, numbers with a
// range, check boxes for yes/no fields, and code fields shown as texts with a
// pick list.

#include "widgets/code_box.h"
#include "widgets/number_editors.h"

#include <QHash>
#include <QStyledItemDelegate>

namespace kv {

struct GridColumn {
    enum class Kind { Text, Number, Check, Codes };

    Kind kind = Kind::Text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool readOnly = false;
    int maxLength = 0;  // text columns; 0 = no limit
    NumberRange range;  // number columns; an unbounded range only checks the number
    CodeList codes;     // code columns

    static GridColumn text(int maxLength = 0);
    static GridColumn number(const NumberRange &range = {});
    static GridColumn check();
    static GridColumn pickList(const CodeList &codes);

    GridColumn &centred();
    GridColumn &rightAligned();
    GridColumn &noEdit();
};

// The one delegate of a data grid; it looks up each cell's column.
class GridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit GridDelegate(QObject *parent = nullptr);

    void setColumn(int column, const GridColumn &spec);
    GridColumn column(int column) const;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

    // The text a cell shows (a check cell: "Да" or "Нет"), for writing the
    // grid out as a file or on paper.
    QString shownText(const QModelIndex &index) const;

    // Where the check box of a check cell is drawn.
    static QRect checkRect(const QStyleOptionViewItem &option);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    bool editable(const QStyleOptionViewItem &option, const QModelIndex &index) const;

    QHash<int, GridColumn> m_columns;
};

// Yes/no as a grid or a record holds it (a stored integer 0/1, or a bool).
bool isTicked(const QVariant &value);

}  // namespace kv
