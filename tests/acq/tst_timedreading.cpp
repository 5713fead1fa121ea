// Measurement runs driven as the technician drives them: through the
// window's controls, against the sensor simulator, judged by the CSV log on
// disk, the plotted curves, the status bar and what the sensor was asked.

#include "acq/livecurve.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_plot_item.h>

#include <functional>

using namespace WindowTest;

namespace {

// Transfer timings of these tests: short, yet long enough for the simulator
// to answer on a busy machine. The worst case of one read over both
// attempts is 2 * (30 + 30) + 10 * 2 * 1 ms.
const int WorstReadMs = 140;

const QString GreenIndicator = QStringLiteral("background: #0b0;");
const QString GreyIndicator = QStringLiteral("background: #aaa;");

const QString Header3 = QStringLiteral("TIMESTAMP;MS;IRRADIANCE;TEMP;SPEED;");
const QString Header2 = QStringLiteral("TIMESTAMP;MS;IRRADIANCE;TEMP;");

const QRegularExpression IrradianceField(QStringLiteral("^\\d+$"));
const QRegularExpression TemperatureField(QStringLiteral("^-?\\d+\\.\\d$"));
const QRegularExpression SpeedField(QStringLiteral("^-?\\d+\\.\\d\\d$"));

struct Curves
{
    LiveCurve *irradiance = nullptr;
    LiveCurve *temperature = nullptr;
    LiveCurve *speed = nullptr;

    bool found() const { return irradiance && temperature && speed; }
    size_t ticks() const { return irradiance->sampleCount(); }
};

LiveCurve *curveOf(QWidget *window, const char *plotName)
{
    auto *plot = widget<QwtPlot>(window, plotName);
    if (!plot)
        return nullptr;
    for (QwtPlotItem *item : plot->itemList()) {
        if (auto *curve = dynamic_cast<LiveCurve *>(item))
            return curve;
    }
    return nullptr;
}

// Taken before Read all, which may take the Speed tab away.
Curves curvesOf(QWidget *window)
{
    return { curveOf(window, "irradianceQwtPlot"), curveOf(window, "temperatureQwtPlot"),
             curveOf(window, "speedQwtPlot") };
}

struct LogRow
{
    QDateTime time;
    QStringList values;
};

// One data line: the local time of the tick, its milliseconds, then the
// values, every field closed by ";".
bool parseRow(const QString &line, LogRow *row)
{
    static const QRegularExpression stamp(
            QStringLiteral("^(\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d);(\\d{3});(.*)$"));
    const QRegularExpressionMatch match = stamp.match(line);
    if (!match.hasMatch())
        return false;
    row->time = QDateTime::fromString(match.captured(1) + QLatin1Char('.') + match.captured(2),
                                      QStringLiteral("dd/MM/yyyy HH:mm:ss.zzz"));
    const QString rest = match.captured(3);
    if (!rest.isEmpty() && !rest.endsWith(QLatin1Char(';')))
        return false;
    row->values = rest.isEmpty() ? QStringList() : rest.chopped(1).split(QLatin1Char(';'));
    return row->time.isValid();
}

// The log's lines. Every character is ASCII and every line, the last one
// included, is complete; a test that gets an empty list has failed.
QStringList readLogLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        QTest::qFail(qPrintable(QStringLiteral("cannot read %1").arg(fileName)), __FILE__, __LINE__);
        return {};
    }
    const QByteArray content = file.readAll();
    for (char c : content) {
        if (static_cast<unsigned char>(c) > 0x7f || c == '\r') {
            QTest::qFail("the log holds a character other than printable ASCII and LF", __FILE__, __LINE__);
            return {};
        }
    }
    if (!content.endsWith('\n')) {
        QTest::qFail("the log's last line has no line end", __FILE__, __LINE__);
        return {};
    }
    QStringList lines = QString::fromLatin1(content).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

QStringList lastRowValues(const QString &fileName)
{
    const QStringList lines = readLogLines(fileName);
    LogRow row;
    if (lines.size() < 2 || !parseRow(lines.last(), &row))
        return { QStringLiteral("<no row>") };
    return row.values;
}

