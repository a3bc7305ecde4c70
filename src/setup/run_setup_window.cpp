#include "setup/run_setup_window.h"

#include "core/ui.h"
#include "setup/data_module.h"
#include "setup/run_setup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace kvintor {

TProgramm::TProgramm(RunSetup &setup, QWidget *parent) : QDialog(parent), m_setup(setup)
{
    setObjectName(QStringLiteral("Programm"));
    setWindowTitle(setup.caption);
    auto *root = new QVBoxLayout(this);
    auto *stands = new QHBoxLayout;
    root->addLayout(stands);

    for (int s = 1; s <= 5; ++s) {
        auto *group = new QGroupBox(QStringLiteral("Стенд №%1").arg(s), this);
        group->setObjectName(QStringLiteral("GroupBox%1").arg(s));
        GroupBox[s] = group;
        auto *grid = new QGridLayout(group);
        for (int p = 1; p <= 6; ++p) {
            const int box = (s - 1) * 6 + p;
            auto *c = new QCheckBox(QString::number(p), group);
            c->setObjectName(QStringLiteral("C%1").arg(box));
            c->setProperty("tag", s);
            C[box] = c;
            grid->addWidget(c, (p - 1) / 3, (p - 1) % 3);
            connect(c, &QCheckBox::clicked, this, [this, box](bool ticked) {
                m_setup.positionReleased(box, ticked);
                syncFromSetup();
            });
        }
        auto *all = new QCheckBox(QStringLiteral("Все"), group);
        all->setObjectName(QStringLiteral("CheckBox%1").arg(s * 7));
        CheckBoxAll[s] = all;
        grid->addWidget(all, 2, 0, 1, 3);
        connect(all, &QCheckBox::clicked, this, [this, s](bool ticked) {
            m_setup.allReleased(s, ticked);
            syncFromSetup();
        });

        grid->addWidget(new QLabel(QStringLiteral("Тип счетчика"), group), 3, 0, 1, 3);
        auto *lookup = new QComboBox(group);
        lookup->setObjectName(QStringLiteral("DBLookupComboboxEh%1").arg(s));
        lookup->setProperty("tag", s);
        DBLookupComboboxEh[s] = lookup;
        bindLookup(lookup, setup.dm().ADOTipStend(s), QStringLiteral("PTip"), QStringLiteral("PIdentificator"));
        grid->addWidget(lookup, 4, 0, 1, 3);
        connect(lookup, &QComboBox::activated, this, [this, s](int row) {
            m_setup.typeChosen(s, row);
            syncFromSetup();
        });

        grid->addWidget(new QLabel(QStringLiteral("Обозначение"), group), 5, 0, 1, 3);
        auto *designation = new QLineEdit(group);
        designation->setObjectName(QStringLiteral("DBEditEh%1").arg(s));
        designation->setReadOnly(true);
        DBEditEh[s] = designation;
        grid->addWidget(designation, 6, 0, 1, 3);

        auto *count = new QLabel(QStringLiteral("Количество оборотов"), group);
        count->setObjectName(QStringLiteral("LCount%1").arg(s));
        LCount[s] = count;
        grid->addWidget(count, 7, 0, 1, 3);
        auto *edit = new QLineEdit(kAutomatic, group);
        edit->setObjectName(QStringLiteral("Edit%1").arg(s));
        edit->setProperty("tag", s);
        edit->installEventFilter(this);
        Edit[s] = edit;
        grid->addWidget(edit, 8, 0, 1, 3);
        stands->addWidget(group);
    }

    auto *middle = new QHBoxLayout;
    root->addLayout(middle);
    LabelTest = new QLabel(QStringLiteral("Тест"), this);
    middle->addWidget(LabelTest);
    auto *test = new QComboBox(this);
    test->setObjectName(QStringLiteral("DBLookupComboboxEh6"));
    DBLookupComboboxEh[6] = test;
    bindLookup(test, setup.dm().ADOTest1, QStringLiteral("PNameTable"), QStringLiteral("PDescription"));
    middle->addWidget(test, 1);
    connect(test, &QComboBox::activated, this, [this](int row) {
        m_setup.testChosen(row);
        syncFromSetup();
    });

    RGAuto = new QGroupBox(QStringLiteral("Занести в протокол"), this);
    RGAuto->setObjectName(QStringLiteral("RGAuto"));
    auto *rg = new QVBoxLayout(RGAuto);
    RGAutoItems[0] = new QRadioButton(QStringLiteral("Автоматически"), RGAuto);
    RGAutoItems[1] = new QRadioButton(QStringLiteral("Вручную"), RGAuto);
    for (int i = 0; i < 2; ++i) {
        rg->addWidget(RGAutoItems[i]);
        connect(RGAutoItems[i], &QRadioButton::clicked, this, [this, i] { m_setup.RGAuto = i; });
    }
    middle->addWidget(RGAuto);

    PHandle = new QWidget(this);
    PHandle->setObjectName(QStringLiteral("PHandle"));
    auto *handle = new QGridLayout(PHandle);
    LabelRange1 = new QLabel(QStringLiteral("Предел по току"), PHandle);
    LabelRange2 = new QLabel(QStringLiteral("образцового счетчика"), PHandle);
    LabelWinding1 = new QLabel(QStringLiteral("Вторичная обмотка"), PHandle);
    LabelWinding2 = new QLabel(QStringLiteral("трансформатора тока"), PHandle);
    // Two exclusive pairs: each pair sits in its own box.
    auto *pair1 = new QWidget(PHandle);
    auto *pair1Layout = new QHBoxLayout(pair1);
    RadioButton1 = new QRadioButton(QStringLiteral("1A"), pair1);
    RadioButton2 = new QRadioButton(QStringLiteral("5A"), pair1);
    pair1Layout->addWidget(RadioButton1);
    pair1Layout->addWidget(RadioButton2);
    auto *pair2 = new QWidget(PHandle);
    auto *pair2Layout = new QHBoxLayout(pair2);
    RadioButton3 = new QRadioButton(QStringLiteral("1A"), pair2);
    RadioButton4 = new QRadioButton(QStringLiteral("2,5A"), pair2);
    pair2Layout->addWidget(RadioButton3);
    pair2Layout->addWidget(RadioButton4);
    handle->addWidget(LabelRange1, 0, 0);
    handle->addWidget(LabelRange2, 1, 0);
    handle->addWidget(pair1, 2, 0);
    handle->addWidget(LabelWinding1, 0, 1);
    handle->addWidget(LabelWinding2, 1, 1);
    handle->addWidget(pair2, 2, 1);
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        m_setup.RadioButton1 = on;
        m_setup.RadioButton2 = !on;
    });
    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) {
        m_setup.RadioButton3 = on;
        m_setup.RadioButton4 = !on;
    });
    middle->addWidget(PHandle);

    auto *buttons = new QHBoxLayout;
    root->addLayout(buttons);
    Button1 = new QPushButton(QStringLiteral("Начать"), this);
    Button2 = new QPushButton(QStringLiteral("Очистить"), this);
    Button3 = new QPushButton(QStringLiteral("Главное меню"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3->setObjectName(QStringLiteral("Button3"));
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    Button3->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (m_setup.Start())
            accept();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        m_setup.Clear();
        syncFromSetup();
    });
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);

    syncFromSetup();
}

