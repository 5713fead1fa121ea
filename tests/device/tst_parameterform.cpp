#include "device/conversions.h"
#include "mainform.h"
#include "resources.h"

#include <QtTest>

// The binding of the parameters to the main form's widgets, for every kind
// of widget the form uses.
class TestParameterForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void valuesGoInAndComeOut();
    void clearColourAndEnable();
};

namespace {
ReadValue readValue(int id, std::initializer_list<quint16> words)
{
    const QVector<quint16> buffer(words);
    return convertRead(parameterDescriptor(id), buffer.constData());
}
}

void TestParameterForm::valuesGoInAndComeOut()
{
    MainForm form;
    ParameterForm &parameters = form.parameters;
    // Low word first: 4294967295 does not fit a plain spin box.
    QVERIFY(parameters.show(IdSerialNumber, readValue(IdSerialNumber, { 0xFFFF, 0xFFFF })));
    QCOMPARE(form.ui.serialNumberSpinBox->text(), QStringLiteral("4294967295"));
    QVERIFY(parameters.show(IdFWVersion, readValue(IdFWVersion, { 0x8001, 0x0A0B })));
    QCOMPARE(form.ui.FWVersionLineEdit->text(), QStringLiteral("80.01-0a.0b"));
    QVERIFY(parameters.show(IdWatchdog, readValue(IdWatchdog, { 0x20 })));
    QCOMPARE(form.ui.watchdogLineEdit->text(), QStringLiteral("Reset"));
    QCOMPARE(form.ui.watchdogLineEdit->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::red));

    const struct { int id; quint16 word; QVariant taken; } values[] = {
        { IdNode, 17, 17 }, { IdBitRate, 4, 4 }, { IdDelay, 9, 9 }, { IdAnOutputMode, 3, 3 },
        { IdPT100Enable, 1, 1 }, { IdConstPerPulse, 2949, 2949.0 / 2048 },
        // A code without an item leaves the combo box empty.
        { IdSerialConf, 7, -1 },
    };
    for (const auto &value : values) {
        QVERIFY(parameters.show(value.id, readValue(value.id, { value.word })));
        const WidgetValue taken = parameters.take(value.id);
        QCOMPARE(taken.value.toDouble(), value.taken.toDouble());
        QCOMPARE(taken.state, value.taken == -1 ? WidgetValue::Empty : WidgetValue::Present);
    }
    // A command's button stands for its preset value.
    QCOMPARE(parameters.take(IdNvParSave).value.toInt(), 1);
}

void TestParameterForm::clearColourAndEnable()
{
    MainForm form;
    ParameterForm &parameters = form.parameters;
    QVERIFY(form.ui.FWVersionLineEdit->text().isEmpty());

    parameters.show(IdDigInput, readValue(IdDigInput, { 0 }));
    QCOMPARE(form.ui.digitalInputLineEdit->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::yellow));
    parameters.resetColours();
    QCOMPARE(form.ui.digitalInputLineEdit->palette(), form.palette());
    QCOMPARE(form.ui.digitalInputLineEdit->text(), QStringLiteral("Close"));

    parameters.enableFor(0x80000123u);
    QCOMPARE(form.disabledParameters(), QStringList({ QStringLiteral("ConstPerPulse"), QStringLiteral("Speed") }));
    parameters.enableFor(0x80010000u);
    QVERIFY(form.disabledParameters().isEmpty());
}

QTEST_MAIN(TestParameterForm)
#include "tst_parameterform.moc"