// The registers asked for, in order. A retry repeats its request; it is
// counted once, since the order is what matters here.
QList<int> readAddresses(const QList<SimRequest> &requests)
{
    QList<int> addresses;
    for (const SimRequest &request : requests) {
        const int address = request.function == 3 ? request.address : -request.function;
        if (addresses.isEmpty() || addresses.last() != address)
            addresses.append(address);
    }
    return addresses;
}

QList<int> tickAddresses(int ticks, const QList<int> &perTick)
{
    QList<int> addresses = { 0x8000 };   // the serial number, at the start
    for (int i = 0; i < ticks; ++i)
        addresses += perTick;
    return addresses;
}

int visibleMessageBoxes()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox *>(widget) && widget->isVisible())
            ++count;
    }
    return count;
}

// Answers message boxes like a technician who takes his time: box i stays
// open for holdMs(i) before Ok is pressed. Meanwhile it notes how many boxes
// were ever open at once and how many requests reached the sensor.
class PatientReader : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
        int requestsWhenShown = 0;
        int requestsWhenAnswered = 0;
    };

    PatientReader(SimulatorProcess &simulator, std::function<int(int)> holdMs)
        : simulator(simulator), holdMs(std::move(holdMs))
    {
        connect(&poll, &QTimer::timeout, this, &PatientReader::look);
        poll.start(10);
    }

    QList<Box> boxes;
    int mostOpenAtOnce = 0;

private:
    void look()
    {
        mostOpenAtOnce = qMax(mostOpenAtOnce, visibleMessageBoxes());
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible() && box != current) {
            current = box;
            shown.start();
            boxes.append({ box->windowTitle(), box->text(), int(simulator.requests().size()), 0 });
        }
        if (current && current->isVisible() && shown.elapsed() >= holdMs(boxes.size() - 1)) {
            boxes.last().requestsWhenAnswered = int(simulator.requests().size());
            QMessageBox *answered = current;
            current = nullptr;
            answered->button(QMessageBox::Ok)->click();
        }
    }

    SimulatorProcess &simulator;
    std::function<int(int)> holdMs;
    QTimer poll;
    QPointer<QMessageBox> current;
    QElapsedTimer shown;
};

} // namespace

class TestTimedReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void runLogsAndPlotsEveryTick();
    void loggedDecimalsFollowTheStoredPrecisions();
    void firmwareWithoutSpeedLeavesSpeedOut();
    void optionsDialogAppliesTheFirmwareToThePeriod();
    void readFailureEndsTheRowAndHoldsTicksBack();
    void unpluggedSensorDuringRun();
    void runThatCannotStartUnchecksRead();
    void closingThePortStopsTheRunAndPlotsKeepIt();

private:
    void openAndReadAll(SensorWindow &sensor);

    TestEnvironment environment;
    QLocale previousLocale;
};

