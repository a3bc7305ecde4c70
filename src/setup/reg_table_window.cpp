#include "setup/reg_table_window.h"

#include "setup/data_module.h"
#include "setup/test_table.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace kvintor {

TRegTable::TRegTable(TDM &dm, QWidget *parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("RegTable"));
    setWindowTitle(QStringLiteral("Таблица проведения теста"));
    // No system menu: the buttons are the only ways out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto *root = new QVBoxLayout(this);
    m_grid = new QTableView(this);
    m_model = new TestBufGridModel(dm.ADOTestBuf, this);
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->verticalHeader()->hide();
    root->addWidget(m_grid);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    m_dm.ADOTestBuf->setCurrent(current.row());
            });

    auto *buttons = new QHBoxLayout;
    root->addLayout(buttons);
    Button1 = new QPushButton(QStringLiteral("С первой точки"), this);
    Button2 = new QPushButton(QStringLiteral("С выбранной точки"), this);
    Button3 = new QPushButton(QStringLiteral("Отмена"), this);
    for (QPushButton *b : {Button1, Button2, Button3}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(Button1, &QPushButton::clicked, this, &TRegTable::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TRegTable::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TRegTable::Button3Click);
    resize(900, 420);
}

void TRegTable::setSelectPointVisible(bool visible)
{
    Button2->setVisible(visible);
}

void TRegTable::selectCurrent()
{
    const int row = m_dm.ADOTestBuf->recNo();
    if (row >= 0)
        m_grid->selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TRegTable::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_grid->resizeColumnsToContents();
    selectCurrent();
}

void TRegTable::Button1Click()
{
    m_dm.ADOTestBuf->first();
    accept();
}

void TRegTable::Button2Click()
{
    accept();
}

void TRegTable::Button3Click()
{
    reject();
}

}  // namespace kvintor
