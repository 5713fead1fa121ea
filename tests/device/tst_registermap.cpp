#include "device/conversions.h"
#include "device/parametertable.h"

#include <QtTest>

// The register map and the conversions between register words and the
// values the form shows, checked against the sensor's documented values.
class TestRegisterMap : public QObject
{
    Q_OBJECT

private slots:
    void registerCounts();
    void availabilityIsUnsigned_data();
    void availabilityIsUnsigned();
    void readConversions_data();
    void readConversions();
    void statusBitsOfOneRegister();
    void writeConversions_data();
    void writeConversions();
    void statusAndFirmwareHaveNoWriteForm();
};

void TestRegisterMap::registerCounts()
{
    QCOMPARE(parameterDescriptor(IdSerialNumber).registerCount(), 2);
    QCOMPARE(parameterDescriptor(IdFWVersion).registerCount(), 2);
    QCOMPARE(parameterDescriptor(IdNode).registerCount(), 1);
    // A status bit moves its whole register.
    for (int id = IdFactoryCalConf; id <= IdWatchdog; ++id) {
        QCOMPARE(parameterDescriptor(id).registerCount(), 1);
        QCOMPARE(parameterDescriptor(id).readAddress, 0x0102);
        QCOMPARE(int(parameterDescriptor(id).bitIndex), id - IdFactoryCalConf);
    }
}

void TestRegisterMap::availabilityIsUnsigned_data()
{
    QTest::addColumn<quint32>("firmware");
    QTest::addColumn<int>("available");
    QTest::newRow("nothing read") << 0u << 0;
    QTest::newRow("0x7FFFFFFF") << 0x7FFFFFFFu << 0;
    QTest::newRow("0x01020304") << 0x01020304u << 0;
    QTest::newRow("0x80000000") << 0x80000000u << 19;
    QTest::newRow("0x8000FFFF") << 0x8000FFFFu << 19;
    QTest::newRow("0x80010000") << 0x80010000u << 21;
    QTest::newRow("0xFFFFFFFF") << 0xFFFFFFFFu << 21;
}

void TestRegisterMap::availabilityIsUnsigned()
{
    QFETCH(quint32, firmware);
    QFETCH(int, available);
    int count = 0;
    for (const ParameterDescriptor &descriptor : parameterTable)
        count += descriptor.isAvailable(firmware) ? 1 : 0;
    QCOMPARE(count, available);
    QCOMPARE(parameterDescriptor(IdSpeed).isAvailable(firmware), available == 21);
    QCOMPARE(parameterDescriptor(IdConstPerPulse).isAvailable(firmware), available == 21);
}

void TestRegisterMap::readConversions_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint16>("word0");
    QTest::addColumn<quint16>("word1");
    QTest::addColumn<QVariant>("display");
    QTest::addColumn<QVariant>("output");
    QTest::newRow("serial number, low word first") << int(IdSerialNumber) << quint16(0x0001) << quint16(0x0002)
                                                   << QVariant(131073u) << QVariant(131073u);
    QTest::newRow("firmware, high word first") << int(IdFWVersion) << quint16(0x8001) << quint16(0x0000)
                                               << QVariant(QStringLiteral("80.01-00.00")) << QVariant(0x80010000u);
    QTest::newRow("firmware text is lowercase") << int(IdFWVersion) << quint16(0x8001) << quint16(0x0A0B)
                                                << QVariant(QStringLiteral("80.01-0a.0b")) << QVariant(0x80010A0Bu);
    QTest::newRow("irradiance is unsigned") << int(IdIrradiance) << quint16(0xFFFF) << quint16(0)
                                            << QVariant(65535u) << QVariant(65535u);
    QTest::newRow("temperature 20.0") << int(IdTemp) << quint16(0x0050) << quint16(0) << QVariant(20.0) << QVariant(20.0);
    QTest::newRow("temperature -0.25") << int(IdTemp) << quint16(0xFFFF) << quint16(0) << QVariant(-0.25) << QVariant(-0.25);
    QTest::newRow("temperature -5.0") << int(IdTemp) << quint16(0xFFEC) << quint16(0) << QVariant(-5.0) << QVariant(-5.0);
    QTest::newRow("speed 4.0") << int(IdSpeed) << quint16(0x0100) << quint16(0) << QVariant(4.0) << QVariant(4.0);
    QTest::newRow("const per pulse 1.0") << int(IdConstPerPulse) << quint16(0x0800) << quint16(0)
                                         << QVariant(1.0) << QVariant(1.0);
    QTest::newRow("const per pulse exact") << int(IdConstPerPulse) << quint16(2949) << quint16(0)
                                           << QVariant(1.43994140625) << QVariant(1.43994140625);
    QTest::newRow("bit rate code beyond the items") << int(IdBitRate) << quint16(7) << quint16(0)
                                                    << QVariant(7u) << QVariant(7u);
}

