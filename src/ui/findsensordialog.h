#ifndef FINDSENSORDIALOG_H
#define FINDSENSORDIALOG_H

#include "link/commtiming.h"
#include "ops/scanplan.h"
#include "ops/sensorsearch.h"

#include <QDialog>
#include <QList>

class LinkThread;
class QCheckBox;
struct SerialLineSettings;
namespace Ui { class FindSensorDialog; }

// Searches one serial device for sensors whose address and line nobody
// wrote down. It starts at once over the whole bus, the stored line first;
// the user may narrow the addresses, bit rates and framings and search
// again, and pick one of the sensors that answered. The link must be
// closed when the dialog opens; the search leaves it closed.
//
// Closing the dialog while it searches cancels the search and closes the
// dialog once the probe under way has ended, so the link is free again
// when exec() returns.
class FindSensorDialog : public QDialog
{
    Q_OBJECT

public:
    FindSensorDialog(LinkThread *linkThread, const QString &device, const SerialLineSettings &stored,
                     const CommTiming &timing, QWidget *parent = nullptr);
    ~FindSensorDialog() override;

    // The sensor picked with "Use this sensor", once the dialog is accepted.
    const FoundSensor &chosenSensor() const { return chosen; }
    // "Add all found" accepted the dialog: every sensor it lists.
    bool addAllChosen() const { return addAll; }
    const QList<FoundSensor> &foundSensors() const { return listed; }

    void done(int result) override;

private slots:
    void startSearch();
    void showProbe(int index);
    void addSensor(const FoundSensor &sensor);
    void showOutcome(SensorSearch::Outcome outcome);
    void updateUseButton();
    void useSelectedSensor();

private:
    ScanRange rangeFromForm() const;
    void setSearching(bool searching);
    void showTimes(int nextProbe);

    Ui::FindSensorDialog *ui;
    QList<QCheckBox *> bitRateBoxes;   // index = bit-rate code
    QList<QCheckBox *> framingBoxes;   // index = framing code
    SensorSearch search;
    QString device;
    ScanProbe stored;
    CommTiming timing;
    QList<FoundSensor> listed;         // index = row of the sensor list
    FoundSensor chosen;
    bool closeWhenStopped = false;
    bool addAll = false;
    int resultWhenStopped = Rejected;
};

#endif // FINDSENSORDIALOG_H
