#include "reference/archive_curves_view.h"

#include "core/ui.h"

#include <QSqlQuery>

namespace basekvintor {

const QString ArchiveCurves::NoNumbersText =
    QStringLiteral("В результате запроса нет номеров счетчиков. Отметьте в запросе поле «Номер» и выполните его снова.");
const QString ArchiveCurves::NothingText = QStringLiteral("Нет счетчиков для кривых погрешности.");

QString ArchiveCurves::TooManyText(int found)
{
    return QStringLiteral("Найдено счетчиков: ") + QString::number(found) + QStringLiteral(". Показаны кривые первых ")
           + QString::number(kMaxMeters) + QStringLiteral(".");
}

ArchiveCurves::ArchiveCurves(QSqlDatabase db, QWidget *windowParent, QObject *parent)
    : QObject(parent), m_db(std::move(db)), m_windowParent(windowParent)
{
}

ArchiveCurves::~ArchiveCurves()
{
    delete m_window.data();
}

bool ArchiveCurves::failed(const QString &error)
{
    kv::ui().error(m_windowParent, kv::CurvesWindow::Caption, error);
    return false;
}

bool ArchiveCurves::show(const QVector<kv::CurveSet> &sets, int highlight, const QString &note)
{
    if (!m_window) {
        m_window = new kv::CurvesWindow(m_windowParent);
        m_window->setWindowFlag(Qt::Window);
    }
    m_window->setSets(sets);
    m_window->showSet(0);
    m_window->highlight(highlight);
    m_window->setNote(note);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return true;
}

bool ArchiveCurves::ShowRecord(qint64 measure, qint64 position)
{
    if (measure == 0)
        return failed(NothingText);
    kv::CurveSet set;
    QString error;
    if (!kv::ReadArchiveCurves(m_db, measure, {}, &set, &error))
        return failed(error);
    // The highlight goes by the meter's place on the stands.
    int place = 0;
    if (position != 0) {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT PPosition FROM TPositionCH WHERE PIndex = ?"));
        q.addBindValue(position);
        if (q.exec() && q.next())
            place = q.value(0).toInt();
    }
    return show({set}, place, {});
}

bool ArchiveCurves::ShowMeter(qint64 measure, qint64 position)
{
    if (measure == 0 || position == 0)
        return failed(NothingText);
    kv::CurveSet set;
    QString error;
    if (!kv::ReadArchiveCurves(m_db, measure, {position}, &set, &error))
        return failed(error);
    if (set.meters.isEmpty())
        return failed(QStringLiteral("Счетчик не найден в архиве: возможно, его удалили."));
    return show({set}, set.meters[0].position, {});
}

bool ArchiveCurves::ShowNumbers(const QStringList &numbers)
{
    if (numbers.isEmpty())
        return failed(NothingText);
    QVector<kv::ArchiveMeterRef> meters;
    int total = 0;
    QString error;
    if (!kv::FindArchiveMeters(m_db, numbers, kMaxMeters, &meters, &total, &error))
        return failed(error);
    if (meters.isEmpty())
        return failed(NothingText);
    QVector<kv::CurveSet> sets;
    if (!kv::ReadArchiveCurves(m_db, meters, &sets, &error))
        return failed(error);
    QString note;
    if (total > kMaxMeters) {
        note = TooManyText(total);
        kv::ui().information(m_windowParent, kv::CurvesWindow::Caption, note);
    }
    return show(sets, 0, note);
}

}  // namespace basekvintor
