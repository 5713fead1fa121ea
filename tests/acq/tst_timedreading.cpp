// Measurement runs driven as the technician drives them: through the
// window's controls, against the sensor simulator, judged by the CSV log on
// disk, the plotted curves, the status bar and what the sensor was asked.

#include "acq/livecurve.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "resources.h"
#include "sensorwindow.h"
#include "simrequests.h"
#include "testenvironment.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QSpinBox>
#include <QtTest>

#include <qwt_plot.h>

#include <cmath>

using namespace WindowTest;

namespace {

// Transfer timings of these tests: short, yet long enough for the simulator
// to answer on a busy machine. The worst case of one read over both
// attempts is 2 * (30 + 30) + 10 * 2 * 1 ms.
const int WorstReadMs = 140;

const QString GreenIndicator = QStringLiteral("background: #0b0;");
const QString GreyIndicator = QStringLiteral("background: #aaa;");
const QString RedIndicator = QStringLiteral("background: #b00;");
const QString LogName = QStringLiteral("SN9000_(\\d{4}_\\d\\d_\\d\\d@\\d\\d_\\d\\d_\\d\\d)\\.csv");
const QList<int> FullTick = { 0x0100, 0x0101, 0x0103 };

// A data line: the tick's local time and milliseconds, then the values.
QRegularExpression rowPattern(const QString &values)
{
    return QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d;\\d{3};") + values + '$');
}

LiveCurve *curveOf(QWidget *window, const char *plotName)
{
    for (QwtPlotItem *item : widget<QwtPlot>(window, plotName)->itemList()) {
        if (auto *curve = dynamic_cast<LiveCurve *>(item))
            return curve;
    }
    return nullptr;
}

using Counts = QVector<size_t>;

// Taken before Read all, which may take the Speed tab away.
struct Curves
{
    explicit Curves(QWidget *window)
        : irradiance(curveOf(window, "irradianceQwtPlot")),
          temperature(curveOf(window, "temperatureQwtPlot")),
          speed(curveOf(window, "speedQwtPlot"))
    {
    }
    size_t ticks() const { return irradiance->sampleCount(); }
    Counts counts() const { return { ticks(), temperature->sampleCount(), speed->sampleCount() }; }

    LiveCurve *irradiance;
    LiveCurve *temperature;
    LiveCurve *speed;
};

// The log's lines; empty unless every line, the last one included, ends in
// a plain LF.
QStringList logLines(const QString &fileName)
{
    QFile file(fileName);
    const QByteArray content = !fileName.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (!content.endsWith('\n') || content.contains('\r'))
        return {};
    return QString::fromLatin1(content.chopped(1)).split(QLatin1Char('\n'));
}

int rowCount(const QString &fileName)
{
    return qMax(0, logLines(fileName).size() - 1);
}

// The registers asked for, in order; a retry is counted once.
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

// A run's requests: the serial number at the start, then each tick's reads.
QList<int> runAddresses(int ticks, const QList<int> &perTick)
{
    QList<int> addresses = { 0x8000 };
    for (int i = 0; i < ticks; ++i)
        addresses += perTick;
    return addresses;
}

// Starts the simulator, opens its port once the window lists it and reads
// everything, which tells the window the firmware and so enables the timed
// reading; forgets those requests.
bool openAndReadAll(SensorWindow &sensor)
{
    if (!sensor.startSimulator() || !QTest::qWaitFor([&] { return sensor.selectSimulatorPort(); }, 10000))
        return false;
    sensor.pressOpenClose();
    sensor.click("readAllPushButton");
    sensor.simulator.clearRequests();
    return statusText(&sensor.window()) == QLatin1String("Values successfully retrieved");
}

QString pausedMessage(const SimulatorProcess &simulator)
{
    return QStringLiteral("%1 was unplugged: the reading is paused until it is back.").arg(simulator.name());
}

bool openPortOf(SensorWindow &sensor, const SimulatorProcess &simulator)
{
    auto *ports = widget<QComboBox>(&sensor.window(), "serialPortComboBox");
    if (!QTest::qWaitFor([&] { return ports->findText(simulator.name(), Qt::MatchContains) >= 0; }, 10000))
        return false;
    ports->setCurrentIndex(ports->findText(simulator.name(), Qt::MatchContains));
    sensor.pressOpenClose();
    return sensor.window().isConnectionOpen();
}

} // namespace

class TestTimedReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runLogsAndPlotsEveryTick();
    void firmwareWithoutSpeedLeavesSpeedOut();
    void failedReadEndsTheRowAndTicksNeverNest();
    void runThatCannotStartOrLogStops();
    void closedPortEndsTheRunAndPlotsKeepItUntilTheNextSample();
    void unpluggedPortPausesTheRunUntilItIsBack();
    void portGoneDuringATickLeavesNoRowNorBox();

private:
    TestEnvironment environment;
};

void TestTimedReading::initTestCase()
{
    registerImageResources();
    // A comma locale: the log must keep writing "." whatever the user runs.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
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

void TestTimedReading::runLogsAndPlotsEveryTick()
{
    SensorWindow sensor({ QStringLiteral("--temperature"), QStringLiteral("-5.25") });
    MainWindow &window = sensor.window();
    const Curves curves(&window);
    QVERIFY(openAndReadAll(sensor));
    QCOMPARE(window.firmware(), 0x80010000u);
    const int period = widget<QSpinBox>(&window, "readSpinBox")->value();

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    const QDateTime started = QDateTime::currentDateTime();
    read->click();

    // The first tick comes at once and flashes the indicator green for a
    // quarter of the period (seen here up to a poll late); the reset clears
    // the message too.
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() == 1; }, 5000));
    QCOMPARE(statusStyle(&window), GreenIndicator);
    QElapsedTimer sinceFirstTick;
    sinceFirstTick.start();
    QVERIFY(QTest::qWaitFor([&] { return statusStyle(&window) == GreyIndicator; }, 5000));
    QVERIFY2(sinceFirstTick.elapsed() >= period / 4 - 20, qPrintable(QString::number(sinceFirstTick.elapsed())));
    QCOMPARE(statusText(&window), QString());

    // Named after the start, in the working directory.
    const QString logName = window.currentLogFileName();
    const QRegularExpressionMatch name = QRegularExpression(QStringLiteral("^%1$").arg(LogName)).match(logName);
    QVERIFY2(name.hasMatch(), qPrintable(logName));
    const QDateTime nameTime = QDateTime::fromString(name.captured(1), QStringLiteral("yyyy_MM_dd@HH_mm_ss"));
    QVERIFY(nameTime >= started.addMSecs(-started.time().msec()) && nameTime <= QDateTime::currentDateTime());
    QVERIFY(QFile::exists(QDir(environment.workingDirectory()).filePath(logName)));

    // Precisions stored during the run (by the options dialog) apply from
    // the next row on.
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 5; }, 15000));
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("temperaturePrecision"), 2);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("speedPrecision"), 6);
    const int rowsAtDefaultPrecision = rowCount(logName);
    QVERIFY(QTest::qWaitFor([&] { return rowCount(logName) > rowsAtDefaultPrecision; }, 10000));
    // Stopped between two ticks, so that every request made has its row.
    QVERIFY(sensor.waitUntilIdle());
    read->click();
    QVERIFY(sensor.waitUntilIdle());
    QVERIFY(answerer.boxes().isEmpty());

    const int ticks = int(curves.ticks());
    QCOMPARE(curves.counts(), Counts(3, ticks));
    const QStringList lines = logLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    QCOMPARE(lines.first(), QStringLiteral("TIMESTAMP;MS;IRRADIANCE;TEMP;SPEED;"));
    const QRegularExpression defaultRow = rowPattern(QStringLiteral("(\\d+);-5\\.3;(-?\\d+\\.\\d{2});"));
    const QRegularExpression preciseRow = rowPattern(QStringLiteral("(\\d+);-5\\.25;(-?\\d+\\.\\d{6});"));
    QCOMPARE(curves.irradiance->sample(0).x(), 0.0);
    double previousX = 0.0;
    for (int i = 0; i < ticks; ++i) {
        const bool precise = i >= rowsAtDefaultPrecision;
        const QRegularExpressionMatch values = (precise ? preciseRow : defaultRow).match(lines.at(1 + i));
        QVERIFY2(values.hasMatch(), qPrintable(lines.at(1 + i)));
        // The log and the plots tell the same reads, the plots unrounded,
        // at one x per tick: the whole seconds since the start.
        const size_t tick = size_t(i);
        const QPointF irradiance = curves.irradiance->sample(tick), temperature = curves.temperature->sample(tick),
                      speed = curves.speed->sample(tick);
        QCOMPARE(values.captured(1).toDouble(), irradiance.y());
        QCOMPARE(temperature.y(), -5.25);
        QVERIFY(qAbs(values.captured(2).toDouble() - speed.y()) <= (precise ? 5e-7 : 5e-3) + 1e-9);
        QVERIFY(temperature.x() == irradiance.x() && speed.x() == irradiance.x());
        QVERIFY(irradiance.x() == std::floor(irradiance.x()) && irradiance.x() >= previousX);
        previousX = irradiance.x();
    }
    QCOMPARE(readAddresses(sensor.simulator.requests()), runAddresses(ticks, FullTick));
}

