#ifndef LINKCOUNTS_H
#define LINKCOUNTS_H

#include <QtGlobal>

// What the line did for one slave address since the port was opened: each
// attempt is a request, answered, left unanswered, or answered with a reply
// that was refused (an exception, a bad check, a broken frame).
struct LinkCounts
{
    quint64 requests = 0;
    quint64 answered = 0;
    quint64 noAnswer = 0;
    quint64 badReplies = 0;

    bool operator==(const LinkCounts &other) const
    {
        return requests == other.requests && answered == other.answered && noAnswer == other.noAnswer
                && badReplies == other.badReplies;
    }
    bool operator!=(const LinkCounts &other) const { return !(*this == other); }
};

#endif // LINKCOUNTS_H
