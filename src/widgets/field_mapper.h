#pragma once
// Field editors bound to the current record of a model (the panel beside a
// grid). A typed value reaches the record when its editor is left; a list
// choice or a check box click reaches it at once. Number editors refuse values
// out of their range with their own message, and then the record keeps its value.

#include <QDataWidgetMapper>
#include <QStyledItemDelegate>

namespace kv {

class FieldDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
};

class FieldMapper : public QDataWidgetMapper
{
    Q_OBJECT
public:
    explicit FieldMapper(QObject *parent = nullptr);

    // Binds an editor (NumberEdit, CodeBox, QCheckBox, QLineEdit) to a column.
    void addField(QWidget *editor, int column);
    // Writes one editor's value into the record now.
    void commit(QWidget *editor);
    // Writes every editor holding typed text that the record has not got yet;
    // false when an editor refused its text.
    bool commitAll();
    // Empties every editor (no current record).
    void clearEditors();
};

}  // namespace kv
