#include "link/linkthread.h"
#include "ops/readall.h"
#include "ports/serialportenumerator.h"
#include "session/lineconnection.h"
#include "session/linesession.h"
#include "simulatorprocess.h"
#include "testenvironment.h"

#include <QtTest>

// The line session as the window, the timed reading and the settings store
// see it: every change signalled once, and the stored line following only
// what a sensor answered at.
class TestLineSession : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void changesAreSignalledOnceAndTheStoredLineFollowsAnswers()
    {
        LineSession session{ SerialLineSettings() };
        QSignalSpy lines(&session, &LineSession::lineChanged), slaves(&session, &LineSession::slaveChanged);
        QSignalSpy values(&session, &LineSession::valueChanged), stored(&session, &LineSession::answeredLineChanged);
        QSignalSpy connections(&session, &LineSession::connectionChanged);

        // While closed, the user's pick is the line to open at; nothing is
        // stored, as no sensor has answered there.
        session.setUserValue(IdBitRate, 4);
        session.selectLine(4, 0);
        session.selectLine(4, 0);
        QCOMPARE(QVector<int>({ int(lines.count()), int(values.count()), int(stored.count()) }),
                 QVector<int>({ 1, 1, 0 }));
        SerialPortInfo port;
        port.friendName = port.identity = QStringLiteral("bench");
        session.setOpen(port, 4, 0);
        session.setOpen(port, 4, 0);
        QCOMPARE(connections.count(), 1);
        // While open, a pick is a value for Write all, not a move of the line.
        session.selectLine(2, 0);
        QCOMPARE(session.bitRateCode(), 4);

        session.confirmAnswered();
        session.confirmAnswered();
        QCOMPARE(stored.count(), 1);
        QCOMPARE(session.answeredLine().port, QStringLiteral("bench"));
        QCOMPARE(session.answeredLine().bitRateCode, 4);
        session.selectSlave(7);
        QCOMPARE(slaves.count(), 1);
        QCOMPARE(session.readAllAddress(), 7);

        session.setWaitingForPort();
        session.setClosed();
        QCOMPARE(connections.count(), 3);
        QCOMPARE(session.unknownParameters({ IdDelay, IdBitRate }), QStringList("Delay"));

        // A listed sensor that answers with another serial number than the
        // project holds is flagged, never relabelled; two rows never share
        // an address.
        LineSensor listed;
        listed.address = 3;
        listed.expectedSerial = 9003;
        QVERIFY(session.addSensor(listed) && !session.addSensor(listed));
        session.applySensorIdentity(3, 9999, 0x80010000u);
        QVERIFY(session.sensors().first().serialMismatch());
        QCOMPARE(session.sensors().first().listedSerial(), 9003u);
    }

    void lostPortIsOpenedAgainAtOnceWhenAlreadyBack()
    {
        // An adapter plugged in again before its removal was noticed: the
        // device hung up, but the port of the same identity is present.
        SimulatorProcess sensor;
        QVERIFY(sensor.start());
        SerialPortInfo port;
        for (const SerialPortInfo &present : SerialPortEnumerator::getPorts()) {
            if (present.identity.contains(sensor.name()))
                port = present;
        }
        QVERIFY(!port.identity.isEmpty());
        LinkThread link;
        LineSession session{ SerialLineSettings() };
        LineConnection connection(&link, &session);
        connection.open(port);
        QTRY_VERIFY(session.isOpen());
        QSignalSpy states(&session, &LineSession::connectionChanged);
        connection.lineLost();
        QTRY_COMPARE(states.count(), 2);
        QCOMPARE(states.at(0).at(0).value<LineSession::Connection>(), LineSession::Connection::WaitingForPort);
        QCOMPARE(session.connection(), LineSession::Connection::Open);
        auto read = std::make_shared<ReadAll>(1);
        link.run([read](SensorLink &line) { read->run(line); });
        QTRY_VERIFY(!link.isBusy());
        QCOMPARE(int(read->verdict()), int(ReadAll::Verdict::Success));
    }
};

QTEST_MAIN(TestLineSession)
#include "tst_linesession.moc"
