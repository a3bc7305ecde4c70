#pragma once
// The control program's data module: its one connection to the database, the
// datasets every window reads, the in-memory tables of a finished run and the
// store of window settings. Every statement of the control program is here.

#include "setup/dataset.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <array>

namespace kvintor {

class TDM : public QObject
{
    Q_OBJECT
public:
    explicit TDM(QObject *parent = nullptr);
    ~TDM() override;

    static QString connectionName() { return QStringLiteral("kvintor"); }

    // Opens the database file and the datasets, as at program start. Returns ""
    // when the program can go on, else the text the program shows before it
    // ends: the connection's own error for a file that is missing or cannot be
    // read; for a missing table "Таблицы базы данных не открываются." and on
    // the next line "You have lost data due to " + the error.
    QString DataModuleCreate(const QString &databasePath);
    void DataModuleDestroy();

    // Before a run: opens the connection and activates every dataset that is
    // not active (the running test among them); over a connection that stayed
    // open, the types and tests are read again. Returns "" or the error's text
    // (a Russian sentence, then the engine's).
    QString openConnection();
    // Before the database program starts: closes the connection and so every dataset.
    void closeConnection();
    bool connected() const;
    QSqlDatabase database() const;
    QString databasePath() const { return m_path; }

    // The five type datasets by stand number 1..5 (element 0 unused).
    Dataset *ADOTipStend(int stand) const;

    Dataset *ADOTipStend1, *ADOTipStend2, *ADOTipStend3, *ADOTipStend4, *ADOTipStend5;
    Dataset *ADOTest1;
    Dataset *ADOTestBuf;
    Dataset *ADOQuery1;
    Dataset *ADOMeasure;
    Dataset *ADOPositionCH;
    Dataset *ADOResult;
    RecordTable *RMStend;
    RecordTable *RMResult;
    // The digit of the stand the group protocol is printing.
    QString StandText;

    // Runs one statement (Jet text) through ADOCommand1. Returns "" or the error's text.
    QString ADOCommand1(const QString &jetStatement);

    // The statements of the running test's fill.
    QString emptyTestBuf();
    QString copyTestPoints(int testIndex);
    // Number of points of a test, through ADOQuery1; -1 when the query fails.
    int testPointCount(int testIndex, QString *error = nullptr);

    // The stand rows and the result rows of the chosen stand.
    void RMStendAfterScroll();
    bool RMResultFilterRecord(const RecordTable::Row &row) const;
    QString RMResultFilterText() const { return m_resultFilter; }
    // Appends an RMStend row for stand s ("Стенд №" + s, PTotal true) and returns its PIndex.
    qlonglong appendStandRow(int stand);

    // Window settings under "SoftWare\Kvintor v2.0": `window` is the sub-key,
    // `property` the value name ("Mcom1.Checked").
    QString storedProperty(const QString &window, const QString &property, const QString &defaultValue = {}) const;
    void storeProperty(const QString &window, const QString &property, const QString &value);

private:
    QString activateAll();

    std::array<Dataset *, 6> m_tipStend{};
    QString m_path;
    QString m_resultFilter;
};

// The one data module of the program (set while a TDM exists).
extern TDM *DM;

}  // namespace kvintor
