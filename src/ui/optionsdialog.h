#ifndef OPTIONSDIALOG_H
#define OPTIONSDIALOG_H

#include <QDialog>

struct CommTiming;
namespace Ui { class OptionsDialog; }

// Edits the transfer timings and retries ("comConfig") and the reading
// options ("userConfig"). It reads the settings each time it is shown and
// writes them only when it receives a close event, so dismissing it with
// Escape (a plain reject) leaves the settings untouched.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget *parent = nullptr);
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
};

#endif // OPTIONSDIALOG_H
