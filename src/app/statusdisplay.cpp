#include "statusdisplay.h"

#include "statusstyles.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

StatusDisplay::StatusDisplay(QStatusBar *bar)
    : QObject(bar)
    , indicator(new QWidget)
    , label(new QLabel)
{
    indicator->setObjectName(QStringLiteral("statusIndicator"));
    indicator->setFixedSize(16, 16);
    label->setObjectName(QStringLiteral("statusLabel"));
    bar->addWidget(indicator, 0);
    bar->addWidget(label, 10);
    totalReset();
}

void StatusDisplay::show(Colour colour, const QString &message)
{
    setColour(colour);
    label->setText(message);
}

void StatusDisplay::setColour(Colour colour)
{
    switch (colour) {
    case Colour::Idle: indicator->setStyleSheet(StatusStyle::Idle); break;
    case Colour::Good: indicator->setStyleSheet(StatusStyle::Good); break;
    case Colour::Bad: indicator->setStyleSheet(StatusStyle::Bad); break;
    }
}

void StatusDisplay::scheduleTotalReset(int delayMs)
{
    QTimer::singleShot(delayMs, this, &StatusDisplay::totalReset);
}

void StatusDisplay::schedulePartialReset(int delayMs)
{
    QTimer::singleShot(delayMs, this, &StatusDisplay::partialReset);
}

void StatusDisplay::setLastingMessage(const QString &message)
{
    lastingMessage = message;
    if (!message.isEmpty())
        show(Colour::Bad, message);
}

void StatusDisplay::totalReset()
{
    if (!lastingMessage.isEmpty())
        show(Colour::Bad, lastingMessage);
    else
        show(Colour::Idle, tr("Ready"));
}

void StatusDisplay::partialReset()
{
    if (!lastingMessage.isEmpty())
        show(Colour::Bad, lastingMessage);
    else
        show(Colour::Idle, QString());
}
