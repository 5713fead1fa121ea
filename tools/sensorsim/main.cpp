#include "sensorsimulator.h"
#include "simulatoroptions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvane-sim"));

    SimulatorOptions options;
    QString error;
    bool helpRequested = false;
    if (!parseSimulatorOptions(QCoreApplication::arguments(), &options, &error, &helpRequested)) {
        std::fprintf(helpRequested ? stdout : stderr, "%s%s", helpRequested ? "" : "kelvane-sim: ",
                     qPrintable(error));
        std::fputc('\n', helpRequested ? stdout : stderr);
        return helpRequested ? 0 : 2;
    }

    SensorSimulator::installSignalHandlers();
    SensorSimulator simulator(options);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "kelvane-sim: %s\n", qPrintable(error));
        return 1;
    }
    return simulator.run();
}
