#include "widgets/curves_window.h"

#include "widgets/curve_chart.h"
#include "widgets/file_dialogs.h"
#include "core/ui.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

const QString CurvesWindow::Caption = QStringLiteral("Кривые погрешности");

CurvesWindow::CurvesWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CurvesWindow"));
    setWindowTitle(Caption);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1100, 680);

    CBCurve = new QComboBox(this);
    CBCurve->setObjectName(QStringLiteral("CBCurve"));
    CBCurve->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    CBMeter = new QComboBox(this);
    CBMeter->setObjectName(QStringLiteral("CBMeter"));
    CBMeter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    LNote = new QLabel(this);
    LNote->setWordWrap(true);
    LNote->hide();

    ChartView = new QChartView(this);
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setMinimumSize(600, 400);
    MSpecial = new QPlainTextEdit(this);
    MSpecial->setObjectName(QStringLiteral("MSpecial"));
    MSpecial->setReadOnly(true);
    MSpecial->setMaximumWidth(260);

    BPng = new QPushButton(QStringLiteral("Сохранить PNG..."), this);
    BPdf = new QPushButton(QStringLiteral("Сохранить PDF..."), this);
    BPrint = new QPushButton(QStringLiteral("Печать..."), this);
    BClose = new QPushButton(QStringLiteral("Закрыть"), this);

    auto *choice = new QHBoxLayout;
    choice->addWidget(new QLabel(QStringLiteral("Кривая:"), this));
    choice->addWidget(CBCurve);
    choice->addSpacing(16);
    choice->addWidget(new QLabel(QStringLiteral("Выделить:"), this));
    choice->addWidget(CBMeter);
    choice->addStretch();

    auto *side = new QVBoxLayout;
    side->addWidget(new QLabel(QStringLiteral("Специальные испытания"), this));
    side->addWidget(MSpecial);
    auto *middle = new QHBoxLayout;
    middle->addWidget(ChartView, 1);
    middle->addLayout(side);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BPng);
    buttons->addWidget(BPdf);
    buttons->addWidget(BPrint);
    buttons->addStretch();
    buttons->addWidget(BClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    layout->addWidget(LNote);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);

    choosePrinter = [this](QPrinter &printer) {
        if (!QPrinterInfo::defaultPrinter().isNull())
            return true;
        QPrintDialog dialog(&printer, this);
        useNameOnlyIcons(&dialog);
        return execFileDialog(&dialog) == QDialog::Accepted;
    };

    connect(CBCurve, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_filling)
            return;
        m_filling = true;
        fillMeters();
        m_filling = false;
        redraw();
    });
    connect(CBMeter, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (!m_filling)
            redraw();
    });
    connect(BPng, &QPushButton::clicked, this, [this] { savePng(); });
    connect(BPdf, &QPushButton::clicked, this, [this] { savePdf(); });
    connect(BPrint, &QPushButton::clicked, this, [this] { print(); });
    connect(BClose, &QPushButton::clicked, this, &QDialog::close);
}

CurvesWindow::~CurvesWindow() = default;

int CurvesWindow::setIndex() const
{
    const QPoint at = CBCurve->currentData().toPoint();
    return CBCurve->currentIndex() < 0 ? -1 : at.x();
}

CurveKey CurvesWindow::group() const
{
    const int s = setIndex();
    const int g = CBCurve->currentData().toPoint().y();
    if (s < 0 || s >= m_sets.size() || g < 0 || g >= m_sets[s].groups.size())
        return {};
    return m_sets[s].groups[g];
}

int CurvesWindow::highlighted() const { return CBMeter->currentData().toInt(); }

void CurvesWindow::setSets(const QVector<CurveSet> &sets)
{
    const int oldSet = setIndex();
    const CurveKey oldGroup = group();
    const QString oldTitle = oldSet >= 0 && oldSet < m_sets.size() ? m_sets[oldSet].title() : QString();
    const int oldMeter = highlighted();

    m_sets = sets;
    m_filling = true;
    fillCurves();
    // The same curve of the same set, when it is still there.
    for (int i = 0; i < CBCurve->count(); ++i) {
        const QPoint at = CBCurve->itemData(i).toPoint();
        if (at.x() == oldSet && at.x() < m_sets.size() && m_sets[at.x()].title() == oldTitle
            && m_sets[at.x()].groups.value(at.y()) == oldGroup) {
            CBCurve->setCurrentIndex(i);
            break;
        }
    }
    fillMeters();
    const int meter = CBMeter->findData(oldMeter);
    if (meter >= 0)
        CBMeter->setCurrentIndex(meter);
    m_filling = false;
    redraw();
}

