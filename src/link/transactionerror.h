#ifndef TRANSACTIONERROR_H
#define TRANSACTIONERROR_H

#include <QString>

// Title and text that tell the user about a failed transfer; err is the
// errno the failed request left (named in the slave error text).
struct TransactionErrorMessage
{
    QString title;
    QString text;
};

TransactionErrorMessage transactionErrorMessage(int result, int err);

#endif // TRANSACTIONERROR_H
