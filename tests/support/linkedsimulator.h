#ifndef LINKEDSIMULATOR_H
#define LINKEDSIMULATOR_H

#include "link/commtiming.h"
#include "link/sensorlink.h"
#include "simrequests.h"
#include "simulatorprocess.h"

// A simulator and a link open on it at 19200 8N1, for operations tested
// without a window.
struct LinkedSimulator
{
    explicit LinkedSimulator(const QStringList &args) : sim(args) {}
    bool connect()
    {
        // The stored test timing, whether transfers load it or take the link's.
        link.setTiming(CommTiming::load());
        const bool opened = sim.start() && link.open(sim.linkPath(), 1, 0);
        sim.clearRequests();
        return opened;
    }
    QStringList requests() const { return describe(sim.requests()); }

    SimulatorProcess sim;
    SensorLink link;
};

#endif // LINKEDSIMULATOR_H