// Read all alone leaves the period range alone; the options dialog applies
// the firmware to it, and the run then reads and logs no speed.
void TestTimedReading::firmwareWithoutSpeedLeavesSpeedOut()
{
    // A period stored at the last close, below what three reads need.
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("readTimer"), 2 * WorstReadMs + 20);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("temperaturePrecision"), 0);
    storeSetting(QStringLiteral("userConfig"), QStringLiteral("speedPrecision"), 4);
    SensorWindow sensor({ QStringLiteral("--firmware"), QStringLiteral("0x80000123") });
    MainWindow &window = sensor.window();
    const Curves curves(&window);
    auto *spinBox = widget<QSpinBox>(&window, "readSpinBox");
    auto *speed = widget<QDoubleSpinBox>(&window, "speedDoubleSpinBox");
    const int formSpeedDecimals = speed->decimals();
    QVERIFY(openAndReadAll(sensor));
    QCOMPARE(spinBox->minimum(), 3 * WorstReadMs);

    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->close();
    });
    closer.start(20);
    window.findChild<QAction *>(QStringLiteral("actionOptions"))->trigger();
    // Two reads per tick now, and the stored period fits.
    QCOMPARE(spinBox->minimum(), 2 * WorstReadMs);
    QCOMPARE(spinBox->value(), 2 * WorstReadMs + 20);
    QCOMPARE(widget<QDoubleSpinBox>(&window, "PT100TempDoubleSpinBox")->decimals(), 0);
    QCOMPARE(speed->decimals(), formSpeedDecimals);

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 3; }, 10000));
    const QString logName = window.currentLogFileName();
    QVERIFY(sensor.waitUntilIdle());
    read->click();
    QVERIFY(answerer.boxes().isEmpty());

    const int ticks = int(curves.ticks());
    QCOMPARE(curves.counts(), (Counts{ size_t(ticks), size_t(ticks), 0 }));
    const QStringList lines = logLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    QCOMPARE(lines.first(), QStringLiteral("TIMESTAMP;MS;IRRADIANCE;TEMP;"));
    const QRegularExpression row = rowPattern(QStringLiteral("\\d+;-?\\d+;"));
    for (const QString &line : lines.mid(1))
        QVERIFY2(row.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(readAddresses(sensor.simulator.requests()), runAddresses(ticks, { 0x0100, 0x0101 }));
}