void TProgramm::bindLookup(QComboBox *box, RecordTable *table, const QString &textField, const QString &secondField)
{
    auto *view = new QTableView(box);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    view->horizontalHeader()->hide();
    box->setModel(table);
    box->setView(view);
    box->view()->setMinimumWidth(300);
    box->setProperty("textField", textField);
    box->setProperty("secondField", secondField);
}

void TProgramm::syncFromSetup()
{
    const RunSetup &s = m_setup;
    setWindowTitle(s.caption);
    for (int st = 1; st <= 5; ++st) {
        const StandSetupRecord &r = s.StandSetup[st];
        GroupBox[st]->setEnabled(s.StandPresent[st]);
        for (int p = 1; p <= 6; ++p)
            C[(st - 1) * 6 + p]->setChecked(r.positions[p]);
        CheckBoxAll[st]->setChecked(r.all);
        DBEditEh[st]->setText(r.designation);
        LCount[st]->setVisible(s.revolutionsVisible);
        Edit[st]->setVisible(s.revolutionsVisible);
        if (Edit[st]->text() != r.revolutions)
            Edit[st]->setText(r.revolutions);
    }
    for (int i = 1; i <= 6; ++i) {
        QComboBox *box = DBLookupComboboxEh[i];
        auto *table = qobject_cast<RecordTable *>(box->model());
        if (!table)
            continue;
        const int textColumn = table->fieldIndex(box->property("textField").toString());
        const int secondColumn = table->fieldIndex(box->property("secondField").toString());
        if (textColumn >= 0)
            box->setModelColumn(textColumn);
        if (auto *view = qobject_cast<QTableView *>(box->view()))
            for (int c = 0; c < table->columnCount(); ++c)
                view->setColumnHidden(c, c != textColumn && c != secondColumn);
        const bool chosen = i == 6 ? !s.testText.isEmpty() : s.hasType(i);
        box->setCurrentIndex(chosen ? table->recNo() : -1);
    }
    LabelTest->setVisible(s.testVisible);
    DBLookupComboboxEh[6]->setVisible(s.testVisible);
    RGAuto->setVisible(s.autoVisible);
    RGAutoItems[s.RGAuto == 0 ? 0 : 1]->setChecked(true);
    PHandle->setVisible(s.handleVisible);
    LabelRange1->setVisible(s.handleReferenceMeter);
    LabelRange2->setVisible(s.handleReferenceMeter);
    RadioButton1->parentWidget()->setVisible(s.handleReferenceMeter);
    LabelWinding1->setVisible(!s.handleReferenceMeter);
    LabelWinding2->setVisible(!s.handleReferenceMeter);
    RadioButton3->parentWidget()->setVisible(!s.handleReferenceMeter);
    (s.RadioButton1 ? RadioButton1 : RadioButton2)->setChecked(true);
    (s.RadioButton3 ? RadioButton3 : RadioButton4)->setChecked(true);
    Button1->setEnabled(s.startEnabled);
}

int TProgramm::execModal()
{
    m_setup.FormShow();
    syncFromSetup();
    return kv::ui().execDialog(this);
}

void TProgramm::done(int result)
{
    m_setup.FormClose();
    QDialog::done(result);
}

bool TProgramm::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    const int stand = edit ? edit->property("tag").toInt() : 0;
    if (stand >= 1 && stand <= 5) {
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            QString text = key->text();
            if (key->key() == Qt::Key_Backspace)
                text = QString(QChar(8));
            else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                text = QString(QChar(13));
            if (text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
                return false;  // moving about stays the edit's business
            m_setup.revolutionKey(stand, text.at(0));
            syncFromSetup();
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            m_setup.revolutionExit(stand);
            syncFromSetup();
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kvintor
