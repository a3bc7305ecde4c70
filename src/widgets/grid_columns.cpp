#include "widgets/grid_columns.h"

#include "widgets/character_limit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

namespace kv {

bool isTicked(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return false;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString t = value.toString().trimmed().toLower();
        return !(t.isEmpty() || t == QLatin1String("0") || t == QLatin1String("false"));
    }
    return value.toDouble() != 0;
}

GridColumn GridColumn::text(int maxLength)
{
    GridColumn c;
    c.maxLength = maxLength;
    return c;
}

GridColumn GridColumn::number(const NumberRange &range)
{
    GridColumn c;
    c.kind = Kind::Number;
    c.range = range;
    c.alignment = Qt::AlignRight | Qt::AlignVCenter;
    return c;
}

GridColumn GridColumn::check()
{
    GridColumn c;
    c.kind = Kind::Check;
    c.alignment = Qt::AlignCenter;
    return c;
}

GridColumn GridColumn::pickList(const CodeList &codes)
{
    GridColumn c;
    c.kind = Kind::Codes;
    c.codes = codes;
    return c;
}

GridColumn &GridColumn::centred()
{
    alignment = Qt::AlignCenter;
    return *this;
}

GridColumn &GridColumn::rightAligned()
{
    alignment = Qt::AlignRight | Qt::AlignVCenter;
    return *this;
}

GridColumn &GridColumn::noEdit()
{
    readOnly = true;
    return *this;
}

GridDelegate::GridDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

void GridDelegate::setColumn(int column, const GridColumn &spec) { m_columns.insert(column, spec); }

GridColumn GridDelegate::column(int column) const { return m_columns.value(column); }

bool GridDelegate::editable(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (column(index.column()).readOnly || !(index.flags() & Qt::ItemIsEditable))
        return false;
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    return !view || view->editTriggers() != QAbstractItemView::NoEditTriggers;
}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    const GridColumn spec = column(index.column());
    if (spec.readOnly)
        return nullptr;
    switch (spec.kind) {
    case GridColumn::Kind::Check:
        return nullptr;  // ticked in place by a click or the space bar
    case GridColumn::Kind::Codes: {
        auto *box = new CodeBox(spec.codes, parent);
        // A chosen item goes to the record at once, as a pick list does.
        connect(box, &CodeBox::codeChosen, this, [this, box] { Q_EMIT const_cast<GridDelegate *>(this)->commitData(box); });
        return box;
    }
    case GridColumn::Kind::Number: {
        auto *edit = new NumberEdit(spec.range, parent);
        edit->setFrame(false);
        edit->setAlignment(spec.alignment);
        return edit;
    }
    case GridColumn::Kind::Text: {
        auto *edit = new QLineEdit(parent);
        edit->setFrame(false);
        if (spec.maxLength > 0)
            kv::limitCharacters(edit, spec.maxLength);
        return edit;
    }
    }
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant value = index.data(Qt::EditRole);
    if (auto *box = qobject_cast<CodeBox *>(editor))
        box->setCode(value);
    else if (auto *edit = qobject_cast<NumberEdit *>(editor))
        edit->setValue(value);
    else if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setText(value.toString());
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *box = qobject_cast<CodeBox *>(editor)) {
        const QVariant code = box->code();
        if (code.isValid() && code != index.data(Qt::EditRole))
            model->setData(index, code);
    } else if (auto *edit = qobject_cast<NumberEdit *>(editor)) {
        if (edit->hasUnacceptedText() && !edit->acceptInput())
            return;  // refused with the editor's message; the record keeps its value
        if (!sameNumber(edit->value(), index.data(Qt::EditRole)))
            model->setData(index, edit->value());
    } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        if (line->text() != index.data(Qt::EditRole).toString())
            model->setData(index, line->text());
    } else {
        QStyledItemDelegate::setModelData(editor, model, index);
    }
}

void GridDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const GridColumn spec = column(index.column());
    option->displayAlignment = spec.alignment;
    const QVariant value = index.data(Qt::EditRole);
    switch (spec.kind) {
    case GridColumn::Kind::Codes:
        option->text = codeText(spec.codes, value);
        break;
    case GridColumn::Kind::Number:
        if (spec.range.decimals > 0 || spec.range.bounded())
            option->text = numberText(value, spec.range);
        break;
    case GridColumn::Kind::Check:
        option->text.clear();
        break;
    case GridColumn::Kind::Text:
        break;
    }
    // The current row stays visible apart from the marked rows.
    const auto *view = qobject_cast<const QAbstractItemView *>(option->widget);
    if (view && view->currentIndex().row() == index.row() && !(option->state & QStyle::State_Selected)) {
        QColor tint = option->palette.color(QPalette::Highlight);
        tint.setAlpha(48);
        option->backgroundBrush = tint;
    }
}

QString GridDelegate::shownText(const QModelIndex &index) const
{
    if (column(index.column()).kind == GridColumn::Kind::Check)
        return isTicked(index.data(Qt::EditRole)) ? QStringLiteral("Да") : QStringLiteral("Нет");
    QStyleOptionViewItem option;
    initStyleOption(&option, index);
    return option.text;
}

QRect GridDelegate::checkRect(const QStyleOptionViewItem &option)
{
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    QStyleOptionButton box;
    const QRect indicator = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, option.widget);
    QRect r(QPoint(0, 0), indicator.size());
    r.moveCenter(option.rect.center());
    return r;
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (column(index.column()).kind != GridColumn::Kind::Check)
        return;
    QStyleOptionViewItem check = option;
    initStyleOption(&check, index);
    check.rect = checkRect(option);
    check.state &= ~QStyle::State_HasFocus;
    check.state |= isTicked(index.data(Qt::EditRole)) ? QStyle::State_On : QStyle::State_Off;
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, option.widget);
}

bool GridDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                               const QModelIndex &index)
{
    if (column(index.column()).kind != GridColumn::Kind::Check)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    bool toggle = false;
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        toggle = mouse->button() == Qt::LeftButton && checkRect(option).adjusted(-2, -2, 2, 2).contains(mouse->position().toPoint());
        break;
    }
    case QEvent::MouseButtonDblClick:
        return true;  // no text editor on a check cell
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        toggle = key == Qt::Key_Space || key == Qt::Key_Select;
        break;
    }
    default:
        break;
    }
    if (!toggle || !editable(option, index))
        return false;
    const QVariant old = index.data(Qt::EditRole);
    const bool ticked = !isTicked(old);
    const QVariant value = old.typeId() == QMetaType::Bool ? QVariant(ticked) : QVariant(ticked ? 1 : 0);
    return model->setData(index, value, Qt::EditRole);
}

}  // namespace kv
