#include "core/ui.h"
#include "widgets/code_box.h"
#include "widgets/field_mapper.h"
#include "widgets/number_editors.h"

#include <QCheckBox>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>

class TestNumberEditors : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Numbers follow the regional settings; the expected texts are written with ".".
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // What the operator may type into a ranged field, and what is refused.
    void checkingTypedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QVariant>("value");  // invalid: refused
        QTest::addColumn<QString>("message");

        const QVariant refused;
        QTest::newRow("power factor 1.2") << "1.2" << 0.0 << 1.0 << 2 << refused
                                          << "Значение 1.2 вне допустимого диапазона: от 0 до 1.";
        QTest::newRow("power factor 1") << "1" << 0.0 << 1.0 << 2 << QVariant(1.0) << "";
        QTest::newRow("negative") << "-1" << 0.0 << 120.0 << 0 << refused
                                  << "Значение -1 вне допустимого диапазона: от 0 до 120.";
        QTest::newRow("minutes 300") << "300" << 0.0 << 300.0 << 0 << QVariant(qlonglong(300)) << "";
        QTest::newRow("minutes 301") << "301" << 0.0 << 300.0 << 0 << refused
                                     << "Значение 301 вне допустимого диапазона: от 0 до 300.";
        QTest::newRow("whole field, fraction") << "2.5" << 0.0 << 60.0 << 0 << refused
                                               << "\"2.5\" не является допустимым целым числом.";
        QTest::newRow("current, three places") << "999.9996" << 0.0 << 1000.0 << 3 << QVariant(1000.0) << "";
        QTest::newRow("current, rounds over") << "1000.0006" << 0.0 << 1000.0 << 3 << refused
                                              << "Значение 1000.0006 вне допустимого диапазона: от 0 до 1000.";
        QTest::newRow("long number shown as typed") << " 100000000000000000000000000 " << 0.0 << 1000.0 << 0 << refused
                                                    << "Значение 100000000000000000000000000 вне допустимого диапазона: от 0 до 1000.";
        QTest::newRow("exponent shown as typed") << "1e26" << 0.0 << 1.0 << 2 << refused
                                                 << "Значение 1e26 вне допустимого диапазона: от 0 до 1.";
        QTest::newRow("comma") << "0,5" << 0.0 << 1.0 << 2 << QVariant(0.5) << "";
        QTest::newRow("not a number") << "1..2" << 0.0 << 1.0 << 2 << refused << "\"1..2\" не является допустимым числом.";
        QTest::newRow("empty is no value") << "  " << 0.0 << 1.0 << 2 << QVariant(QMetaType(QMetaType::Double)) << "";
        QTest::newRow("unbounded") << "-12345.5" << 0.0 << 0.0 << 0 << QVariant(-12345.5) << "";
    }
    void checkingTypedText()
    {
        QFETCH(QString, text);
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(int, decimals);
        QFETCH(QVariant, value);
        QFETCH(QString, message);
        const kv::NumberCheck check = kv::checkNumberText(text, {min, max, decimals, true});
        QCOMPARE(check.ok, value.isValid());
        QCOMPARE(check.message, message);
        if (check.ok && !value.isNull())
            QCOMPARE(check.value.toDouble(), value.toDouble());
        if (check.ok && value.isNull())
            QVERIFY(check.value.isNull());
    }

    // A refused text gives one box, stays in the field for correcting (an
    // invalid number too), and the value stays the last accepted one; the
    // commit the box itself sets off asks nothing more.
    void editorKeepsTheLastAcceptedValue()
    {
        // The focus going to the box commits the editor again.
        struct CommitsAgain : kv::RecordingUi {
            std::function<void()> onBox;
            QMessageBox::StandardButton message(QWidget *parent, const QString &caption, const QString &text,
                                                kv::Icon icon, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton) override
            {
                if (onBox)
                    onBox();
                return kv::RecordingUi::message(parent, caption, text, icon, buttons, defaultButton);
            }
        };
        auto owned = std::make_unique<CommitsAgain>();
        CommitsAgain *rec = owned.get();
        std::unique_ptr<kv::Ui> previous = kv::setUi(std::move(owned));
        kv::NumberEdit edit(kv::NumberRange::whole(0, 120));
        edit.setValue(5);
        QCOMPARE(edit.text(), QStringLiteral("5"));
        QVERIFY(edit.acceptInput());  // nothing typed
        bool again = true;
        rec->onBox = [&] { again = edit.acceptInput(); };
        for (const QString &typed : {QStringLiteral("121"), QStringLiteral("1..2")}) {
            rec->clear();
            edit.setText(typed);
            again = true;
            QVERIFY(!edit.acceptInput());
            QVERIFY(!again);
            QCOMPARE(edit.value(), QVariant(5));
            QCOMPARE(edit.text(), typed);
            QCOMPARE(rec->boxes().size(), 1);
            QVERIFY(rec->texts().first().contains(typed));
        }
        rec->onBox = nullptr;
        edit.setText(QStringLiteral("12"));
        QVERIFY(edit.acceptInput());
        QCOMPARE(edit.value().toInt(), 12);
        QVERIFY(!kv::sameNumber(QVariant(), 0));
        QVERIFY(kv::sameNumber(qlonglong(3), 3.0));
        kv::setUi(std::move(previous));
    }

    // Panel editors bound to the current record: typed values arrive on
    // leaving the editor unless refused; list and box choices arrive at once;
    // leaving an untouched editor changes nothing.
    void fieldsBoundToTheCurrentRecord()
    {
        kv::ScopedRecordingUi rec;
        QStandardItemModel model(2, 3);
        model.setData(model.index(0, 0), 5);
        model.setData(model.index(0, 1), 1);
        model.setData(model.index(0, 2), 0);
        model.setData(model.index(1, 0), 7);
        model.setData(model.index(1, 1), 3);
        model.setData(model.index(1, 2), 1);
        QList<QModelIndex> changed;
        connect(&model, &QAbstractItemModel::dataChanged, [&](const QModelIndex &i) { changed.append(i); });

        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *number = new kv::NumberEdit(kv::NumberRange::whole(0, 120));
        auto *unit = new kv::CodeBox(kv::codeList(
            [](int c) { return QStringLiteral("u%1").arg(c); }, 1, 3));
        auto *tick = new QCheckBox(QStringLiteral("Самоход"));
        for (QWidget *w : {static_cast<QWidget *>(number), static_cast<QWidget *>(unit), static_cast<QWidget *>(tick)})
            layout->addWidget(w);
        kv::FieldMapper mapper;
        mapper.setModel(&model);
        mapper.addField(number, 0);
        mapper.addField(unit, 1);
        mapper.addField(tick, 2);
        mapper.toFirst();
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(number->text(), QStringLiteral("5"));
        QCOMPARE(unit->currentText(), QStringLiteral("u1"));
        QVERIFY(!tick->isChecked());

        number->setFocus();
        unit->setFocus();
        QVERIFY(changed.isEmpty());

        number->setFocus();
        number->setText(QStringLiteral("200"));
        unit->setFocus();
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("Значение 200 вне допустимого диапазона: от 0 до 120.")});
        QCOMPARE(model.index(0, 0).data().toInt(), 5);
        QVERIFY(changed.isEmpty());

        number->setFocus();
        number->setText(QStringLiteral("12"));
        unit->setFocus();
        QCOMPARE(model.index(0, 0).data().toInt(), 12);

        unit->setCurrentIndex(1);
        Q_EMIT unit->activated(1);
        QCOMPARE(model.index(0, 1).data().toInt(), 2);
        QTest::mouseClick(tick, Qt::LeftButton, {}, QPoint(5, tick->height() / 2));
        QCOMPARE(model.index(0, 2).data(), QVariant(1));

        // Typed text not yet taken: committed together, refusals reported.
        number->setText(QStringLiteral("121"));
        QVERIFY(!mapper.commitAll());
        QCOMPARE(model.index(0, 0).data().toInt(), 12);
        number->setText(QStringLiteral("33"));
        QVERIFY(mapper.commitAll());
        QCOMPARE(model.index(0, 0).data().toInt(), 33);

        mapper.toNext();
        QCOMPARE(number->text(), QStringLiteral("7"));
        QCOMPARE(unit->currentText(), QStringLiteral("u3"));
        QVERIFY(tick->isChecked());
        unit->setCode(9);  // a code outside the list shows nothing
        QCOMPARE(unit->currentIndex(), -1);
        QVERIFY(!unit->code().isValid());
    }
};

QTEST_MAIN(TestNumberEditors)
#include "test_number_editors.moc"