void CurvesWindow::showSet(int index)
{
    for (int i = 0; i < CBCurve->count(); ++i)
        if (CBCurve->itemData(i).toPoint().x() == index) {
            CBCurve->setCurrentIndex(i);
            return;
        }
}

void CurvesWindow::highlight(int position)
{
    const int at = CBMeter->findData(position);
    CBMeter->setCurrentIndex(at < 0 ? 0 : at);
}

void CurvesWindow::setNote(const QString &text)
{
    LNote->setText(text);
    LNote->setVisible(!text.isEmpty());
}

void CurvesWindow::fillCurves()
{
    CBCurve->clear();
    for (int s = 0; s < m_sets.size(); ++s) {
        const CurveSet &set = m_sets[s];
        for (int g = 0; g < set.groups.size(); ++g) {
            QString text = set.groups[g].text();
            if (m_sets.size() > 1)
                text = set.title() + QStringLiteral(": ") + text;
            CBCurve->addItem(text, QPoint(s, g));
        }
    }
}

void CurvesWindow::fillMeters()
{
    CBMeter->clear();
    CBMeter->addItem(QStringLiteral("нет"), 0);
    const int s = setIndex();
    QStringList special;
    if (s >= 0 && s < m_sets.size()) {
        for (const MeterCurves &m : m_sets[s].meters) {
            CBMeter->addItem(m.label(), m.position);
            const QStringList lines = specialTestLines(m.special);
            special << m.label() + QLatin1Char(':');
            if (lines.isEmpty())
                special << QStringLiteral("  не проводились");
            for (const QString &line : lines)
                special << QStringLiteral("  ") + line;
        }
    }
    MSpecial->setPlainText(special.join(QLatin1Char('\n')));
}

void CurvesWindow::redraw()
{
    const int s = setIndex();
    QChart *chart = s >= 0 && s < m_sets.size() ? makeCurveChart(m_sets[s], group(), highlighted()) : new QChart;
    if (s < 0) {
        chart->setTitle(QStringLiteral("Нет результатов для кривых погрешности"));
    }
    QChart *old = m_chart;
    m_chart = chart;
    ChartView->setChart(chart);
    delete old;
    BPng->setEnabled(s >= 0);
    BPdf->setEnabled(s >= 0);
    BPrint->setEnabled(s >= 0);
}

QString CurvesWindow::askPath(const char *name, const QString &filter, const QString &suffix)
{
    QFileDialog *dialog = makeFileDialog(this, QString::fromLatin1(name), Caption, true);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    const int result = execFileDialog(dialog);
    const QString path = result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()
                             ? dialog->selectedFiles().constFirst()
                             : QString();
    delete dialog;
    return path;
}

void CurvesWindow::savePng(const QString &path)
{
    save(path, "SDCurvesPng", QStringLiteral("Рисунок PNG (*.png)"), QStringLiteral("png"),
         [](QChart *chart, const QString &target) { return saveCurvesPng(chart, target); });
}

void CurvesWindow::savePdf(const QString &path)
{
    save(path, "SDCurvesPdf", QStringLiteral("Документ PDF (*.pdf)"), QStringLiteral("pdf"), saveCurvesPdf);
}

void CurvesWindow::save(const QString &path, const char *dialogName, const QString &filter, const QString &suffix,
                        const std::function<QString(QChart *, const QString &)> &write)
{
    const QString target = path.isEmpty() ? askPath(dialogName, filter, suffix) : path;
    if (target.isEmpty() || !m_chart)
        return;
    const QString error = write(m_chart, target);
    if (!error.isEmpty())
        ui().error(this, Caption, error);
}

void CurvesWindow::print()
{
    if (!m_chart)
        return;
    QPrinter printer(QPrinter::HighResolution);
    if (!choosePrinter || !choosePrinter(printer))
        return;
    const QString error = printCurves(m_chart, printer);
    if (!error.isEmpty())
        ui().error(this, Caption, error);
}

}  // namespace kv
