#ifndef STATUSDISPLAY_H
#define STATUSDISPLAY_H

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;
class QWidget;

// The indicator and message at the left of the status bar. Outcomes show
// for a while; a scheduled reset then puts back "Ready" (total) or an empty
// message (partial) on grey. A reset is never cancelled: every event
// schedules its own. A lasting state (a reading paused for a lost port)
// is what a reset returns to, instead of idle.
class StatusDisplay : public QObject
{
    Q_OBJECT

public:
    enum class Colour { Idle, Good, Bad };

    explicit StatusDisplay(QStatusBar *bar);

    void show(Colour colour, const QString &message);
    void setColour(Colour colour);
    void scheduleTotalReset(int delayMs);
    void schedulePartialReset(int delayMs);

    // Shown now and after every reset until cleared with an empty message.
    void setLastingMessage(const QString &message);

public slots:
    void totalReset();
    void partialReset();

private:
    QWidget *indicator;
    QLabel *label;
    QString lastingMessage;
};

#endif // STATUSDISPLAY_H