void TestTimedReading::failedReadEndsTheRowAndTicksNeverNest()
{
    // The temperature register answers with an exception: every tick reads
    // the irradiance and then fails.
    SensorWindow sensor({ QStringLiteral("--exception-at"), QStringLiteral("0x0101") });
    MainWindow &window = sensor.window();
    const Curves curves(&window);
    QVERIFY(openAndReadAll(sensor));
    auto *periodBox = widget<QSpinBox>(&window, "readSpinBox");
    const int period = periodBox->value();

    // The first two boxes, the first from the tick at the start, the second
    // from a timer tick, are kept open while the period elapses several
    // times, and meanwhile a new period is entered, which would start a
    // tick at once were none under way; the others are answered at once.
    const int holdMs = 3 * period + period / 2;
    int boxes = 0, mostOpenAtOnce = 0, requestsWhenShown = 0, requestsWhileHeld = 0;
    QString title, text;
    QPointer<QMessageBox> current;
    QElapsedTimer shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        int open = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            open += qobject_cast<QMessageBox *>(widget) && widget->isVisible();
        mostOpenAtOnce = qMax(mostOpenAtOnce, open);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible() && box != current) {
            current = box;
            shown.start();
            ++boxes;
            title = box->windowTitle();
            text = box->text();
            requestsWhenShown = sensor.simulator.requests().size();
            if (boxes <= 2) {
                periodBox->setValue(period + 10 * boxes);
                emit periodBox->editingFinished();
            }
        }
        if (current && current->isVisible() && shown.elapsed() >= (boxes <= 2 ? holdMs : 0)) {
            requestsWhileHeld += sensor.simulator.requests().size() - requestsWhenShown;
            std::exchange(current, nullptr)->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(10);
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return boxes >= 4; }, 20000));
    const QString logName = window.currentLogFileName();
    QVERIFY(read->isChecked() && window.isTimedReadingActive());
    QVERIFY(QTest::qWaitFor([&] { return !current && !window.isBusy(); }, 10000));
    read->click();

    // No tick talked to the sensor, nor opened another box, meanwhile.
    QCOMPARE(mostOpenAtOnce, 1);
    QCOMPARE(requestsWhileHeld, 0);
    QCOMPARE(title, QStringLiteral("Connection failed"));
    QCOMPARE(text, QStringLiteral("slave threw exception \"Illegal data address\" or function not implemented."));

    // One tick per box; each row keeps what was read and ends there, so the
    // next row starts on a line of its own.
    const int ticks = boxes;
    QCOMPARE(curves.counts(), (Counts{ size_t(ticks), 0, 0 }));
    QCOMPARE(readAddresses(sensor.simulator.requests()), runAddresses(ticks, { 0x0100, 0x0101 }));
    const QStringList lines = logLines(logName);
    QCOMPARE(lines.size(), 1 + ticks);
    for (int i = 1; i <= ticks; ++i) {
        const QString irradiance = QString::number(qint64(curves.irradiance->sample(size_t(i - 1)).y()));
        QVERIFY2(rowPattern(irradiance + QLatin1Char(';')).match(lines[i]).hasMatch(), qPrintable(lines[i]));
    }
}

