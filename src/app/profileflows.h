#ifndef PROFILEFLOWS_H
#define PROFILEFLOWS_H

#include "device/sensorprofile.h"

#include <QObject>
#include <QString>

#include <optional>

class LineSession;
class LinkThread;
class QLabel;
class QWidget;
class SensorSweep;
class TimedReading;

// The "Profiles" menu and the commissioning report, on the sensors of the
// line (or the form's sensor when none is listed): a profile saved from and
// opened into the form, compared with every sensor, applied to every
// sensor with a check of what each kept, and the report of what the line
// holds. Each works through the sensors in turn on the link's thread behind
// a progress dialog, and none runs while a timed reading has the line.
class ProfileFlows : public QObject
{
    Q_OBJECT

public:
    ProfileFlows(QWidget *window, LinkThread *link, LineSession *session, const TimedReading *reading,
                 QLabel *openProfileLabel);

    const std::optional<SensorProfile> &openProfile() const { return profile; }

    // The profile saved, or opened, becomes the open profile, which Compare,
    // Apply and the report use; a failed save or open leaves it as it was.
    bool saveProfile(const QString &fileName, const QString &name, const QString &note);
    bool openProfile(const QString &fileName);
    void compare();
    void apply();
    // Reads every sensor, samples its live values for snapshotSeconds and
    // writes <site>_<date>.pdf and .json into directory.
    bool writeReport(const QString &site, const QString &technician, const QString &note, int snapshotSeconds,
                     const QString &directory);

signals:
    // The sensors were asked: their link counts have moved.
    void lineUsed();

public slots:
    void saveProfileSlot();
    void openProfileSlot();
    void reportSlot();

private:
    bool lineFree();
    bool needProfile();
    void setOpenProfile(const SensorProfile &opened);
    // Runs the sweep behind a progress dialog until it has finished.
    void runWithProgress(SensorSweep &sweep, const QString &title, const QStringList &names);

    QWidget *window;
    LinkThread *link;
    LineSession *session;
    const TimedReading *reading;
    QLabel *openProfileLabel;
    std::optional<SensorProfile> profile;
};

#endif // PROFILEFLOWS_H
