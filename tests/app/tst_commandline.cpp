#include "app/commandline.h"

#include <QtTest>

// What the window takes from its command line, Qt's own options among it.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void argumentsAreTakenOrRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("project");
        const int run = int(WindowCommandLine::Action::Run);
        QTest::newRow("no project") << QStringList({ "-platform", "offscreen", "-reverse" }) << run << QString();
        // Any extension: what is no project is told when it is opened.
        QTest::newRow("project without its extension")
                << QStringList({ "-style", "fusion", "plant.json", "--geometry", "800x600" }) << run << "plant.json";
        QTest::newRow("port and project") << QStringList({ "--port", "kelvane-sim", "roof.kelvaset" }) << run
                                          << "roof.kelvaset";
        QTest::newRow("two files") << QStringList({ "a", "-platform", "offscreen", "b" })
                                   << int(WindowCommandLine::Action::Refuse) << QString();
        QTest::newRow("help") << QStringList({ "plant.json", "--help" }) << int(WindowCommandLine::Action::ShowHelp)
                              << QString();
    }
    void argumentsAreTakenOrRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, project);
        const WindowCommandLine commandLine = parseWindowCommandLine(QStringList("kelvaset") + arguments);
        QCOMPARE(int(commandLine.action), action);
        QCOMPARE(commandLine.project, project);
        if (commandLine.action == WindowCommandLine::Action::Refuse)
            QCOMPARE(commandLine.text, QStringLiteral("one project file at most, not a b."));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
