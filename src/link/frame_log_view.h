#pragma once
// Shows the frame log in the hidden diagnostic boxes of the main and the run
// window. Laying out a line of text costs far more than receiving its frame:
// a line appended per frame made a line flooded with noise cost a whole core.
// So lines are kept (the newest maxLines) and put into the box together, at
// most five times a second and only while the box is shown; the work per
// frame is keeping its line.

#include <QObject>
#include <QStringList>
#include <QTimer>

class QLineEdit;
class QPlainTextEdit;

namespace kvintor {

class FrameLogView : public QObject
{
public:
    // echo: the single-line box showing the newest line, or null. Both are
    // owned by the caller and outlive this object (make it their child).
    FrameLogView(QPlainTextEdit *memo, QLineEdit *echo, int maxLines, QObject *parent);

    void Append(const QString &line);
    // Puts what is kept into the boxes now, shown or not.
    void Flush();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPlainTextEdit *m_memo;
    QLineEdit *m_echo;
    int m_maxLines;
    QStringList m_pending;
    // More lines came than are kept: the box is replaced, not appended to.
    bool m_overflowed = false;
    QTimer m_timer;
};

}  // namespace kvintor
