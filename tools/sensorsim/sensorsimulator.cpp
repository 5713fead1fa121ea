#include "sensorsimulator.h"

#include "rtuframeassembler.h"
#include "ports/virtualports.h"
#include "link/serialline.h"

#include <QDir>

#include <vector>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t vanishRequested = 0;
sigset_t waitMask;      // the mask in force while waiting: nothing blocked

void onStopSignal(int) { stopRequested = 1; }
void onVanishSignal(int) { vanishRequested = 1; }

// Bits per character on the wire: start, eight data, parity or stop, stop.
const int BitsPerCharacter = 11;
}

SensorSimulator::SensorSimulator(const SimulatorOptions &options)
    : options(options), startUs(monotonicUs())
{
}

void SensorSimulator::installSignalHandlers()
{
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : { SIGINT, SIGTERM, SIGHUP, SIGUSR1 })
        sigaddset(&handled, signal);
    sigprocmask(SIG_BLOCK, &handled, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    sigdelset(&waitMask, SIGUSR1);

    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = onVanishSignal;
    sigaction(SIGUSR1, &action, nullptr);
}

qint64 SensorSimulator::monotonicUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

bool SensorSimulator::start(QString *error)
{
    if (options.exitWithParent) {
        // The test that started this simulator may crash; the port must not
        // outlive it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            stopRequested = 1;
    }

    if (!bus.setUp(options, error))
        return false;

    if (!options.logFile.isEmpty() && !log.open(options.logFile, error)) {
        *error = QStringLiteral("cannot open the log %1: %2").arg(options.logFile, *error);
        return false;
    }
    const LinkSettings &link = bus.firstLink();
    const LineSettings serialSide = lineSettingsForCodes(link.bitRateCode, link.serialConfCode);
    gatewayLine = { serialSide.baud, serialSide.stopBits, serialSide.parity == 'O' };
    if (!startServers(error))
        return false;
    QString ready = servers.empty() ? QString() : servers.front()->url();
    if (!options.noTerminal) {
        if (!terminal.open(link.bitRateCode, link.serialConfCode, error))
            return false;
        ready = QDir(virtualPortDirectory()).filePath(options.name);
        if (!terminal.announce(ready, error))
            return false;
    }
    std::printf("ready %s\n", QFile::encodeName(ready).constData());
    std::fflush(stdout);
    return true;
}

bool SensorSimulator::startServers(QString *error)
{
    for (const GatewayOption &gateway : options.gateways) {
        servers.push_back(std::make_unique<NetworkServer>(gateway.protocol, gateway.host, gateway.port));
        if (!servers.back()->start(options.refuseConnections, error))
            return false;
        // Before the ready line, which the starter waits for.
        std::printf("serving %s\n", qPrintable(servers.back()->url()));
    }
    return true;
}

qint64 SensorSimulator::byteTimeUs() const
{
    if (!options.frameTiming)
        return 0;
    return BitsPerCharacter * 1000000LL / baudForCode(replying->registers.link().bitRateCode);
}

void SensorSimulator::sleepUs(qint64 us)
{
    if (us <= 0)
        return;
    const timespec pause = { static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000 };
    nanosleep(&pause, nullptr);
}

qint64 SensorSimulator::replyWaitUs() const
{
    qint64 waitUs = replying->faulty ? qint64(options.replyDelayMs) * 1000 : 0;
    // A slave must leave the line quiet for 3.5 characters before it talks.
    if (options.frameTiming)
        waitUs += BitsPerCharacter * 3500000LL / baudForCode(replying->registers.link().bitRateCode);
    return waitUs;
}

void SensorSimulator::sendReply(const QByteArray &bytes)
{
    const qint64 gapUs = replying->faulty ? qint64(options.byteGapMs) * 1000 : 0;
    const bool sent = replySource < 0 ? terminal.send(bytes, byteTimeUs(), gapUs)
                                      : servers[size_t(replySource)]->sendReply(bytes, replyTransaction,
                                                                                byteTimeUs(), gapUs);
    if (!sent)
        std::fprintf(stderr, "kelvane-sim: a reply could not be sent completely\n");
}

void SensorSimulator::holdBack(const QByteArray &bytes, qint64 dueUs)
{
    heldBack = bytes;
    heldBackDueUs = dueUs;
}

void SensorSimulator::sendHeldBack()
{
    sendReply(heldBack);
    heldBack.clear();
    heldBackDueUs = -1;
    finishTransaction(true);
}

