// The imports as the operator starts them from the main window: the open
// dialog, the records appearing in the windows at once, and the progress
// dialog that keeps the program alive while a file hangs the reader.

#include "import_fixture.h"

#include "core/ui.h"
#include "reference/data_module.h"
#include "shell/import_window.h"
#include "shell/main_window.h"
#include "shell/start_up.h"
#include "support/test_env.h"
#include "widgets/child_form.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QFileDialog>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QTimer>

using namespace basekvintor;
using namespace importtest;
using kvtest::scalar;

namespace {

// The operator picks a file in the open dialog.
kv::RecordingUi::DialogScript choose(const QString &path)
{
    return [path](QDialog *d) {
        auto *dialog = qobject_cast<QFileDialog *>(d);
        if (!dialog)
            return int(QDialog::Rejected);
        dialog->selectFile(path);
        return int(QDialog::Accepted);
    };
}

kv::DataGrid *gridOver(QWidget *window, QAbstractItemModel *model)
{
    const QList<kv::DataGrid *> grids = window->findChildren<kv::DataGrid *>();
    for (kv::DataGrid *g : grids)
        if (g->model() == model)
            return g;
    return nullptr;
}

}  // namespace

class TestImportWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempSettings> m_settings;
    std::unique_ptr<kvtest::TempDatabase> m_db;
    QTemporaryDir m_files;

    BaseProgram start()
    {
        BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), m_db->path()});
        if (p.FExpert)
            QCoreApplication::processEvents();
        return p;
    }
    int count(const char *table)
    {
        return scalar(DM->database(), QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))).toInt();
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<kvtest::TempSettings>();
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("fixture"), true);
        m_db->close();
    }
    void cleanup()
    {
        m_db.reset();
        m_settings.reset();
    }

    // Both actions open ODTest with its one filter; cancelling does nothing.
    void openDialog()
    {
        BaseProgram p = start();
        QVERIFY(p.FExpert);
        auto *actions = p.FExpert->findChild<TImportActions *>(QStringLiteral("ImportActions"));
        QVERIFY(actions);
        QFileDialog *od = actions->ODTest();
        QCOMPARE(od->objectName(), QStringLiteral("ODTest"));
        QCOMPARE(od->nameFilters(), QStringList{QStringLiteral("Pradox 7.x (*.db)")});
        QCOMPARE(od->fileMode(), QFileDialog::ExistingFile);

        kv::ScopedRecordingUi ui;
        const int tests = count("TTest"), tips = count("TTip");
        p.FExpert->maximizeChild(p.FExpert->child(QStringLiteral("FTest")));
        p.FExpert->AImportTest->trigger();
        p.FExpert->maximizeChild(p.FExpert->child(QStringLiteral("FTip")));
        p.FExpert->AImportTip->trigger();
        QCOMPARE(ui->dialogsShown(), 2);
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(count("TTest"), tests);
        QCOMPARE(count("TTip"), tips);
    }

    // An imported test appears in the tests window as its current test with
    // its points; imported types appear in the types window.
    void recordsAppearAtOnce()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        kv::ScopedRecordingUi ui;
        f.maximizeChild(f.child(QStringLiteral("FTest")));
        QCoreApplication::processEvents();
        QVERIFY(f.AImportTest->isEnabled());

        const QString tests = write(m_files, QStringLiteral("Новый тест.db"), testTable(samplePoints()));
        ui->queueDialog(choose(tests));
        f.AImportTest->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(QLatin1Char('\n'))));
        const qint64 key = scalar(DM->database(), QStringLiteral("SELECT max(PIndex) FROM TTest")).toLongLong();
        QCOMPARE(scalar(DM->database(), QStringLiteral("SELECT PNameTable FROM TTest WHERE PIndex=%1").arg(key)).toString(),
                 QStringLiteral("Новый тест"));
        QCOMPARE(DM->currentTestKey(), key);
        kv::DataGrid *testGrid = gridOver(f.child(QStringLiteral("FTest")), DM->ADOTest);
        QVERIFY(testGrid);
        QCOMPARE(DM->ADOTest->keyAt(testGrid->currentRow()), key);
        QCOMPARE(DM->ADOTestPoint->rowCount(), 3);
        QCOMPARE(f.statusText(), QStringLiteral("Импортирован тест, точек добавлено: 3."));

        f.maximizeChild(f.child(QStringLiteral("FTip")));
        QCoreApplication::processEvents();
        QVERIFY(f.AImportTip->isEnabled());
        const int before = DM->ADOTip->rowCount();
        const QString types = write(m_files, QStringLiteral("types.db"),
                                    tipTable({sampleTip(QStringLiteral("НЕВА 303"), QStringLiteral("1S0"))}, false));
        ui->queueDialog(choose(types));
        f.AImportTip->trigger();
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(DM->ADOTip->rowCount(), before + 1);
        QCOMPARE(f.statusText(), QStringLiteral("Типов добавлено: 1, пропущено (уже есть в базе): 0."));
    }

    // While a file hangs the reader the progress dialog comes up, modal, and
    // the program answers; a second import cannot start meanwhile; giving up
    // stores nothing and shows no error.
    void progressWhileTheReaderHangs()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        auto *actions = f.findChild<TImportActions *>(QStringLiteral("ImportActions"));
        actions->setReadLimitMs(1500);
        f.maximizeChild(f.child(QStringLiteral("FTest")));
        QTemporaryDir dir;
        ScopedEnv env("KVINTOR_PXREAD", fakeReader(dir, "exec sleep 60").toLocal8Bit());
        const QString path = write(m_files, QStringLiteral("hang.db"), testTable(samplePoints()));

        kv::ScopedRecordingUi ui;
        ui->queueDialog(choose(path));
        bool seen = false, modal = false;
        int dialogsDuring = -1;
        QTimer::singleShot(900, &f, [&] {
            auto *progress = f.findChild<QProgressDialog *>(QStringLiteral("ImportProgress"));
            seen = progress && progress->isVisible();
            modal = progress && progress->windowModality() == Qt::ApplicationModal;
            f.AImportTest->trigger();  // ignored while the first one runs
            dialogsDuring = ui->dialogsShown();
            if (progress)
                progress->cancel();
        });
        const int tests = count("TTest");
        f.AImportTest->trigger();
        QVERIFY(seen);
        QVERIFY(modal);
        QCOMPARE(dialogsDuring, 1);
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(QLatin1Char('\n'))));
        QCOMPARE(count("TTest"), tests);
        QVERIFY(!f.findChild<QProgressDialog *>(QStringLiteral("ImportProgress")));
    }
};

QTEST_MAIN(TestImportWindow)
#include "test_import_window.moc"
