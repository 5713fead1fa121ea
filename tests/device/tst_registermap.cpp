#include "device/conversions.h"
#include "device/parametertable.h"

#include <QtTest>

// The conversions between register words and the values the form shows,
// checked against the sensor's documented values.
class TestRegisterMap : public QObject
{
    Q_OBJECT

private slots:
    void availabilityIsUnsigned_data();
    void availabilityIsUnsigned();
    void readConversions_data();
    void readConversions();
    void statusBitsOfOneRegister();
    void writeConversions_data();
    void writeConversions();
    void writeForms();
};

void TestRegisterMap::availabilityIsUnsigned_data()
{
    QTest::addColumn<quint32>("firmware");
    QTest::addColumn<int>("available");
    QTest::newRow("0x7FFFFFFF") << 0x7FFFFFFFu << 0;
    QTest::newRow("0x80000000") << 0x80000000u << 19;
    QTest::newRow("0x80010000") << 0x80010000u << 21;
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
}

void TestRegisterMap::readConversions_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<quint16>("word0");
    QTest::addColumn<quint16>("word1");
    QTest::addColumn<QVariant>("display");
    QTest::addColumn<QVariant>("output");
    const auto row = [](const char *name, int id, quint16 word0, quint16 word1, QVariant display, QVariant output) {
        QTest::newRow(name) << id << word0 << word1 << display << (output.isValid() ? output : display);
    };
    row("serial number, low word first", IdSerialNumber, 0x0001, 0x0002, 131073u, {});
    row("firmware, high word first, lowercase", IdFWVersion, 0x8001, 0x0A0B, QStringLiteral("80.01-0a.0b"), 0x80010A0Bu);
    row("irradiance is unsigned", IdIrradiance, 0xFFFF, 0, 65535u, {});
    row("temperature -0.25", IdTemp, 0xFFFF, 0, -0.25, {});
    row("speed 4.0", IdSpeed, 0x0100, 0, 4.0, {});
    row("const per pulse exact", IdConstPerPulse, 2949, 0, 1.43994140625, {});
    row("bit rate code beyond the items", IdBitRate, 7, 0, 7u, {});
}

void TestRegisterMap::readConversions()
{
    QFETCH(int, id);
    QFETCH(quint16, word0);
    QFETCH(quint16, word1);
    const quint16 words[2] = { word0, word1 };
    const ReadValue value = convertRead(parameterDescriptor(id), words);
    QTEST(value.display, "display");
    QTEST(value.output, "output");
    QVERIFY(!value.hasColour);
}

// Each status flag reads its own bit of the one status register.
void TestRegisterMap::statusBitsOfOneRegister()
{
    const quint16 status[1] = { 0x0021 };
    struct Expected { int id; const char *text; Qt::GlobalColor colour; int output; };
    const Expected expected[] = {
        { IdFactoryCalConf, "OK", Qt::green, 1 },  { IdNotVolatilePars, "Need Save", Qt::red, 0 },
        { IdDigInput, "Close", Qt::yellow, 0 },    { IdPT100Status, "Fail", Qt::red, 0 },
        { IdAnOutputStatus, "Fail", Qt::red, 0 },  { IdWatchdog, "Reset", Qt::red, 1 },
    };
    for (const Expected &e : expected) {
        const ReadValue value = convertRead(parameterDescriptor(e.id), status);
        QCOMPARE(value.display.toString(), QString::fromLatin1(e.text));
        QVERIFY(value.hasColour);
        QCOMPARE(value.colour, QColor(e.colour));
        QCOMPARE(value.output.toInt(), e.output);
    }
    const quint16 noneSet[1] = { 0 };
    for (int id = IdFactoryCalConf; id <= IdWatchdog; ++id) {
        const quint16 onlyItsBit[1] = { quint16(1 << (id - IdFactoryCalConf)) };
        QVERIFY(convertRead(parameterDescriptor(id), onlyItsBit).display != convertRead(parameterDescriptor(id), noneSet).display);
    }
}

void TestRegisterMap::writeConversions_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<quint16>("word");
    QTest::newRow("node") << int(IdNode) << QVariant(5) << quint16(5);
    QTest::newRow("combo without selection") << int(IdBitRate) << QVariant(-1) << quint16(0xFFFF);
    QTest::newRow("const per pulse 1.44") << int(IdConstPerPulse) << QVariant(1.44) << quint16(2949);
    QTest::newRow("const per pulse upper limit") << int(IdConstPerPulse) << QVariant(31.9995) << quint16(0xFFFF);
    QTest::newRow("temperature half rounds up") << int(IdTemp) << QVariant(0.125) << quint16(1);
    QTest::newRow("temperature half rounds away from zero") << int(IdTemp) << QVariant(-0.125) << quint16(0xFFFF);
    QTest::newRow("speed") << int(IdSpeed) << QVariant(4.0) << quint16(0x0100);
}

void TestRegisterMap::writeConversions()
{
    QFETCH(int, id);
    QFETCH(QVariant, value);
    QFETCH(quint16, word);
    QVector<quint16> words;
    QVERIFY(convertWrite(parameterDescriptor(id), value, words));
    QCOMPARE(words, QVector<quint16> { word });
}

void TestRegisterMap::writeForms()
{
    // Status flags and the firmware version are never written.
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
