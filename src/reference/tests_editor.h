#pragma once
// What the tests window does, without its widgets: the tests and the points
// of the current test as two record cursors, the record actions on whichever
// of them the operator last worked in, the writes on leaving a grid or field
// and on a special-test box, and the deletions.

#include "reference/record_cursor.h"
#include "reference/reference_delete.h"

#include <QObject>

class QWidget;

namespace basekvintor {

class TDM;

class TestsEditor : public QObject
{
    Q_OBJECT
public:
    enum class Target { Tests, Points };

    explicit TestsEditor(TDM *dm, QObject *parent = nullptr);

    TDM *dm() const { return m_dm; }
    RecordCursor &tests() { return m_tests; }
    RecordCursor &points() { return m_points; }

    // The record actions act on the tests at first, then on the set of the
    // grid or field entered last.
    Target target() const { return m_target; }
    void setTarget(Target target);
    RecordCursor &targetCursor() { return m_target == Target::Tests ? m_tests : m_points; }

    bool DataSetFirst1Execute() { return targetCursor().first(); }
    bool DataSetPrior1Execute() { return targetCursor().prior(); }
    bool DataSetNext1Execute() { return targetCursor().next(); }
    bool DataSetLast1Execute() { return targetCursor().last(); }
    // A new test, or a new point of the current test (the test is written
    // first so the point has its key). The new row, or -1.
    int DataSetInsert1Execute();
    bool DataSetPost1Execute() { return targetCursor().post(); }
    void DataSetCancel1Execute() { targetCursor().cancel(); }
    // The question, then the deletion on the target set.
    DeleteResult DataSetDelete1Execute(const QList<int> &rows, QWidget *parent);

    // Leaving the tests grid or a special-test field: a test being edited is
    // written (a new one is not).
    bool testLeft();
    // Releasing a special-test box: the test is written at once, a new one
    // too, so a clash of point numbers is told while the box is in view.
    bool specialTestClicked();
    // Leaving the points grid: a point being edited is written.
    bool pointsLeft();

    // The current test is used by the archive.
    bool currentTestUsed() const;

Q_SIGNALS:
    void targetChanged(Target target);

private:
    bool postIfEdited(RecordCursor &cursor);

    TDM *m_dm;
    RecordCursor m_tests;
    RecordCursor m_points;
    Target m_target = Target::Tests;
};

}  // namespace basekvintor
