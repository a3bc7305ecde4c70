#include "shell/start_up.h"

#include "database/connection.h"
#include "database/file_locks.h"
#include "reference/data_module.h"
#include "reference/protocol_builders.h"
#include "reference/record_rules.h"
#include "shell/child_windows.h"
#include "shell/main_window.h"
#include "shell/query_window.h"
#include "shell/protocol_panel.h"
#include "shell/table_dialogs.h"
#include "widgets/database_guard.h"

#include <QAction>
#include <QApplication>
#include <QMdiSubWindow>
#include <QPointer>

namespace basekvintor {

BaseProgram::BaseProgram() = default;
BaseProgram::BaseProgram(BaseProgram &&) noexcept = default;

BaseProgram::~BaseProgram()
{
    if (FExpert)
        FExpert->close();  // stores the placements while the data module exists
    FExpert.reset();
    Guard.reset();
    DM.reset();
}

BaseProgram startBaseKvintor(const QStringList &arguments)
{
    QApplication::setApplicationName(kProgramTitle);
    QApplication::setApplicationDisplayName(kProgramTitle);

    BaseProgram p;
    p.FExpert = std::make_unique<TFExpert>();
    p.DM = std::make_unique<TDM>();
    if (!p.DM->connectDatabase(kv::databasePath(arguments)) || !p.DM->DataModuleCreate()) {
        p.FExpert.reset();
        p.DM.reset();
        return p;
    }
    p.FExpert->showMaximized();

    TFExpert &frame = *p.FExpert;
    p.FSQLShape = new TFSQLShape(p.DM.get(), &frame);
    QObject::connect(frame.ASelect, &QAction::triggered, p.FSQLShape, [shape = p.FSQLShape] { shape->showModal(); });
    if (auto *table = frame.findChild<TTableActions *>()) {
        // The query result is exported through the builder's kept statement parts.
        QPointer<TFSQLShape> shape = p.FSQLShape;
        table->setQueryParts([shape] {
            return shape ? ExportParts{shape->columnPart(), shape->sourcePart()} : ExportParts{};
        });
    }
    auto cameUpMaximized = [&frame](TChildForm *c) { return frame.frameOf(c)->isMaximized(); };
    p.FTip = new TFTip(p.DM.get());
    frame.addChild(p.FTip);
    const bool tipMax = cameUpMaximized(p.FTip);
    bool testMax = false;
    if (!tipMax) {
        p.FTest = new TFTest(p.DM.get());
        frame.addChild(p.FTest);
        testMax = cameUpMaximized(p.FTest);
    }
    bool archivMax = false;
    if (!tipMax && !testMax) {
        p.FArchiv = new TFArchiv(p.DM.get());
        frame.addChild(p.FArchiv);
        archivMax = cameUpMaximized(p.FArchiv);
    }
    // The windows not made yet come now, in their order.
    if (!p.FTest) {
        p.FTest = new TFTest(p.DM.get());
        frame.addChild(p.FTest);
    }
    if (!p.FArchiv) {
        p.FArchiv = new TFArchiv(p.DM.get());
        frame.addChild(p.FArchiv);
    }
    p.FSQL = new TFSQL(p.DM.get());
    p.FSQL->setSelectAction(frame.ASelect);
    QObject::connect(p.FSQLShape, &TFSQLShape::fieldsChosen, p.FSQL, &TFSQL::showFields);
    frame.addChild(p.FSQL);

    // The protocols read the protocol data panel as it stands, and advance its number.
    TSFDataProt *panel = frame.SFDataProt();
    p.Builders = std::make_unique<TProtocolBuilders>(
        p.DM.get(), [panel] { return panel->data(); }, [panel] { panel->AdvanceProtocolNumber(); });
    TProtocolBuilders *builders = p.Builders.get();
    frame.setGroupProtocolBuilder([builders] { builders->BuildGroupProtocol(); });
    frame.setSingleProtocolBuilder([builders] { builders->BuildSingleProtocol(); });

    switch (startupMaximized(tipMax, testMax, archivMax)) {
    case StartChild::FTip: frame.maximizeChild(p.FTip); break;
    case StartChild::FTest: frame.maximizeChild(p.FTest); break;
    case StartChild::FArchiv: frame.maximizeChild(p.FArchiv); break;
    case StartChild::None: break;
    }
    p.Guard = std::make_unique<kv::DatabaseGuard>(kv::openedDatabaseFile());
    p.Guard->check();
    return p;
}

int runBaseKvintor(QApplication &app) { return runBaseKvintor(app, app.arguments()); }

int runBaseKvintor(QApplication &app, const QStringList &arguments)
{
    BaseProgram program = startBaseKvintor(arguments);
    if (!program.FExpert)
        return 1;
    return app.exec();
}

}  // namespace basekvintor
