#include "link/frame_log_view.h"

#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>

namespace kvintor {

FrameLogView::FrameLogView(QPlainTextEdit *memo, QLineEdit *echo, int maxLines, QObject *parent)
    : QObject(parent), m_memo(memo), m_echo(echo), m_maxLines(std::max(1, maxLines))
{
    m_memo->setMaximumBlockCount(m_maxLines);
    m_memo->installEventFilter(this);
    m_timer.setSingleShot(true);
    m_timer.setInterval(200);
    connect(&m_timer, &QTimer::timeout, this, &FrameLogView::Flush);
}

void FrameLogView::Append(const QString &line)
{
    m_pending.append(line);
    if (m_pending.size() > m_maxLines) {
        m_pending.removeFirst();
        m_overflowed = true;
    }
    if (m_memo->isVisible() && !m_timer.isActive())
        m_timer.start();
}

void FrameLogView::Flush()
{
    m_timer.stop();
    if (m_pending.isEmpty())
        return;
    if (m_overflowed)
        m_memo->setPlainText(m_pending.join(QLatin1Char('\n')));
    else
        m_memo->appendPlainText(m_pending.join(QLatin1Char('\n')));
    if (m_echo)
        m_echo->setText(m_pending.last());
    m_pending.clear();
    m_overflowed = false;
}

bool FrameLogView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_memo && event->type() == QEvent::Show)
        Flush();
    return QObject::eventFilter(watched, event);
}

}  // namespace kvintor
