#pragma once
// "Таблица проведения теста": the operator picks the row of the running test
// at which the run starts or resumes. OK leaves that row current in ADOTestBuf.

#include <QDialog>

class QPushButton;
class QTableView;

namespace kvintor {

class TDM;
class TestBufGridModel;

class TRegTable : public QDialog
{
    Q_OBJECT
public:
    explicit TRegTable(TDM &dm, QWidget *parent = nullptr);

    // "С выбранной точки" is offered (hidden in an automatic verification).
    void setSelectPointVisible(bool visible);

    QTableView *grid() const { return m_grid; }
    TestBufGridModel *model() const { return m_model; }
    QPushButton *Button1 = nullptr;  // "С первой точки"
    QPushButton *Button2 = nullptr;  // "С выбранной точки"
    QPushButton *Button3 = nullptr;  // "Отмена"

    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void selectCurrent();

    TDM &m_dm;
    QTableView *m_grid = nullptr;
    TestBufGridModel *m_model = nullptr;
};

}  // namespace kvintor
