#include "sensorsimulator.h"

#include "rtuframeassembler.h"
#include "ports/virtualports.h"
#include "link/serialline.h"

#include <QDir>

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
    if (!terminal.open(link.bitRateCode, link.serialConfCode, error))
        return false;
    const QString linkPath = QDir(virtualPortDirectory()).filePath(options.name);
    if (!terminal.announce(linkPath, error))
        return false;
    std::printf("ready %s\n", QFile::encodeName(linkPath).constData());
    std::fflush(stdout);
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
    if (!terminal.send(bytes, byteTimeUs(), gapUs))
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
        if (heldBackDueUs >= 0 && (deadline < 0 || heldBackDueUs < deadline))
            deadline = heldBackDueUs;
        if (deadline >= 0) {
            const qint64 remaining = qMax<qint64>(0, deadline - monotonicUs());
            timeout.tv_sec = static_cast<time_t>(remaining / 1000000);
            timeout.tv_nsec = static_cast<long>(remaining % 1000000) * 1000;
            timeoutPointer = &timeout;
        }
        pollfd input = { terminal.masterDescriptor(), POLLIN, 0 };
        const int ready = ppoll(&input, 1, timeoutPointer, &waitMask);
        if (ready < 0 && errno != EINTR) {
            std::perror("kelvane-sim: poll");
            return 1;
        }
        if (ready > 0 && (input.revents & POLLIN))
            assembler.addBytes(terminal.readAvailable(), monotonicUs());
        else if (ready > 0 && (input.revents & (POLLHUP | POLLERR))) {
            // Not expected while our own descriptor of the device is open;
            // do not spin if it happens anyway.
            const timespec pause = { 0, 10000000 };
            nanosleep(&pause, nullptr);
        }

        if (heldBackDueUs >= 0 && monotonicUs() >= heldBackDueUs)
            sendHeldBack();
        QByteArray frame;
        while (assembler.takeFrame(&frame, monotonicUs()))
            unhandled.append({ frame, monotonicUs(), terminal.observeLine() });
        while (!vanishRequested && heldBackDueUs < 0 && !unhandled.isEmpty())
            handleFrame(unhandled.takeFirst());
    }
    // Vanishing and stopping look the same from outside: the link goes and
    // the device with it. Only a crash would leave the link behind.
    terminal.close();
    return 0;
}
