#include "reference/types_editor.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "reference/data_module.h"

namespace basekvintor {

QString unitLabelText(const QVariant &unitCode, const QString &previous)
{
    const int code = unitCode.isNull() ? 0 : unitCode.toInt();
    switch (code) {
    case 0:
    case 1:
        return QStringLiteral("(имп/кВт(кВар)*час)");
    case 2:
        return QStringLiteral("(кВт(кВар)*час/имп)");
    case 3:
        return QStringLiteral("(Вт(Вар)*сек/имп)");
    default:
        return previous;
    }
}

TypesEditor::TypesEditor(TDM *dm, QObject *parent) : QObject(parent), m_dm(dm), m_cursor(dm->ADOTip, this)
{
    m_unitLabel = unitLabelText(0, {});
    // The label follows the record as it is edited, before it is written.
    connect(dm->ADOTip, &QAbstractItemModel::dataChanged, this, &TypesEditor::updateUnitLabel);
    connect(dm->ADOTip, &QAbstractItemModel::modelReset, this, &TypesEditor::updateUnitLabel);
    connect(&m_cursor, &RecordCursor::rowChanged, this, &TypesEditor::updateUnitLabel);
}

void TypesEditor::FormCreate() { orderBy(QStringLiteral("PTip"), kv::SortMark::Ascending); }

bool TypesEditor::orderBy(const QString &field, kv::SortMark mark)
{
    if (!m_cursor.post())
        return false;
    if (!m_dm->ADOTip->setOrder(kv::orderText(field, mark)))
        return false;
    m_dm->ADOTip->select();
    return true;
}

QString TypesEditor::order() const { return m_dm->ADOTip->order(); }

void TypesEditor::updateUnitLabel()
{
    TDataSet *set = m_dm->ADOTip;
    const int row = m_cursor.row();
    const QVariant code = row >= 0 && row < set->rowCount()
                              ? set->data(set->index(row, set->fieldIndex(QStringLiteral("PIdentReductRate"))))
                              : QVariant(0);
    const QString text = unitLabelText(code, m_unitLabel);
    if (text != m_unitLabel) {
        m_unitLabel = text;
        Q_EMIT unitLabelChanged(text);
    }
}

DeleteResult TypesEditor::DataSetDelete1Execute(const QList<int> &rows, QWidget *parent)
{
    if (rows.isEmpty())
        return {};
    if (kv::ui().question(parent, kDeleteCaption, kDeleteQuestion) != QMessageBox::Yes)
        return {};
    QSqlDatabase db = m_dm->database();
    return deleteUnlessUsed(m_cursor, rows, [db](qint64 key) { return archiveUsesTip(db, key); }, kTipUsed,
                            parent, runInProgressRefusal(db, kv::ClaimKind::Tip));
}

}  // namespace basekvintor
