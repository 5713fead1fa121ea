#include "livesnapshot.h"

#include "device/parametertable.h"
#include "link/sensorlink.h"
#include "ops/parametertransfer.h"

#include <QElapsedTimer>

LiveSnapshot LiveSnapshot::sample(SensorLink &link, int slave, quint32 firmwareVersion, int milliseconds)
{
    LiveSnapshot snapshot;
    const QVector<int> ids = availableLiveIds(firmwareVersion);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds && !link.isCancelled()) {
        for (int id : ids) {
            const ParameterReading value = readParameter(link, slave, id);
            if (value.result == ResultOk)
                snapshot.add(id, value.value.output.toDouble());
            else
                ++snapshot.failedSamples;
        }
    }
    return snapshot;
}
