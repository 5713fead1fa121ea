#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include "observedline.h"

#include <QByteArray>
#include <QString>

// The simulated serial port: a pseudo-terminal whose device is announced as
// a symbolic link, so that the program finds it among its virtual ports.
// The simulator keeps a descriptor of the device side open itself: without
// it, every time the program closes the port the pseudo-terminal hangs up
// and polling its master side reports a hang-up at once, forever.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Creates the pseudo-terminal with the device side raw at this line.
    bool open(int bitRateCode, int serialConfCode, QString *error);
    // Makes linkPath point at the device. A dangling link left by a crashed
    // run is replaced; a live one belongs to another simulator and is kept.
    bool announce(const QString &linkPath, QString *error);
    // Removes the link (only if it is still ours) and closes everything,
    // as when a USB adapter is pulled out.
    void close();
    // Waits (at most timeoutMs) until the program has read what was sent:
    // closing the pseudo-terminal throws away whatever it has not read yet.
    void waitUntilDelivered(int timeoutMs);

    int masterDescriptor() const { return master; }
    QString devicePath() const { return device; }

    // The settings the program last gave the line (reading them on the
    // master side returns those of the device side on Linux).
    ObservedLine observeLine() const;
    QByteArray readAvailable();

    // Sends a reply, either in one piece or byte by byte: each byte after
    // byteTimeUs (the time it takes on the wire), with gapUs of pause
    // between two bytes. Returns false when the bytes could not go out.
    bool send(const QByteArray &bytes, qint64 byteTimeUs, qint64 gapUs);

private:
    int master = -1;
    int deviceSide = -1;
    QString device;
    QString link;
};

#endif // PSEUDOTERMINAL_H