void TestRegisterMap::readConversions()
{
    QFETCH(int, id);
    QFETCH(quint16, word0);
    QFETCH(quint16, word1);
    QFETCH(QVariant, display);
    QFETCH(QVariant, output);
    const quint16 words[2] = { word0, word1 };
    const ReadValue value = convertRead(parameterDescriptor(id), words);
    QCOMPARE(value.display, display);
    QCOMPARE(value.output, output);
    QVERIFY(!value.hasColour);
}

void TestRegisterMap::statusBitsOfOneRegister()
{
    const quint16 status[1] = { 0x0021 };
    struct Expected { int id; const char *text; Qt::GlobalColor colour; int output; };
    const Expected expected[] = {
        { IdFactoryCalConf, "OK", Qt::green, 1 },
        { IdNotVolatilePars, "Need Save", Qt::red, 0 },
        { IdDigInput, "Close", Qt::yellow, 0 },
        { IdPT100Status, "Fail", Qt::red, 0 },
        { IdAnOutputStatus, "Fail", Qt::red, 0 },
        { IdWatchdog, "Reset", Qt::red, 1 },
    };
    for (const Expected &e : expected) {
        const ReadValue value = convertRead(parameterDescriptor(e.id), status);
        QCOMPARE(value.display.toString(), QString::fromLatin1(e.text));
        QVERIFY(value.hasColour);
        QCOMPARE(value.colour, QColor(e.colour));
        QCOMPARE(value.output.toInt(), e.output);
    }
    const quint16 allSet[1] = { 0x003F };
    QCOMPARE(convertRead(parameterDescriptor(IdDigInput), allSet).display.toString(), QStringLiteral("Open"));
    QCOMPARE(convertRead(parameterDescriptor(IdDigInput), allSet).colour, QColor(Qt::cyan));
    QCOMPARE(convertRead(parameterDescriptor(IdWatchdog), status + 0).display.toString(), QStringLiteral("Reset"));
    const quint16 noneSet[1] = { 0 };
    QCOMPARE(convertRead(parameterDescriptor(IdWatchdog), noneSet).colour, QColor(Qt::green));
    QCOMPARE(convertRead(parameterDescriptor(IdFactoryCalConf), noneSet).display.toString(), QStringLiteral("Need Recal"));
}

void TestRegisterMap::writeConversions_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<quint16>("word");
    QTest::newRow("node") << int(IdNode) << QVariant(5) << quint16(5);
    QTest::newRow("combo without selection") << int(IdBitRate) << QVariant(-1) << quint16(0xFFFF);
    QTest::newRow("command preset") << int(IdNvParSave) << QVariant(1) << quint16(1);
    QTest::newRow("const per pulse 1.44") << int(IdConstPerPulse) << QVariant(1.44) << quint16(2949);
    QTest::newRow("const per pulse lower limit") << int(IdConstPerPulse) << QVariant(0.000488281) << quint16(1);
    QTest::newRow("const per pulse upper limit") << int(IdConstPerPulse) << QVariant(31.9995) << quint16(0xFFFF);
    QTest::newRow("temperature half rounds up") << int(IdTemp) << QVariant(0.125) << quint16(1);
    QTest::newRow("temperature half rounds away from zero") << int(IdTemp) << QVariant(-0.125) << quint16(0xFFFF);
    QTest::newRow("temperature -5.125") << int(IdTemp) << QVariant(-5.125) << quint16(0xFFEB);
    QTest::newRow("speed") << int(IdSpeed) << QVariant(4.0) << quint16(0x0100);
}

void TestRegisterMap::writeConversions()
{
    QFETCH(int, id);
    QFETCH(QVariant, value);
    QFETCH(quint16, word);
    QVector<quint16> words;
    QVERIFY(convertWrite(parameterDescriptor(id), value, words));
    QCOMPARE(words.size(), 1);
    QCOMPARE(words[0], word);
}

void TestRegisterMap::statusAndFirmwareHaveNoWriteForm()
{
    QVector<quint16> words;
    QVERIFY(!convertWrite(parameterDescriptor(IdFWVersion), QVariant(QStringLiteral("80.01-00.00")), words));
    QVERIFY(!convertWrite(parameterDescriptor(IdWatchdog), QVariant(1), words));
    QVERIFY(words.isEmpty());
    // A 32-bit integer goes out low word first.
    QVERIFY(convertWrite(parameterDescriptor(IdSerialNumber), QVariant(131073), words));
    QCOMPARE(words, QVector<quint16>({ 1, 2 }));
}

QTEST_APPLESS_MAIN(TestRegisterMap)
#include "tst_registermap.moc"
