#pragma once
// TFCurrent, "Предписание": tells the operator to switch the current off
// before a register test starts and after it ends. Closed only by "Готово".

#include <QDialog>

class QLabel;
class QPushButton;

namespace kvintor {

class TFCurrent : public QDialog
{
    Q_OBJECT
public:
    explicit TFCurrent(QWidget *parent = nullptr);

    // The start text (false) or the end text (true).
    void ShowText(bool end);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Button1 = nullptr;  // "Готово"
};

}  // namespace kvintor
