// kelvaset-logger as a service runs it: a process on its own against the
// sensor simulator, judged by its files, its journal, its exit code and what
// a broker received.

#include "feed/feedmessages.h"
#include "loggerprocess.h"
#include "mosquittobroker.h"
#include "mqttsubscriber.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>
#include <unistd.h>

namespace {

using Logger = LoggerProcess;

// The rows of the CSV files matching pattern in directory, in name order,
// split in fields. whole: every file ends in a whole line and every row has
// as many fields as its header.
QList<QStringList> rowsOf(const QString &directory, const QString &pattern, bool *whole = nullptr)
{
    QList<QStringList> rows;
    if (whole)
        *whole = true;
    for (const QFileInfo &info : QDir(directory).entryInfoList({ pattern }, QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QStringList lines = QString::fromLatin1(content.left(content.lastIndexOf('\n'))).split(QLatin1Char('\n'));
        const int fields = lines.takeFirst().count(QLatin1Char(';'));
        for (const QString &line : lines) {
            rows << line.split(QLatin1Char(';'));
            if (whole)
                *whole = *whole && line.count(QLatin1Char(';')) == fields && content.endsWith('\n');
        }
    }
    return rows;
}

// A records row: the interval's end, then mean, minimum, maximum, deviation
// and count of each value.
int irradianceCount(const QStringList &row) { return row.value(5).toInt(); }

} // namespace

class TestLineLogger : public QObject
{
    Q_OBJECT

    TestEnvironment environment;
    QString out = environment.workingDirectory() + QStringLiteral("/out");

private slots:
    void init() { QDir(out).removeRecursively(); }

    void logsThroughFaultsAndStopsWhole()
    {
        // The second sensor is a clone of the first: same serial number.
        SimulatorProcess first({ "--sensor", "1:9001", "--sensor", "2:9001", "--fault-sensor", "2", "--silent-from", "40:90" });
        QVERIFY(first.start());
        Logger logger({ "--port", first.name(), "--address", "1,2", "--period", "100", "--record", "1", "--out", out });

        // The clone keeps files of its own. A silent sensor leaves a gap in
        // its own file; the other goes on.
        QTRY_VERIFY_WITH_TIMEOUT(logger.says(QStringLiteral("(address 2) answers again")), 15000);
        QVERIFY(logger.says(QStringLiteral("(address 2) does not answer"))
                && logger.says(QStringLiteral("(address 2) answers with the serial number of another sensor")));
        QVERIFY(rowsOf(out, "SN9001_2*@*.csv").size() > rowsOf(out, "SN9001_A2_*@*.csv").size() + 3);
        QTRY_VERIFY_WITH_TIMEOUT(rowsOf(out, "SN9001_A2_*_records.csv").size() >= 3, 10000);
        for (const QStringList &row : rowsOf(out, "SN9001_*_records.csv")) {
            // Samples every 100 ms: some ten in a second's interval, the mean amid the extremes.
            QVERIFY2(irradianceCount(row) <= 11, qPrintable(row.join(';')));
            QVERIFY2(irradianceCount(row) == 0 || (row[2].toDouble() <= row[1].toDouble() && row[1].toDouble() <= row[3].toDouble()),
                     qPrintable(row.join(';')));
        }

        // A second logger on the port is refused and told who holds it.
        Logger second({ "--port", first.name(), "--address", "1", "--out", out + "/second" });
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 3);
        QVERIFY2(second.says(QStringLiteral("kelvaset-logger (process %1)").arg(logger.processId())), qPrintable(second.journal));

