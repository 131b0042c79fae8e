// The bibs-file loader: any bytes load into a list that keeps its header, its 2000
// numbered places of 20 characters, and saves to lines of at most ten characters.

#include "app/core/app_state.h"
#include "app/core/data_file.h"
#include "finishorder/finish_order_list.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lm;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static FinishOrderList list(2000);
    list.build();
    const int next = list.loadFields(readFields(bytes));
    if (next < 1 || next > 2001 || list.count() != 2001 || list.line(0) != kListHeader)
        std::abort();
    for (int place = 1; place <= 2000; ++place) {
        if (list.line(place).size() != 20 || list.placeValue(place) != place)
            std::abort();
    }
    const QByteArray saved = list.fileContent(list.lastUsedPlace());
    for (const QByteArray& line : saved.split('\n')) {
        if (line.size() > 11)
            std::abort();
    }
    list.nextFreePlace(next);
    list.insertPlace(1);
    list.deletePlace(1);
    return 0;
}