void TestTimedReading::runThatCannotStartOrLogStops()
{
    SensorWindow sensor;
    MainWindow &window = sensor.window();
    QVERIFY(openAndReadAll(sensor));
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    const int period = widget<QSpinBox>(&window, "readSpinBox")->value();
    const QDir work(environment.workingDirectory());
    ModalAnswerer answerer;
    const auto stopped = [&] { return !read->isChecked() && !window.isTimedReadingActive(); };

    // The log cannot be created: the working directory is gone (a removed
    // directory stops even root from creating files in it).
    const QString gone = work.filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkpath(gone) && QDir::setCurrent(gone) && QDir().rmdir(gone));
    read->click();
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(answerer.boxes().first().title, QStringLiteral("Output file error"));
    QCOMPARE(int(answerer.boxes().first().icon), int(QMessageBox::Critical));
    QVERIFY2(QRegularExpression(QStringLiteral("^It's impossible to write to %1$").arg(LogName))
                     .match(answerer.boxes().first().text).hasMatch(),
             qPrintable(answerer.boxes().first().text));
    QVERIFY(stopped());

    // The log's folder goes away during the run: the next row cannot be
    // written, and the run stops with one box.
    const QString removed = work.filePath(QStringLiteral("removed"));
    QVERIFY(QDir().mkpath(removed) && QDir::setCurrent(removed));
    answerer.clear();
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 2; }, 10000));
    const QString logName = window.currentLogFileName();
    QVERIFY(QFile::remove(logName) && QDir().rmdir(removed));
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(shownBoxes(answerer), QStringList(QStringLiteral("Output file error: It's impossible to write to ")
                                               + logName));
    QVERIFY(stopped());
    QVERIFY(sensor.waitUntilIdle());
    sensor.simulator.clearRequests();
    // Waits out a few periods: no tick, and no second box.
    QVERIFY(!answerer.waitForBoxes(2, 3 * period));
    QCOMPARE(describe(sensor.simulator.requests()), QStringList());
    QDir::setCurrent(work.path());

    // A sensor that does not answer: the serial number cannot be read. The
    // firmware read before keeps the timed reading usable.
    sensor.pressOpenClose();
    SimulatorProcess silent({ QStringLiteral("--silent") });
    QVERIFY(silent.start());
    QVERIFY(openPortOf(sensor, silent));
    answerer.clear();
    read->click();
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(shownBoxes(answerer), QStringList(QStringLiteral("I/O error: I/O error: did not receive any data "
                                                              "from slave.")));
    QVERIFY(stopped());
    QVERIFY(work.entryList({ QStringLiteral("*.csv") }, QDir::Files).isEmpty());
    sensor.pressOpenClose();
}

void TestTimedReading::closedPortEndsTheRunAndPlotsKeepItUntilTheNextSample()
{
    SensorWindow sensor;
    MainWindow &window = sensor.window();
    const Curves curves(&window);
    QVERIFY(openAndReadAll(sensor));

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return curves.ticks() >= 3; }, 10000));
    const Counts lastRun(3, curves.ticks());

    sensor.pressOpenClose();
    QVERIFY(!window.isTimedReadingActive());
    QVERIFY(!read->isChecked());
    QVERIFY(window.currentLogFileName().isEmpty());
    QCOMPARE(curves.counts(), lastRun);
    QVERIFY(answerer.boxes().isEmpty());

    // Another sensor, whose first tick fails (both attempts at the
    // irradiance get a garbled reply): the plots keep the last run until
    // the new run brings its first sample, a second later.
    SimulatorProcess next({ QStringLiteral("--garbage-at"), QStringLiteral("2"), QStringLiteral("--garbage-at"),
                            QStringLiteral("3"), QStringLiteral("--temperature"), QStringLiteral("-5.25") });
    QVERIFY(next.start());
    QVERIFY(openPortOf(sensor, next));
    QCOMPARE(curves.counts(), lastRun);
    widget<QSpinBox>(&window, "readSpinBox")->setValue(1000);
    read->click();
    QVERIFY(answerer.waitForBoxes(1));
    QCOMPARE(curves.counts(), lastRun);
    QVERIFY(QTest::qWaitFor([&] { return curves.temperature->sample(0).y() == -5.25; }, 10000));
    QCOMPARE(curves.counts(), Counts(3, 1));
    QVERIFY(sensor.waitUntilIdle());
    read->click();
    QCOMPARE(answerer.boxes().size(), 1);
}