        // Unplugged: the intervals without a sample get their rows; plugged in
        // again, the rows go on in the same files.
        first.vanish();
        QTRY_VERIFY(logger.says(QStringLiteral("was unplugged")));
        const int rawRows = rowsOf(out, "SN9001_2*@*.csv").size();
        const auto emptyInterval = [this] {
            const QList<QStringList> rows = rowsOf(out, "SN9001_2*_records.csv");
            return std::any_of(rows.begin(), rows.end(), [](const QStringList &row) { return irradianceCount(row) == 0; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(emptyInterval(), 5000);
        SimulatorProcess again({ "--sensor", "1:9001", "--sensor", "2:9001" }, first.name());
        QVERIFY(again.start());
        QTRY_VERIFY_WITH_TIMEOUT(logger.says(QStringLiteral("is back")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rowsOf(out, "SN9001_2*@*.csv").size() > rawRows + 3, 10000);
        QCOMPARE(QDir(out).entryList({ "SN9001_2*@*.csv" }).size(), 1);

        QCOMPARE(logger.stop(), 0);
        QVERIFY(logger.says(QStringLiteral("stopped")));
        bool whole = false;
        QVERIFY(rowsOf(out, "*.csv", &whole).size() > 20);
        QVERIFY(whole);
    }

    // A pseudo-terminal no port list shows, as socat or ser2net make them,
    // is a port as good as a listed one.
    void readsAnySerialDevice()
    {
        SimulatorProcess sensor({ "--sensor", "1:9001" });
        QVERIFY(sensor.start());
        // Its own runtime directory: the simulator's announcement is not seen.
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        const QString device = QFileInfo(sensor.linkPath()).canonicalFilePath();
        QVERIFY(device.startsWith(QStringLiteral("/dev/pts/")));
        Logger logger({ "--port", device, "--address", "1", "--period", "100", "--out", out }, environment);
        QTRY_VERIFY_WITH_TIMEOUT(logger.says(QStringLiteral("open at")), 10000);
        QVERIFY2(!logger.says(QStringLiteral("waiting for it")), qPrintable(logger.journal));
        QTRY_VERIFY_WITH_TIMEOUT(rowsOf(out, "SN9001_*@*.csv").size() >= 3, 10000);
        QCOMPARE(logger.stop(), 0);
    }

    // A port the account may not use ends the logger with a code of its
    // own, which the service does not restart on, naming the device's group.
    void endsOnAPortItMayNotUse()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to run the logger as another account");
        SimulatorProcess sensor({ "--sensor", "1:9001" });
        QVERIFY(sensor.start());
        const QString device = QFileInfo(sensor.linkPath()).canonicalFilePath();
        QFileInfo node(device);
        if (node.permissions() & QFileDevice::ReadOther)
            QSKIP("the pseudo-terminal is readable by every account");
        QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kelvaset-nobody-XXXXXX"));
        QVERIFY(::chown(QFile::encodeName(home.path()).constData(), 65534, 65534) == 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        Logger logger({ "--port", device, "--address", "1", "--out", home.path() + QStringLiteral("/out") }, environment,
                      { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" });
        QVERIFY(logger.waitForFinished(10000));
        logger.says(QString());
        QVERIFY2(logger.exitCode() == 4, qPrintable(logger.journal));
        QVERIFY2(logger.says(QStringLiteral("which belongs to the group \"%1\"").arg(node.group())), qPrintable(logger.journal));
        QVERIFY(logger.says(QStringLiteral("exit code 4, which the service does not retry")));
    }

    void feedsABrokerThatGoesAway()
    {
        MosquittoBroker broker;
        QVERIFY(broker.start());
        MqttSubscriber subscriber(broker.port(), QStringLiteral("watcher"));
        SimulatorProcess sensor({ "--sensor", "1:9001" });
        QVERIFY(sensor.start());
        Logger logger({ "--port", sensor.name(), "--address", "1", "--period", "100", "--record", "1", "--out", out,
                        "--mqtt", QStringLiteral("127.0.0.1:%1").arg(broker.port()) });
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(recordTopic(9001)).size() >= 2, 10000);
        QVERIFY(!subscriber.payloads(sampleTopic(9001)).isEmpty());

        broker.stop();
        QTRY_VERIFY(logger.says(QStringLiteral("away")));
        const int rows = rowsOf(out, "*_records.csv").size();
        QTRY_VERIFY_WITH_TIMEOUT(rowsOf(out, "*_records.csv").size() >= rows + 3, 10000);
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(logger.says(QStringLiteral("connected")) == 2, 20000);
        QCOMPARE(logger.stop(), 0);
        // The stop itself is no broker going away.
        QCOMPARE(logger.says(QStringLiteral("away")), 1);

        // Every interval of the file reached the broker, and the sensor is offline.
        const QRegularExpression time(QStringLiteral("\"time\":\"([^\"]+)\""));
        const auto published = [&] {
            QSet<QString> times;
            for (const QString &payload : subscriber.payloads(recordTopic(9001)))
                times << time.match(payload).captured(1);
            return times;
        };
        for (const QStringList &row : rowsOf(out, "*_records.csv"))
            QTRY_VERIFY2(published().contains(row.first()), qPrintable(row.first()));
        QTRY_COMPARE(subscriber.payloads(statusTopic(9001)).last(), QStringLiteral("offline"));
    }
};

QTEST_GUILESS_MAIN(TestLineLogger)
#include "tst_linelogger.moc"
