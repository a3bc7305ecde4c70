#pragma once
// The database program's main window: a multi-document frame holding the
// child windows, the main actions and menus, the rule by which the maximized
// child decides the available actions, the current grid of the table actions,
// window placement, help, and the protocol data panel.

#include "shell/shell_rules.h"

#include <QList>

#include <functional>
#include <QMainWindow>
#include <QPointer>
#include <QMdiSubWindow>

class QAbstractItemView;
class QAction;
class QMdiArea;
class QMenu;

namespace basekvintor {

class TChildForm;
class TSFDataProt;
class TDM;

class TFExpert : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFExpert(QWidget *parent = nullptr);  // FormCreate
    ~TFExpert() override;

    // Puts a child window into the frame and restores its stored placement
    // (or its initial state). Returns its frame window.
    QMdiSubWindow *addChild(TChildForm *child);
    QList<TChildForm *> children() const;
    TChildForm *child(const QString &formName) const;
    QMdiSubWindow *frameOf(const TChildForm *child) const;
    TChildForm *activeChild() const;
    // Maximizes a child and makes it the active one.
    void maximizeChild(TChildForm *child);
    // Stores the placement of every child (done when the program ends).
    void storePlacements() const;

    QMdiArea *mdiArea() const { return m_mdi; }
    const ShellState &state() const { return m_state; }

    // The grid the table actions work on, or null.
    QAbstractItemView *currentGrid() const;
    // The shared pop-up menu of every data grid.
    QMenu *TBPopupMenu1() const { return m_popup; }
    // Gives a grid the shared pop-up menu.
    void attachTablePopup(QAbstractItemView *grid);

    QAction *action(MainAction a) const;
    QAction *AImportTip = nullptr;
    QAction *AImportTest = nullptr;
    QAction *ASelect = nullptr;
    QAction *AGReportXL = nullptr;
    QAction *AReportXl = nullptr;
    QAction *ASelectAll = nullptr;
    QAction *AExport = nullptr;
    QAction *ASaveAS = nullptr;
    QAction *APrint = nullptr;
    QAction *APrintView = nullptr;
    QMenu *windowMenu() const { return m_windowMenu; }
    QMenu *TBActionsTable() const { return m_tableMenu; }
    // What an action did (rows written, added, skipped), in the status line.
    void showStatus(const QString &text);
    QString statusText() const;
    // Refills "Окно" with the child windows (done each time it opens).
    void rebuildWindowMenu();

    // The protocol builders of the archive's current record and meter. The
    // actions run them only when the archive list (and, for a single
    // protocol, the meter list) holds a record; otherwise they do nothing.
    using ProtocolBuilder = std::function<void()>;
    void setGroupProtocolBuilder(ProtocolBuilder builder) { m_groupBuilder = std::move(builder); }
    void setSingleProtocolBuilder(ProtocolBuilder builder) { m_singleBuilder = std::move(builder); }
    void AGReportXLExecute();
    void AReportXlExecute();

    TSFDataProt *SFDataProt() const { return m_dataProt; }
    void TBItem14Click();  // "Настройки" → "Данные для протокола"
    void TBItem6Click();   // "О программе"
    // F1: the help topic of the active child window.
    void showHelpOfActiveChild();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createMenus();
    void applyState();
    void childPositionChanged(QMdiSubWindow *frame);
    void runBuilder(const ProtocolBuilder &builder);
    // Maximized and active, the others restored, without the activation handler
    // maximizing again.
    void maximizeFrame(QMdiSubWindow *frame);
    void restoreOthers(QMdiSubWindow *maximized);

    QMdiArea *m_mdi;
    ShellState m_state;
    QMenu *m_windowMenu = nullptr;
    QMenu *m_tableMenu = nullptr;
    QMenu *m_popup = nullptr;
    TSFDataProt *m_dataProt = nullptr;
    QList<QMdiSubWindow *> m_frames;
    QPointer<QMdiSubWindow> m_lastActive;
    ProtocolBuilder m_groupBuilder;
    ProtocolBuilder m_singleBuilder;
    bool m_ending = false;
    bool m_switching = false;
};

// The program's main window while it exists.
extern TFExpert *FExpert;

}  // namespace basekvintor
