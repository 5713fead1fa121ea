#ifndef OPTIONSDIALOG_H
#define OPTIONSDIALOG_H

#include <QDialog>

class QSpinBox;

class SettingsStore;
struct CommTiming;
namespace Ui { class OptionsDialog; }

// Edits the transfer timings and retries ("comConfig") and the reading
// options ("userConfig") of the settings store. It shows the store's values
// each time it is shown and hands them back only when it receives a close
// event, so dismissing it with Escape (a plain reject) leaves the settings
// untouched. The shortest reading period counts every sensor a tick reads.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(SettingsStore *store, int sensorsPerTick = 1, QWidget *parent = nullptr);
    ~OptionsDialog() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void updateMinimumReadingTimeSlot();

private:
    CommTiming timingFromForm() const;
    void setMinimumReadingTime(const CommTiming &timing);

    Ui::OptionsDialog *ui;
    QSpinBox *networkRequestTimeSpinBox = nullptr;
    QSpinBox *networkResponseTimeSpinBox = nullptr;
    SettingsStore *store;
    int sensorsPerTick;
};

#endif // OPTIONSDIALOG_H