void TestTimedReading::initTestCase()
{
    registerImageResources();
    // A comma locale: the log must keep writing "." whatever the user runs.
    previousLocale = QLocale();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestTimedReading::cleanupTestCase()
{
    QLocale::setDefault(previousLocale);
}

void TestTimedReading::init()
{
    environment.clearSettings();
    storeTransferTiming(30, 30, 2, 10);
    QDir work(environment.workingDirectory());
    for (const QString &name : work.entryList({ QStringLiteral("*.csv") }, QDir::Files))
        work.remove(name);
}

void TestTimedReading::cleanup()
{
    QDir::setCurrent(environment.workingDirectory());
}

void TestTimedReading::openAndReadAll(SensorWindow &sensor)
{
    QVERIFY(sensor.simulator.isRunning() || sensor.startSimulator());
    MainWindow &window = sensor.window();
    QVERIFY(sensor.selectSimulatorPort());
    sensor.pressOpenClose();
    QVERIFY(window.isConnectionOpen());
    sensor.click("readAllPushButton");
    QCOMPARE(statusText(&window), QStringLiteral("Values successfully retrieved"));
    QVERIFY(widget<QCheckBox>(&window, "readCheckBox")->isEnabled());
    sensor.simulator.clearRequests();
}

void TestTimedReading::runLogsAndPlotsEveryTick()
{
    SensorWindow sensor;
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    const Curves curves = curvesOf(&window);
    QVERIFY(curves.found());
    // Before any run the plots are empty.
    QCOMPARE(curves.ticks(), size_t(0));
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(window.firmware(), 0x80010000u);
    // Nothing stored: the shortest period, three reads' worth.
    const int period = widget<QSpinBox>(&window, "readSpinBox")->value();
    QCOMPARE(period, 3 * WorstReadMs);

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    const QDateTime started = QDateTime::currentDateTime();
    read->click();
    QElapsedTimer sinceFirstTick;
    sinceFirstTick.start();
    QVERIFY(read->isChecked());
    QVERIFY(window.isTimedReadingActive());

    // The first tick comes at once and flashes the indicator green for a
    // quarter of the period; the reset clears the message too.
    QCOMPARE(curves.ticks(), size_t(1));
    QCOMPARE(statusStyle(&window), GreenIndicator);
    QVERIFY(QTest::qWaitFor([&] { return statusStyle(&window) == GreyIndicator; }, 5000));
    QVERIFY2(sinceFirstTick.elapsed() >= period / 4 - 10, qPrintable(QString::number(sinceFirstTick.elapsed())));
    QCOMPARE(statusText(&window), QString());

    const QString logName = window.currentLogFileName();
    const QRegularExpressionMatch name = QRegularExpression(
            QStringLiteral("^SN9000_(\\d{4}_\\d\\d_\\d\\d@\\d\\d_\\d\\d_\\d\\d)\\.csv$")).match(logName);
    QVERIFY2(name.hasMatch(), qPrintable(logName));
    const QDateTime nameTime = QDateTime::fromString(name.captured(1), QStringLiteral("yyyy_MM_dd@HH_mm_ss"));
    QVERIFY(nameTime >= started.addMSecs(-started.time().msec()));
    QVERIFY(nameTime <= QDateTime::currentDateTime());
    // The log lies in the working directory.
    QVERIFY(QFile::exists(QDir(environment.workingDirectory()).filePath(logName)));

    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 5; }, 15000));
    read->click();
    const QDateTime stopped = QDateTime::currentDateTime();
    QVERIFY(!read->isChecked());
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(window.currentLogFileName().isEmpty());
    const int ticks = int(curves.ticks());

    // Nothing more after the stop; the plots keep the run.
    QTest::qWait(period);
    QCOMPARE(int(curves.ticks()), ticks);
    QVERIFY(answerer.boxes().isEmpty());

    const QStringList lines = readLogLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    QCOMPARE(lines.first(), Header3);
    QDateTime previous = started.addMSecs(-1);
    for (int i = 0; i < ticks; ++i) {
        const QString &line = lines.at(1 + i);
        LogRow row;
        QVERIFY2(parseRow(line, &row), qPrintable(line));
        QCOMPARE(row.values.size(), 3);
        QVERIFY2(IrradianceField.match(row.values[0]).hasMatch(), qPrintable(line));
        QVERIFY2(TemperatureField.match(row.values[1]).hasMatch(), qPrintable(line));
        QVERIFY2(SpeedField.match(row.values[2]).hasMatch(), qPrintable(line));
        QVERIFY2(row.time > previous && row.time <= stopped, qPrintable(line));
        previous = row.time;

        // The log and the plots tell the same reads.
        const QPointF irradiance = curves.irradiance->sample(size_t(i));
        const QPointF temperature = curves.temperature->sample(size_t(i));
        const QPointF speed = curves.speed->sample(size_t(i));
        QCOMPARE(row.values[0], QString::number(qint64(irradiance.y())));
        QVERIFY2(qAbs(row.values[1].toDouble() - temperature.y()) <= 0.05 + 1e-9, qPrintable(line));
        QVERIFY2(qAbs(row.values[2].toDouble() - speed.y()) <= 0.005 + 1e-9, qPrintable(line));
        // One x per tick: the whole seconds since the start.
        QCOMPARE(temperature.x(), irradiance.x());
        QCOMPARE(speed.x(), irradiance.x());
        QCOMPARE(irradiance.x(), qFloor(irradiance.x()));
        if (i == 0)
            QCOMPARE(irradiance.x(), 0.0);
        else
            QVERIFY(irradiance.x() >= curves.irradiance->sample(size_t(i - 1)).x());
    }
    QCOMPARE(int(curves.temperature->sampleCount()), ticks);
    QCOMPARE(int(curves.speed->sampleCount()), ticks);
    // Ticks faster than a second share their x.
    const double lastX = curves.irradiance->sample(size_t(ticks - 1)).x();
    QVERIFY2(ticks > lastX + 1, qPrintable(QStringLiteral("%1 ticks up to x = %2").arg(ticks).arg(lastX)));

    const QList<SimRequest> requests = sensor.simulator.requests();
    QCOMPARE(requests.first().address, 0x8000);
    QCOMPARE(requests.first().count, 2);
    QCOMPARE(readAddresses(requests), tickAddresses(ticks, { 0x0100, 0x0101, 0x0103 }));
}

