#include "sensorwindow.h"

#include "link/commtiming.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSettings>
#include <QTest>

SensorWindow::SensorWindow(const QStringList &simulatorArgs)
    : simulator(simulatorArgs)
{
}

SensorWindow::~SensorWindow()
{
    mainWindow.reset();
    simulator.stop();
}

MainWindow &SensorWindow::window()
{
    if (!mainWindow)
        mainWindow.reset(new MainWindow);
    return *mainWindow;
}

bool SensorWindow::open()
{
    if (!simulator.isRunning() && !simulator.start())
        return false;
    if (!selectSimulatorPort())
        return false;
    pressOpenClose();
    return window().lineSession().isOpen();
}

bool SensorWindow::selectSimulatorPort()
{
    auto *ports = window().findChild<QComboBox *>(QStringLiteral("serialPortComboBox"));
    const int index = ports->findText(simulator.name(), Qt::MatchContains);
    if (index < 0)
        return false;
    ports->setCurrentIndex(index);
    return true;
}

void SensorWindow::pressOpenClose()
{
    click("openClosePushButton");
}

void SensorWindow::click(const char *buttonName)
{
    window().findChild<QAbstractButton *>(QLatin1String(buttonName))->click();
    waitUntilIdle();
}

bool SensorWindow::waitUntilIdle(int timeoutMs)
{
    // Operations run on the line's thread; their outcome is shown once the
    // window has them back.
    return QTest::qWaitFor([this] { return !window().isBusy(); }, timeoutMs);
}

void storeSetting(const QString &group, const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.beginGroup(group);
    settings.setValue(key, value);
}

QVariant storedSetting(const QString &group, const QString &key)
{
    QSettings settings;
    settings.beginGroup(group);
    return settings.value(key);
}

void storeTransferTiming(int requestMs, int responseMs, int retries, int incrementMs)
{
    CommTiming timing;
    timing.requestTimeMs = requestMs;
    timing.responseTimeMs = responseMs;
    timing.maxRetries = retries;
    timing.incrementalTimeMs = incrementMs;
    timing.save();
}
