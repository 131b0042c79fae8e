#include "bibs_file.h"

#include "core/app_state.h"
#include "core/data_file.h"
#include "finish_order_list.h"
#include "platform/platform.h"

namespace lm {

QString bibsFileName(const AppState& state) {
    return DataFileName(state, state.PrimaryPath, kBibsPrefix, kBibsExtension);
}

QString secondaryBibsFileName(const AppState& state) {
    if (secondaryIsNoPath(state.SecondaryPath))
        return kNoSecondaryBibs;
    return DataFileName(state, state.SecondaryPath, kBibsPrefix, kBibsExtension);
}

std::optional<int> loadBibs(FileSystem& files, const QString& path, FinishOrderList& list) {
    const std::optional<QByteArray> data = files.readFile(path);
    if (!data)
        return std::nullopt;
    return list.loadFields(readFields(*data));
}

} // namespace lm