void TestTimedReading::loggedDecimalsFollowTheStoredPrecisions()
{
    SensorWindow sensor({ QStringLiteral("--temperature"), QStringLiteral("-5.25") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    const Curves curves = curvesOf(&window);
    QVERIFY(curves.found());
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(window.isTimedReadingActive());
    const QString logName = window.currentLogFileName();

    // Default: one decimal, rounded half away from zero. The plot and the
    // live value keep the reading itself.
    QCOMPARE(lastRowValues(logName).value(1), QStringLiteral("-5.3"));
    QCOMPARE(curves.temperature->sample(0).y(), -5.25);
    QCOMPARE(widget<QDoubleSpinBox>(&window, "PT100TempDoubleSpinBox")->value(), -5.25);

    // A precision stored between two ticks applies from the next row.
    const auto nextRow = [&](const char *group, const char *key, int value) {
        storeSetting(QLatin1String(group), QLatin1String(key), value);
        const size_t ticks = curves.ticks();
        if (!QTest::qWaitFor([&] { return curves.ticks() > ticks; }, 10000))
            return QStringList{ QStringLiteral("<no tick>") };
        return lastRowValues(logName);
    };
    QCOMPARE(nextRow("userConfig", "temperaturePrecision", 2).value(1), QStringLiteral("-5.25"));
    QCOMPARE(nextRow("userConfig", "temperaturePrecision", 0).value(1), QStringLiteral("-5"));
    // More than the options allow is kept to the options' range.
    QCOMPARE(nextRow("userConfig", "temperaturePrecision", 9).value(1), QStringLiteral("-5.25"));

    QStringList values = nextRow("userConfig", "speedPrecision", 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+$")).match(values.value(2)).hasMatch(), qPrintable(values.join(';')));
    values = nextRow("userConfig", "speedPrecision", 40);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d{6}$")).match(values.value(2)).hasMatch(),
             qPrintable(values.join(';')));
    QCOMPARE(values.value(0).toInt(), int(curves.irradiance->sample(curves.ticks() - 1).y()));

    read->click();
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(answerer.boxes().isEmpty());
    // Every row of the run is whole, whatever its precisions.
    const QStringList lines = readLogLines(logName);
    QCOMPARE(lines.size(), 1 + int(curves.ticks()));
    for (const QString &line : lines.mid(1)) {
        LogRow row;
        QVERIFY2(parseRow(line, &row) && row.values.size() == 3, qPrintable(line));
    }
}

void TestTimedReading::firmwareWithoutSpeedLeavesSpeedOut()
{
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    const Curves curves = curvesOf(&window);
    QVERIFY(curves.found());
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(window.firmware(), 0x80000123u);
    QCOMPARE(widget<QTabWidget>(&window, "tabWidget")->count(), 2);

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(window.isTimedReadingActive());
    const QString logName = window.currentLogFileName();
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 3; }, 10000));
    read->click();
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(answerer.boxes().isEmpty());

    const int ticks = int(curves.ticks());
    QCOMPARE(int(curves.temperature->sampleCount()), ticks);
    QCOMPARE(curves.speed->sampleCount(), size_t(0));

    const QStringList lines = readLogLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    QCOMPARE(lines.first(), Header2);
    for (const QString &line : lines.mid(1)) {
        LogRow row;
        QVERIFY2(parseRow(line, &row), qPrintable(line));
        QCOMPARE(row.values.size(), 2);
        QVERIFY2(IrradianceField.match(row.values[0]).hasMatch(), qPrintable(line));
        QVERIFY2(TemperatureField.match(row.values[1]).hasMatch(), qPrintable(line));
    }
    QCOMPARE(readAddresses(sensor.simulator.requests()), tickAddresses(ticks, { 0x0100, 0x0101 }));
}