void TestTimedReading::unpluggedPortPausesTheRunUntilItIsBack()
{
    // A line other than the default, which the port must be reopened at.
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialBitRate"), 4);
    storeSetting(QStringLiteral("serialConfig"), QStringLiteral("serialDataBitStopParity"), 2);
    const QStringList line = { QStringLiteral("--bitrate"), QStringLiteral("4"), QStringLiteral("--serialconf"),
                               QStringLiteral("2") };
    SensorWindow sensor(line);
    MainWindow &window = sensor.window();
    const Curves curves(&window);
    QVERIFY(openAndReadAll(sensor));
    const int period = widget<QSpinBox>(&window, "readSpinBox")->value();

    ModalAnswerer answerer;
    auto *read = widget<QCheckBox>(&window, "readCheckBox");
    read->click();
    QVERIFY(QTest::qWaitFor([&] { return rowCount(window.currentLogFileName()) >= 2; }, 10000));
    const QString logName = window.currentLogFileName();

    sensor.simulator.vanish();
    const QString paused = pausedMessage(sensor.simulator);
    QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == paused; }, 5000));
    const int rowsBefore = rowCount(logName);
    // Waits out the port notices (2 s) and several periods: no row and no
    // box meanwhile, and the message stays.
    QVERIFY(!QTest::qWaitFor([&] { return rowCount(logName) != rowsBefore || !answerer.boxes().isEmpty(); },
                             qMax(2500, 5 * period)));
    QCOMPARE(statusText(&window), paused);
    QCOMPARE(statusStyle(&window), RedIndicator);
    QVERIFY(read->isChecked() && window.isTimedReadingActive());

    // The same adapter is plugged in again: the run goes on, in the same log.
    SimulatorProcess back(line, sensor.simulator.name());
    QVERIFY(back.start());
    QVERIFY(QTest::qWaitFor([&] { return rowCount(logName) >= rowsBefore + 2; }, 10000));
    QCOMPARE(window.currentLogFileName(), logName);
    QVERIFY(sensor.waitUntilIdle());
    read->click();
    QVERIFY(answerer.boxes().isEmpty());
    QVERIFY(statusText(&window) != paused);

    const int rowsAfter = rowCount(logName) - rowsBefore;
    const QList<SimRequest> resumed = back.requests();
    for (const SimRequest &request : resumed)
        QVERIFY2(request.answered && request.baud == 115200 && request.odd, qPrintable(describe(request)));
    QCOMPARE(readAddresses(resumed), runAddresses(rowsAfter, FullTick).mid(1));

    // Each curve breaks once, between the samples before and after the gap.
    for (const LiveCurve *curve : { curves.irradiance, curves.temperature, curves.speed }) {
        QList<size_t> gaps;
        for (size_t i = 0; i < curve->sampleCount(); ++i) {
            if (std::isnan(curve->sample(i).y()))
                gaps << i;
        }
        QCOMPARE(gaps.size(), 1);
        const size_t gap = gaps.first();
        QVERIFY(gap >= size_t(rowsBefore));
        QCOMPARE(curve->sampleCount() - gap - 1, size_t(rowsAfter));
        QVERIFY(curve->sample(gap - 1).x() <= curve->sample(gap).x());
        QVERIFY(curve->sample(gap).x() <= curve->sample(gap + 1).x());
    }
}

// The port goes from the list while a tick is under way and the line still
// answers its current request: the rest of the tick is given up with the
// pause, without a row or a box.
void TestTimedReading::portGoneDuringATickLeavesNoRowNorBox()
{
    // Slow replies keep the first tick under way for a while.
    storeTransferTiming(300, 30, 2, 10);
    SensorWindow sensor({ QStringLiteral("--reply-delay"), QStringLiteral("150") });
    MainWindow &window = sensor.window();
    QVERIFY(openAndReadAll(sensor));
    ModalAnswerer answerer;
    widget<QCheckBox>(&window, "readCheckBox")->click();
    // The log is there once the first tick has started.
    QVERIFY(QTest::qWaitFor([&] { return !window.currentLogFileName().isEmpty(); }, 10000));
    const QString logName = window.currentLogFileName();
    QVERIFY(QFile::remove(sensor.simulator.linkPath()));
    QVERIFY(QTest::qWaitFor([&] { return statusText(&window) == pausedMessage(sensor.simulator); }, 5000));
    QVERIFY(sensor.waitUntilIdle());
    QCOMPARE(rowCount(logName), 0);
    QCOMPARE(shownBoxes(answerer), QStringList());
}

QTEST_MAIN(TestTimedReading)
#include "tst_timedreading.moc"
