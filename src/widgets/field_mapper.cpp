#include "widgets/field_mapper.h"

#include "widgets/code_box.h"
#include "widgets/grid_columns.h"
#include "widgets/number_editors.h"

#include <QCheckBox>
#include <QLineEdit>

namespace kv {

void FieldDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant value = index.data(Qt::EditRole);
    if (auto *edit = qobject_cast<NumberEdit *>(editor))
        edit->setValue(value);
    else if (auto *box = qobject_cast<CodeBox *>(editor))
        box->setCode(value);
    else if (auto *check = qobject_cast<QCheckBox *>(editor))
        check->setChecked(isTicked(value));
    else if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setText(value.toString());
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void FieldDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    // Only a real change touches the record, so leaving an untouched editor
    // never puts the record into edit.
    const QVariant old = index.data(Qt::EditRole);
    if (auto *edit = qobject_cast<NumberEdit *>(editor)) {
        if (edit->hasUnacceptedText() && !edit->acceptInput())
            return;
        if (!sameNumber(edit->value(), old))
            model->setData(index, edit->value());
    } else if (auto *box = qobject_cast<CodeBox *>(editor)) {
        const QVariant code = box->code();
        if (code.isValid() && (old.isNull() || code.toInt() != old.toInt()))
            model->setData(index, code);
    } else if (auto *check = qobject_cast<QCheckBox *>(editor)) {
        if (check->isChecked() != isTicked(old) || old.isNull())
            model->setData(index, old.typeId() == QMetaType::Bool ? QVariant(check->isChecked())
                                                                  : QVariant(check->isChecked() ? 1 : 0));
    } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        if (line->text() != old.toString())
            model->setData(index, line->text());
    } else {
        QStyledItemDelegate::setModelData(editor, model, index);
    }
}

FieldMapper::FieldMapper(QObject *parent) : QDataWidgetMapper(parent)
{
    setItemDelegate(new FieldDelegate(this));
    setSubmitPolicy(QDataWidgetMapper::AutoSubmit);
}

void FieldMapper::addField(QWidget *editor, int column)
{
    addMapping(editor, column);
    if (auto *box = qobject_cast<CodeBox *>(editor))
        connect(box, &CodeBox::codeChosen, this, [this, box] { commit(box); });
    else if (auto *check = qobject_cast<QCheckBox *>(editor))
        connect(check, &QCheckBox::clicked, this, [this, check] { commit(check); });
}

void FieldMapper::commit(QWidget *editor)
{
    const int column = mappedSection(editor);
    if (!model() || column < 0 || currentIndex() < 0)
        return;
    const QModelIndex index = orientation() == Qt::Horizontal ? model()->index(currentIndex(), column, rootIndex())
                                                              : model()->index(column, currentIndex(), rootIndex());
    itemDelegate()->setModelData(editor, model(), index);
}

bool FieldMapper::commitAll()
{
    bool ok = true;
    if (!model() || currentIndex() < 0)
        return ok;
    for (int column = 0; column < model()->columnCount(rootIndex()); ++column) {
        QWidget *editor = mappedWidgetAt(column);
        if (auto *edit = qobject_cast<NumberEdit *>(editor)) {
            if (edit->hasUnacceptedText() && !edit->acceptInput()) {
                ok = false;
                continue;
            }
        }
        if (editor)
            commit(editor);
    }
    return ok;
}

void FieldMapper::clearEditors()
{
    if (!model())
        return;
    for (int column = 0; column < model()->columnCount(rootIndex()); ++column) {
        QWidget *editor = mappedWidgetAt(column);
        if (auto *edit = qobject_cast<NumberEdit *>(editor))
            edit->setValue({});
        else if (auto *box = qobject_cast<CodeBox *>(editor))
            box->setCode({});
        else if (auto *check = qobject_cast<QCheckBox *>(editor))
            check->setChecked(false);
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->clear();
    }
}

}  // namespace kv
