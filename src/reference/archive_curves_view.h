#pragma once
// The database program's "Кривые погрешности": the curves of an archived
// record (its meters overlaid, the current one highlighted), of one meter, or
// of the meters a query found (by their serial numbers, up to kMaxMeters).
// One window, made on first use and kept; every call reads the archive again.

#include "protocols/archive_curves.h"
#include "widgets/curves_window.h"

#include <QObject>
#include <QPointer>
#include <QSqlDatabase>

namespace basekvintor {

class ArchiveCurves : public QObject
{
    Q_OBJECT
public:
    // More meters than this make a chart nobody can read.
    static constexpr int kMaxMeters = 30;
    // "Найдено счетчиков: N. Показаны кривые первых 30."
    static QString TooManyText(int found);
    static const QString NoNumbersText;
    static const QString NothingText;

    // `db` is read at every showing; `windowParent` owns the window.
    ArchiveCurves(QSqlDatabase db, QWidget *windowParent, QObject *parent = nullptr);
    ~ArchiveCurves() override;

    // Every meter of the record; `position` (PIndex of TPositionCH) highlighted when not 0.
    bool ShowRecord(qint64 measure, qint64 position);
    // Only that meter.
    bool ShowMeter(qint64 measure, qint64 position);
    // The meters with these numbers, oldest record first; beyond kMaxMeters a
    // message says how many were left out.
    bool ShowNumbers(const QStringList &numbers);

    kv::CurvesWindow *Window() const { return m_window; }

private:
    bool show(const QVector<kv::CurveSet> &sets, int highlight, const QString &note);
    bool failed(const QString &error);

    QSqlDatabase m_db;
    QPointer<QWidget> m_windowParent;
    QPointer<kv::CurvesWindow> m_window;
};

}  // namespace basekvintor
