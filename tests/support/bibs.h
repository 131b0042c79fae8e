#pragma once
// The bibs at given places of a finish order list, as "101,,102" (blank: a place without one).

#include "finishorder/finish_order_list.h"

#include <QStringList>

namespace lm::test {

inline QString bibsAt(const FinishOrderList& list, const QList<int>& places) {
    QStringList out;
    for (const int p : places)
        out.append(list.line(p).right(10).trimmed());
    return out.join(',');
}

} // namespace lm::test
