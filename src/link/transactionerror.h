#ifndef TRANSACTIONERROR_H
#define TRANSACTIONERROR_H

#include <QString>

class QWidget;

// Title and text that tell the user about a failed transfer; err is the
// errno the failed request left (named in the slave error text).
struct TransactionErrorMessage
{
    QString title;
    QString text;
};

TransactionErrorMessage transactionErrorMessage(int result, int err);

// Shows one critical box for a failed transfer (results -1 to -4), naming
// the error of the last failed request; does nothing for any other result.
void reportTransactionError(QWidget *parent, int result);

#endif // TRANSACTIONERROR_H