void TestTimedReading::optionsDialogAppliesTheFirmwareToThePeriod()
{
    // A period stored at the last close, below what three reads need.
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer"), 2 * WorstReadMs + 20);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("temperaturePrecision"), 0);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("speedPrecision"), 4);
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    auto *spinBox = widget<QSpinBox>(&window, "readSpinBox");
    auto *slider = widget<QSlider>(&window, "readHorizontalSlider");
    auto *temperature = widget<QDoubleSpinBox>(&window, "PT100TempDoubleSpinBox");
    auto *speed = widget<QDoubleSpinBox>(&window, "speedDoubleSpinBox");
    const int formTemperatureDecimals = temperature->decimals();
    const int formSpeedDecimals = speed->decimals();

    // No firmware known at start: three reads.
    QCOMPARE(spinBox->minimum(), 3 * WorstReadMs);
    QCOMPARE(spinBox->value(), 3 * WorstReadMs);

    // Read all alone changes neither the range nor the decimals.
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(spinBox->minimum(), 3 * WorstReadMs);
    QCOMPARE(temperature->decimals(), formTemperatureDecimals);

    const auto useOptionsDialog = [&] {
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->close();
        });
        closer.start(20);
        window.findChild<QAction *>(QStringLiteral("actionOptions"))->trigger();
    };
    useOptionsDialog();
    // Two reads per tick now, and the stored period fits.
    QCOMPARE(spinBox->minimum(), 2 * WorstReadMs);
    QCOMPARE(slider->minimum(), 2 * WorstReadMs);
    QCOMPARE(spinBox->maximum(), 60000);
    QCOMPARE(slider->maximum(), 60000);
    QCOMPARE(spinBox->value(), 2 * WorstReadMs + 20);
    QCOMPARE(slider->value(), 2 * WorstReadMs + 20);
    QCOMPARE(temperature->decimals(), 0);
    // The sensor has no speed: its decimals stay as they were.
    QCOMPARE(speed->decimals(), formSpeedDecimals);

    // A damaged precision shows as the most the options allow.
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("temperaturePrecision"), 9);
    useOptionsDialog();
    QCOMPARE(temperature->decimals(), 2);
}

void TestTimedReading::readFailureEndsTheRowAndHoldsTicksBack()
{
    // The temperature register answers with an exception: every tick reads
    // the irradiance and then fails.
    SensorWindow sensor({ QStringLiteral("--exception-at"), QStringLiteral("0x0101") });
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    const Curves curves = curvesOf(&window);
    QVERIFY(curves.found());
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;
    const int period = widget<QSpinBox>(&window, "readSpinBox")->value();

    // The first tick runs before the timer starts; the second box is kept
    // open while the period elapses several times.
    const int holdMs = 3 * period + period / 2;
    PatientReader reader(sensor.simulator, [&](int box) { return box == 1 ? holdMs : 0; });
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(read->isChecked());
    QVERIFY(window.isTimedReadingActive());
    const QString logName = window.currentLogFileName();
    QVERIFY(!logName.isEmpty());
    QCOMPARE(reader.boxes.size(), 1);

    // The run goes on after the long box: further ticks, further boxes.
    QVERIFY(QTest::qWaitFor([&] { return reader.boxes.size() >= 4; }, 20000));
    QVERIFY(window.isTimedReadingActive());
    read->click();
    QVERIFY(!window.isTimedReadingActive());

    QCOMPARE(reader.mostOpenAtOnce, 1);
    // While the box was open no tick talked to the sensor.
    QCOMPARE(reader.boxes[1].requestsWhenAnswered, reader.boxes[1].requestsWhenShown);
    for (const PatientReader::Box &box : qAsConst(reader.boxes)) {
        QCOMPARE(box.title, QStringLiteral("Connection failed"));
        QCOMPARE(box.text, QStringLiteral("slave threw exception \"Illegal data address\" or function not implemented."));
    }

    // One tick per box: the irradiance is plotted, the temperature never.
    const int ticks = reader.boxes.size();
    QCOMPARE(int(curves.ticks()), ticks);
    QCOMPARE(curves.temperature->sampleCount(), size_t(0));
    QCOMPARE(curves.speed->sampleCount(), size_t(0));
    QCOMPARE(readAddresses(sensor.simulator.requests()), tickAddresses(ticks, { 0x0100, 0x0101 }));

    // Each cut row keeps what was read and ends there; the next row starts
    // on a line of its own.
    const QStringList lines = readLogLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    QCOMPARE(lines.first(), Header3);
    for (int i = 0; i < ticks; ++i) {
        const QString &line = lines.at(1 + i);
        LogRow row;
        QVERIFY2(parseRow(line, &row), qPrintable(line));
        QCOMPARE(row.values, QStringList{ QString::number(qint64(curves.irradiance->sample(size_t(i)).y())) });
    }
}

