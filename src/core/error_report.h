#pragma once
// The general error report: an error that an operation does not catch is shown
// in a box with its own text, and the program goes on.

#include <QApplication>
#include <QString>

#include <exception>
#include <stdexcept>

namespace kv {

// An operation's failure carrying the text the operator should read.
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

// Shows the error's text in an error box (caption: the application's name).
void reportError(const std::exception &error);
void reportError(const QString &text);

// Runs f and reports any error it throws; returns false when it threw.
template <typename F>
bool guarded(F &&f)
{
    try {
        f();
        return true;
    } catch (const std::exception &e) {
        reportError(e);
    } catch (...) {
        reportError(QStringLiteral("Неизвестная ошибка"));
    }
    return false;
}

// An application whose event handlers' uncaught errors reach the general error report.
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

}  // namespace kv
