#include "reference/tests_editor.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "reference/data_module.h"

namespace basekvintor {

TestsEditor::TestsEditor(TDM *dm, QObject *parent)
    : QObject(parent), m_dm(dm), m_tests(dm->ADOTest, this), m_points(dm->ADOTestPoint, this)
{
    // The points of the current test are written before another test becomes
    // current (the re-read would drop them).
    m_tests.setBeforeLeave([this] { return m_points.post(); });
    connect(&m_tests, &RecordCursor::rowChanged, this, [this](int row) { m_dm->setCurrentTest(row); });
    m_dm->setCurrentTest(m_tests.row());
}

void TestsEditor::setTarget(Target target)
{
    if (target == m_target)
        return;
    m_target = target;
    Q_EMIT targetChanged(target);
}

int TestsEditor::DataSetInsert1Execute()
{
    if (m_target == Target::Tests)
        return m_tests.insert();
    // A point needs a stored test.
    if (m_tests.isEmpty())
        return -1;
    if (!m_tests.post())
        return -1;
    if (m_tests.key() == 0)
        return -1;
    m_dm->setCurrentTest(m_tests.row());
    return m_points.insert();
}

DeleteResult TestsEditor::DataSetDelete1Execute(const QList<int> &rows, QWidget *parent)
{
    if (rows.isEmpty())
        return {};
    if (kv::ui().question(parent, kDeleteCaption, kDeleteQuestion) != QMessageBox::Yes)
        return {};
    QSqlDatabase db = m_dm->database();
    if (m_target == Target::Tests) {
        // Points of other tests must not wait through the re-read.
        if (!m_points.post())
            return {0, 0, false};
        return deleteUnlessUsed(m_tests, rows, [db](qint64 key) { return archiveUsesTest(db, key); }, kTestUsed,
                                parent, runInProgressRefusal(db, kv::ClaimKind::Test));
    }
    // The archive keeps the points a verification ran through only as numbers;
    // deleting points of a used test would make its protocols disagree with it.
    const qint64 testKey = m_tests.key();
    if (testKey != 0 && archiveUsesTest(db, testKey)) {
        // A point not stored yet may still be dropped.
        bool onlyUnsaved = true;
        for (int row : rows)
            if (m_dm->ADOTestPoint->keyAt(row) != 0)
                onlyUnsaved = false;
        if (!onlyUnsaved) {
            kv::ui().error(parent, kProgramTitle, kPointsOfUsedTest);
            return {0, int(rows.size()), true};
        }
    }
    return deleteUnlessUsed(m_points, rows, [](qint64) { return false; }, QString(), parent);
}

bool TestsEditor::postIfEdited(RecordCursor &cursor)
{
    // A new record is written only by the post action or by moving off it.
    if (!cursor.isModified() || cursor.hasPendingInsert())
        return true;
    return cursor.post();
}

bool TestsEditor::testLeft() { return postIfEdited(m_tests); }

bool TestsEditor::specialTestClicked() { return !m_tests.isModified() || m_tests.post(); }

bool TestsEditor::pointsLeft() { return postIfEdited(m_points); }

bool TestsEditor::currentTestUsed() const
{
    const qint64 key = const_cast<TestsEditor *>(this)->m_tests.key();
    return key != 0 && archiveUsesTest(m_dm->database(), key);
}

}  // namespace basekvintor