void TestTimedReading::unpluggedSensorDuringRun()
{
    SensorWindow sensor;
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    const Curves curves = curvesOf(&window);
    QVERIFY(curves.found());
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    const QString logName = window.currentLogFileName();
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 2; }, 10000));
    sensor.simulator.vanish();
    const size_t readTicks = curves.ticks();

    QVERIFY(answerer.waitForBoxes(2, 15000));
    QVERIFY(window.isTimedReadingActive());
    QVERIFY(read->isChecked());
    read->click();
    QVERIFY(!window.isTimedReadingActive());
    for (const ModalAnswerer::Box &box : answerer.boxes()) {
        QCOMPARE(box.title, QStringLiteral("I/O error"));
        QCOMPARE(box.text, QStringLiteral("I/O error: did not receive any data from slave."));
    }
    QCOMPARE(curves.ticks(), readTicks);

    // Whole rows while the sensor answered, then a row of timestamps alone
    // per failed tick.
    const QStringList lines = readLogLines(logName);
    QCOMPARE(lines.size(), 1 + int(readTicks) + answerer.boxes().size());
    for (int i = 1; i < lines.size(); ++i) {
        LogRow row;
        QVERIFY2(parseRow(lines[i], &row), qPrintable(lines[i]));
        QCOMPARE(row.values.size(), i <= int(readTicks) ? 3 : 0);
    }
}

void TestTimedReading::runThatCannotStartUnchecksRead()
{
    SensorWindow sensor;
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    const QDir work(environment.workingDirectory());

    // The log cannot be created: the working directory is gone (a removed
    // directory stops even root from creating files in it).
    {
        const QString gone = work.filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(gone));
        QVERIFY(QDir::setCurrent(gone));
        const auto backHome = qScopeGuard([&] { QDir::setCurrent(work.path()); });
        QVERIFY(QDir().rmdir(gone));

        ModalAnswerer answerer;
        read->click();
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes().first().title, QStringLiteral("Output file error"));
        QCOMPARE(int(answerer.boxes().first().icon), int(QMessageBox::Critical));
        QVERIFY2(QRegularExpression(QStringLiteral(
                         "^It's impossible to write to SN9000_\\d{4}_\\d\\d_\\d\\d@\\d\\d_\\d\\d_\\d\\d\\.csv$"))
                         .match(answerer.boxes().first().text).hasMatch(),
                 qPrintable(answerer.boxes().first().text));
        QVERIFY(!read->isChecked());
        QVERIFY(!window.isTimedReadingActive());
        // Only the serial number was read.
        QCOMPARE(readAddresses(sensor.simulator.requests()), QList<int>{ 0x8000 });
    }
    QVERIFY(work.entryList({ QStringLiteral("*.csv") }, QDir::Files).isEmpty());

    // A sensor that does not answer: the serial number cannot be read.
    sensor.pressOpenClose();
    SimulatorProcess silent({ QStringLiteral("--silent") });
    QVERIFY(silent.start());
    auto *ports = widget<QComboBox>(&window, "serialPortComboBox");
    QVERIFY(QTest::qWaitFor([&] { return ports->findText(silent.name(), Qt::MatchContains) >= 0; }, 10000));
    ports->setCurrentIndex(ports->findText(silent.name(), Qt::MatchContains));
    sensor.pressOpenClose();
    QVERIFY(window.isConnectionOpen());
    // The firmware read before keeps the timed reading usable.
    QVERIFY(read->isEnabled());

    ModalAnswerer answerer;
    read->click();
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("I/O error"));
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("I/O error: did not receive any data from slave."));
    QVERIFY(!read->isChecked());
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(window.currentLogFileName().isEmpty());
    QVERIFY(work.entryList({ QStringLiteral("*.csv") }, QDir::Files).isEmpty());
    const QList<SimRequest> requests = silent.requests();
    QVERIFY(!requests.isEmpty());
    for (const SimRequest &request : requests)
        QCOMPARE(request.address, 0x8000);

    // A period change after the failed start does not start a run.
    emit widget<QSpinBox>(&window, "readSpinBox")->editingFinished();
    QVERIFY(!window.isTimedReadingActive());
    QCOMPARE(answerer.boxes().size(), 1);
    sensor.pressOpenClose();
    silent.stop();
}

