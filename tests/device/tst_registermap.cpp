#include "device/conversions.h"
#include "device/parametertable.h"

#include <QtTest>

// The conversions between register words and the values the form shows,
// checked against worked values of the sensor's registers.
class TestRegisterMap : public QObject
{
    Q_OBJECT

private slots:
    void availabilityIsUnsigned();
    void readConversions_data();
    void readConversions();
    void statusBitPerFlag();
    void writeConversions_data();
    void writeConversions();
};

// Firmware versions have their top bit set, so a signed comparison would put
// every real version below 0x7FFFFFFF.
void TestRegisterMap::availabilityIsUnsigned()
{
    const ParameterDescriptor &node = parameterDescriptor(IdNode);
    const ParameterDescriptor &speed = parameterDescriptor(IdSpeed);
    QVERIFY(!node.isAvailable(0x7FFFFFFFu) && node.isAvailable(0x80000000u) && node.isAvailable(0xFFFFFFFFu));
    QVERIFY(!speed.isAvailable(0x8000FFFFu) && speed.isAvailable(0x80010000u));
}

void TestRegisterMap::readConversions_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QVariant>("display");
    QTest::addColumn<QVariant>("output");
    const auto row = [](const char *name, int id, QVector<quint16> words, QVariant display, QVariant output = {}) {
        QTest::newRow(name) << id << words << display << (output.isValid() ? output : display);
    };
    row("serial number, low word first", IdSerialNumber, { 0x0001, 0x0002 }, 131073u);
    row("firmware, high word first, lowercase", IdFWVersion, { 0x8001, 0x0A0B }, "80.01-0a.0b", 0x80010A0Bu);
    row("irradiance is unsigned", IdIrradiance, { 0xFFFF }, 65535u);
    row("temperature -0.25", IdTemp, { 0xFFFF }, -0.25);
    row("speed 4.0", IdSpeed, { 0x0100 }, 4.0);
    row("const per pulse exact", IdConstPerPulse, { 2949 }, 1.43994140625);
}

void TestRegisterMap::readConversions()
{
    QFETCH(int, id);
    QFETCH(QVector<quint16>, words);
    QCOMPARE(words.size(), parameterDescriptor(id).registerCount());
    const ReadValue value = convertRead(parameterDescriptor(id), words.constData());
    QTEST(value.display, "display");
    QTEST(value.output, "output");
    QVERIFY(!value.hasColour);
}

// Each status flag reads its own bit of the one status register, and no other:
// 1 in number form when set, and shown differently, in its own colour, set or
// clear.
void TestRegisterMap::statusBitPerFlag()
{
    for (int id = IdFactoryCalConf; id <= IdWatchdog; ++id) {
        const quint16 onlyItsBit[1] = { quint16(1 << (id - IdFactoryCalConf)) };
        const quint16 allOthers[1] = { quint16(~onlyItsBit[0]) };
        const ReadValue set = convertRead(parameterDescriptor(id), onlyItsBit);
        const ReadValue clear = convertRead(parameterDescriptor(id), allOthers);
        QVERIFY2(set.output == 1 && clear.output == 0 && set.display != clear.display && set.hasColour
                     && clear.hasColour && set.colour != clear.colour, parameterDescriptor(id).name);
    }
}

void TestRegisterMap::writeConversions_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVector<quint16>>("words");
    const auto row = [](const char *name, int id, QVariant value, QVector<quint16> words) {
        QTest::newRow(name) << id << value << words;
    };
    row("serial number, low word first", IdSerialNumber, 131073, { 1, 2 });
    row("const per pulse 1.44", IdConstPerPulse, 1.44, { 2949 });
    row("const per pulse upper limit", IdConstPerPulse, 31.9995, { 0xFFFF });
    row("temperature half rounds up", IdTemp, 0.125, { 1 });
    row("temperature half rounds away from zero", IdTemp, -0.125, { 0xFFFF });
    // No write form: nothing may be sent from an unfilled buffer.
    row("firmware is never written", IdFWVersion, QStringLiteral("80.01-00.00"), {});
    row("status flag is never written", IdWatchdog, 1, {});
}

void TestRegisterMap::writeConversions()
{
    QFETCH(int, id);
    QFETCH(QVariant, value);
    QFETCH(QVector<quint16>, words);
    QVector<quint16> written;
    QCOMPARE(convertWrite(parameterDescriptor(id), value, written), !words.isEmpty());
    QCOMPARE(written, words);
}

QTEST_APPLESS_MAIN(TestRegisterMap)
#include "tst_registermap.moc"
