#include "logger/loggeroptions.h"

#include <QtTest>

// The logger's command line, read without starting it.
class TestLoggerOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

    LoggerCommandLine parse(const QStringList &arguments)
    {
        return parseLoggerCommandLine(QStringList(QStringLiteral("kelvaset-logger")) + arguments);
    }

private slots:
    void refusesWhatCannotRun()
    {
        const QStringList line = { "--port", "ttyUSB0", "--address", "1" };
        const QStringList refused[] = {
            {}, { "--port", "ttyUSB0" }, { "a.kelvaset", "--port", "ttyUSB0", "--address", "1" },
            { directory.filePath("missing.kelvaset") }, { "--port", "ttyUSB0", "--address", "1,1" },
            { "--port", "ttyUSB0", "--address", "248" }, line + QStringList { "--bit-rate", "14400" },
            line + QStringList { "--framing", "7N1" }, line + QStringList { "--period", "0" },
            line + QStringList { "--record", "7" }, line + QStringList { "--mqtt-queue", "10" },
            line + QStringList { "--mqtt", "broker:65536" },
            line + QStringList { "--mqtt", "broker", "--mqtt-password-file", directory.filePath("none") },
            line + QStringList { "--mqtt", "broker", "--mqtt-tls-ca", directory.filePath("none") },
            line + QStringList { "--mqtt", "broker", "--mqtt-queue", "0" }, line + QStringList { "--verbose" },
            { "--port", "/dev/null", "--address", "1" }, { "--port", directory.path(), "--address", "1" },
        };
        for (const QStringList &arguments : refused) {
            const LoggerCommandLine result = parse(arguments);
            QVERIFY2(result.action == LoggerCommandLine::Action::Refuse && !result.text.isEmpty(),
                     qPrintable(arguments.join(QLatin1Char(' '))));
        }
    }

    void takesTheProjectOrTheLine()
    {
        ProjectFile project;
        project.portIdentity = QStringLiteral("usb-0403-6001-A1");
        project.bitRateCode = 2;
        project.framingCode = 3;
        project.sensors = { { 1, 9001, QStringLiteral("east") }, { 5, 0, QString() } };
        const QString path = directory.filePath(QStringLiteral("roof.kelvaset"));
        QString error;
        QVERIFY2(project.save(path, &error), qPrintable(error));
        QFile password(directory.filePath(QStringLiteral("password")));
        QVERIFY(password.open(QIODevice::WriteOnly) && password.write("s3cret \nnext line\n") > 0);
        password.close();

        LoggerCommandLine result = parse({ path, "--period", "500", "--record", "60", "--out", "logs", "--mqtt",
                                           "[::1]:8883", "--mqtt-password-file", password.fileName() });
        QVERIFY2(result.action == LoggerCommandLine::Action::Run, qPrintable(result.text));
        const LoggerOptions &options = result.options;
        QCOMPARE(options.line.portIdentity, project.portIdentity);
        QCOMPARE(options.line.framingCode, 3);
        QCOMPARE(options.line.sensors.size(), 2);
        QCOMPARE(options.line.periodMs, 500);
        QCOMPARE(options.outputDirectory, QDir::current().absoluteFilePath(QStringLiteral("logs")));
        QCOMPARE(options.mqtt.host, QStringLiteral("::1"));
        QCOMPARE(options.mqtt.port, 8883);
        QCOMPARE(options.mqtt.password, QStringLiteral("s3cret "));
        // A day of one-minute records for each of the two sensors, and room for their samples.
        QCOMPARE(options.mqttQueueLimit, 2 * (1440 + 1000));
        QVERIFY(options.mqtt.clientId.endsWith(QStringLiteral("-roof")));

        result = parse({ "--port", "/dev/ttyUSB0", "--address", "3, 4", "--framing", "8e1", "--bit-rate", "9600" });
        QVERIFY2(result.action == LoggerCommandLine::Action::Run, qPrintable(result.text));
        QCOMPARE(result.options.line.portName, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(result.options.line.bitRateCode, 0);
        QCOMPARE(result.options.line.framingCode, 1);
        QCOMPARE(result.options.line.sensors.size(), 2);
        QCOMPARE(result.options.line.periodMs, 1000);
        QVERIFY(!result.options.mqttEnabled && result.options.recordSeconds == 0);
    }
};

QTEST_GUILESS_MAIN(TestLoggerOptions)
#include "tst_loggeroptions.moc"