void SensorSimulator::handleFrame(const ReceivedFrame &frame)
{
    ++requestsSeen;
    replySource = frame.source;
    replyTransaction = frame.transaction;
    NetworkServer *gateway = frame.source < 0 ? nullptr : servers[size_t(frame.source)].get();
    const bool modbusTcp = gateway && gateway->protocol() == NetworkLine::Protocol::ModbusTcp;
    // A gateway about to go down refuses connections before its last reply
    // is out, so the program cannot slip in a new one meanwhile.
    if (gateway && requestsSeen == options.closeAfter)
        gateway->stopListening(monotonicUs(), options.downMs);
    if (modbusTcp && options.noPathTo.contains(quint8(frame.bytes.at(0)))) {
        // The gateway knows no line for that unit: nothing reaches the line.
        gateway->sendGatewayException(frame.bytes, frame.transaction, 10);
        finishTransaction(false);
        return;
    }
    ResponderDecision decision = bus.handleFrame(frame.bytes, frame.line, requestsSeen,
                                                 (frame.arrivalUs - startUs) / 1e6, &replying);
    // Only a sensor that answers has a reply for a one-shot fault to strike.
    const std::optional<OneShotFaults::Fault> scheduled
            = decision.answered() && replying->faulty ? options.oneShotFaults.at(requestsSeen) : std::nullopt;
    // Copied out of the optional: GCC's -O2 cannot see that the lambda
    // below reads it only when it is set.
    const bool faulted = scheduled.has_value();
    const OneShotFaults::Fault fault = scheduled.value_or(OneShotFaults::Fault());
    if (faulted)
        decision.reason = OneShotFaults::markedReason(decision.reason, fault.kind);
    log.record(frame.arrivalUs, decision.request, frame.line, decision.answered(), decision.reason);
    if (!decision.answered()) {
        // A Modbus TCP gateway tells that the sensor did not answer.
        if (modbusTcp)
            gateway->sendGatewayException(frame.bytes, frame.transaction, 11);
        finishTransaction(false);
        return;
    }

    const auto struck = [faulted, &fault](OneShotFaults::Kind kind) { return faulted && fault.kind == kind; };
    QByteArray reply = decision.reply;
    if (struck(OneShotFaults::Kind::LateReply)) {
        holdBack(reply, monotonicUs() + replyWaitUs() + qint64(fault.ms) * 1000);
        return;
    }
    if (struck(OneShotFaults::Kind::Garbage))
        reply = OneShotFaults::garbled(reply);
    if (struck(OneShotFaults::Kind::DuplicateReply))
        reply += reply;
    sleepUs(replyWaitUs());
    if (struck(OneShotFaults::Kind::ByteGap)) {
        sendReply(reply.left(OneShotFaults::GapAfterBytes));
        holdBack(reply.mid(OneShotFaults::GapAfterBytes), monotonicUs() + qint64(fault.ms) * 1000);
        return;
    }
    sendReply(reply);
    finishTransaction(true);
}

void SensorSimulator::finishTransaction(bool answered)
{
    bus.transactionDone();
    if (replySource >= 0 && options.closeAfter > 0 && requestsSeen == options.closeAfter)
        servers[size_t(replySource)]->dropConnection();
    if (options.vanishAfter > 0 && requestsSeen >= options.vanishAfter) {
        // The last reply still reaches the program, as it would have left
        // the adapter before the plug was pulled.
        if (answered)
            terminal.waitUntilDelivered(1000);
        vanishRequested = 1;
    }
}

int SensorSimulator::run()
{
    RtuFrameAssembler assembler;
    while (!stopRequested && !vanishRequested) {
        timespec timeout = { 0, 0 };
        timespec *timeoutPointer = nullptr;
        qint64 deadline = assembler.silenceDeadlineUs();
        const auto earliest = [&deadline](qint64 due) {
            if (due >= 0 && (deadline < 0 || due < deadline))
                deadline = due;
        };
        earliest(heldBackDueUs);
        std::vector<pollfd> inputs;
        inputs.push_back({ terminal.masterDescriptor(), POLLIN, 0 });
        for (const auto &server : servers) {
            earliest(server->silenceDeadlineUs());
            earliest(server->backUpUs());
            inputs.push_back({ server->listenDescriptor(), POLLIN, 0 });
            inputs.push_back({ server->connectionDescriptor(), POLLIN, 0 });
        }
        if (deadline >= 0) {
            const qint64 remaining = qMax<qint64>(0, deadline - monotonicUs());
            timeout.tv_sec = static_cast<time_t>(remaining / 1000000);
            timeout.tv_nsec = static_cast<long>(remaining % 1000000) * 1000;
            timeoutPointer = &timeout;
        }
        // Negative descriptors (no pseudo-terminal, no connection) are skipped.
        const int ready = ppoll(inputs.data(), nfds_t(inputs.size()), timeoutPointer, &waitMask);
        if (ready < 0 && errno != EINTR) {
            std::perror("kelvane-sim: poll");
            return 1;
        }
        const pollfd &input = inputs.front();
        if (ready > 0 && (input.revents & POLLIN))
            assembler.addBytes(terminal.readAvailable(), monotonicUs());
        else if (ready > 0 && (input.revents & (POLLHUP | POLLERR))) {
            // Not expected while our own descriptor of the device is open;
            // do not spin if it happens anyway.
            const timespec pause = { 0, 10000000 };
            nanosleep(&pause, nullptr);
        }
        for (size_t i = 0; i < servers.size(); ++i) {
            NetworkServer &server = *servers[i];
            if (server.backUpUs() >= 0 && monotonicUs() >= server.backUpUs())
                server.comeBackUp();
            // A connection closed goes before a new one is taken.
            if (ready > 0 && (inputs[2 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR)))
                server.readAvailable(monotonicUs());
            if (ready > 0 && (inputs[1 + 2 * i].revents & POLLIN))
                server.acceptConnection();
        }

        if (heldBackDueUs >= 0 && monotonicUs() >= heldBackDueUs)
            sendHeldBack();
        QByteArray frame;
        while (assembler.takeFrame(&frame, monotonicUs()))
            unhandled.append({ frame, monotonicUs(), terminal.observeLine() });
        for (size_t i = 0; i < servers.size(); ++i) {
            NetworkServer::Request request;
            while (servers[i]->takeRequest(&request, monotonicUs()))
                unhandled.append({ request.rtuFrame, monotonicUs(), gatewayLine, int(i), request.transaction });
        }
        while (!vanishRequested && heldBackDueUs < 0 && !unhandled.isEmpty())
            handleFrame(unhandled.takeFirst());
    }
    // Vanishing and stopping look the same from outside: the link goes and
    // the device with it. Only a crash would leave the link behind.
    terminal.close();
    servers.clear();
    return 0;
}