void TestTimedReading::closingThePortStopsTheRunAndPlotsKeepIt()
{
    SensorWindow sensor;
    QVERIFY(sensor.startSimulator());
    MainWindow &window = sensor.window();
    const Curves curves = curvesOf(&window);
    QVERIFY(curves.found());
    openAndReadAll(sensor);
    if (QTest::currentTestFailed())
        return;

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    const QString firstLog = window.currentLogFileName();
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 3; }, 10000));

    sensor.pressOpenClose();
    QVERIFY(!window.isConnectionOpen());
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(!read->isChecked());
    QVERIFY(window.currentLogFileName().isEmpty());
    for (const char *name : { "readCheckBox", "readHorizontalSlider", "readSpinBox", "tabWidget" })
        QVERIFY2(!widget<QWidget>(&window, name)->isEnabled(), name);
    const size_t ticks = curves.ticks();
    QCOMPARE(curves.temperature->sampleCount(), ticks);
    QCOMPARE(curves.speed->sampleCount(), ticks);
    const QStringList firstLines = readLogLines(firstLog);
    QCOMPARE(firstLines.size(), 1 + int(ticks));

    // Wait for the reset Read all scheduled, so that only the tick's own
    // reset greys the indicator below.
    QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == QLatin1String("Ready"); }, 5000));

    // Reopened, the plots still show the last run ...
    sensor.pressOpenClose();
    QVERIFY(window.isConnectionOpen());
    QVERIFY(read->isEnabled());
    QCOMPARE(curves.ticks(), ticks);

    // ... until the next run's first sample replaces it. A long period keeps
    // the second tick away; the indicator's flash stops at one second.
    widget<QSpinBox>(&window, "readSpinBox")->setValue(20000);
    read->click();
    QElapsedTimer sinceTick;
    sinceTick.start();
    QVERIFY(window.isTimedReadingActive());
    QCOMPARE(curves.irradiance->sampleCount(), size_t(1));
    QCOMPARE(curves.temperature->sampleCount(), size_t(1));
    QCOMPARE(curves.speed->sampleCount(), size_t(1));
    QCOMPARE(curves.irradiance->sample(0).x(), 0.0);
    QCOMPARE(statusStyle(&window), GreenIndicator);
    QVERIFY(QTest::qWaitFor([&] { return statusStyle(&window) == GreyIndicator; }, 10000));
    const qint64 flashMs = sinceTick.elapsed();
    QVERIFY2(flashMs >= 990 && flashMs < 3000, qPrintable(QString::number(flashMs)));

    const QString secondLog = window.currentLogFileName();
    read->click();
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(answerer.boxes().isEmpty());

    // Each run has its log: the first stays as it was (unless the second
    // started within the same second and replaced it).
    QCOMPARE(readLogLines(secondLog).size(), 2);
    if (secondLog != firstLog)
        QCOMPARE(readLogLines(firstLog), firstLines);
}

QTEST_MAIN(TestTimedReading)
#include "tst_timedreading.moc"
