// How long the control program takes to make one stand's group protocol from
// the viewer's tables: a 25-row run on one stand, GReport filled and written,
// nothing opened. Prints the median and the slowest of 20 protocols.

#include "core/ui.h"
#include "database/connection.h"
#include "demo_data.h"
#include "setup/data_module.h"
#include "setup/result_tables.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KVINTOR_NO_OPEN", "1");
    QApplication app(argc, argv);
    kv::ScopedRecordingUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath(kv::kDatabaseFileName);
    QString error = kv::createDatabaseFile(path);
    if (error.isEmpty())
        error = kv::openDatabase(path, QStringLiteral("fill"));
    if (error.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fill"));
        error = kv::demo::addReferenceData(db);
    }
    kvintor::TDM dm;
    if (error.isEmpty())
        error = dm.DataModuleCreate(path);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QDir::setCurrent(dir.path());

    const qlonglong stand = dm.appendStandRow(3);
    for (int n = 1; n <= 25; ++n) {
        dm.RMResult->append();
        dm.RMResult->setValue(QStringLiteral("PSecIndex"), stand);
        dm.RMResult->setValue(QStringLiteral("N"), n);
        dm.RMResult->setValue(QStringLiteral("Mode"), QStringLiteral("п"));
        dm.RMResult->setValue(QStringLiteral("U"), 100);
        dm.RMResult->setValue(QStringLiteral("I"), 10.0);
        dm.RMResult->setValue(QStringLiteral("KM"), QStringLiteral("0.5/L"));
        dm.RMResult->setValue(QStringLiteral("CountRotation"), QStringLiteral("5"));
        for (int p = 1; p <= 6; ++p)
            dm.RMResult->setValue(QStringLiteral("N%1").arg(p), QStringLiteral("-0.%1").arg(p * 7));
        dm.RMResult->setValue(QStringLiteral("PLimit"), 1.0);
        dm.RMResult->post();
    }
    dm.RMStendAfterScroll();

    kv::ProtocolData data;
    data.protocolNumber = QStringLiteral("42");
    kvintor::StandProtocols protocols(dm, {[&] { return data; }, [](int, int p) { return QString::number(p); }, {}, {}});
    QList<double> times;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        const QStringList files = protocols.BuildStandProtocols();
        times << double(t.nsecsElapsed()) / 1e6;
        if (files.size() != 1) {
            std::fprintf(stderr, "no protocol: %s\n", qPrintable(ui->texts().join(QLatin1Char('\n'))));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("one stand's group protocol (25 rows): median %.1f ms, slowest %.1f ms over %lld\n",
                times.at(times.size() / 2), times.last(), qlonglong(times.size()));
    std::printf("summary: control program's stand protocol from the results viewer (25 rows): median %.1f ms, "
                "min %.1f, max %.1f (n=%lld)\n",
                times.at(times.size() / 2), times.first(), times.last(), qlonglong(times.size()));
    return 0;
}
