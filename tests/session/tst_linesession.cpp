#include "link/linkthread.h"
#include "ops/readall.h"
#include "ops/writeparameters.h"
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
        const int third = session.addSensor(listed);
        QVERIFY(third != 0 && session.addSensor(listed) == 0);
        session.applySensorIdentity(third, 9999, 0x80010000u);
        QVERIFY(session.sensor(third)->serialMismatch());
        QCOMPARE(session.sensor(third)->listedSerial(), 9003u);
    }

    // Each listed sensor keeps its identity while it is listed: a pick
    // changes only which one the form shows, a Write all of its node moves
    // that one sensor, and a second one known by the same serial number is
    // told apart.
    void aPickShowsASensorAndAWriteMovesIt()
    {
        LineSession session{ SerialLineSettings() };
        QVector<int> ids;
        for (int address : { 1, 2 }) {
            LineSensor sensor;
            sensor.address = address;
            sensor.serialNumber = 9001;
            ids << session.addSensor(sensor);
        }
        QCOMPARE(session.sameSerialAs(ids.at(1)), QVector<int>{ ids.at(0) });
        QSignalSpy shown(&session, &LineSession::shownSensorChanged), moved(&session, &LineSession::sensorMoved);
        QSignalSpy removed(&session, &LineSession::sensorRemoved);
        session.showSensor(ids.at(1));
        session.showSensor(ids.at(1));
        QCOMPARE(shown.count(), 1);
        QVERIFY(moved.isEmpty() && session.slave() == 2 && session.sensor(ids.at(0))->address == 1);

        // The node the form shows is written: the sensor written to moves,
        // and stays the one the form shows.
        session.applyWrite(WriteParameters::command(IdNvParSave, { 7, 1, 0 }));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.first(), (QVariantList{ ids.at(1), 2, 7 }));
        QVERIFY(session.sensor(ids.at(1))->address == 7 && session.shownSensor() == ids.at(1));

        // Typing the address of the other picks it; removing the shown
        // sensor leaves the form showing none.
        session.selectSlave(1);
        QCOMPARE(session.shownSensor(), ids.at(0));
        session.removeSensor(ids.at(0));
        QCOMPARE(removed.first(), QVariantList{ ids.at(0) });
        QVERIFY(session.shownSensor() == 0 && shown.count() == 3);
        QVERIFY(session.sameSerialAs(ids.at(1)).isEmpty());
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
