#pragma once
// The bibs file: one bib number per place from place 1, "99999" for a place without one.

#include <QString>

#include <optional>

namespace lm {

struct AppState;
class FileSystem;
class FinishOrderList;

inline const QString kBibsPrefix = QStringLiteral("BIBS EV");
inline const QString kBibsExtension = QStringLiteral(".LMB");
inline const QString kNoSecondaryBibs = QStringLiteral("NO Secondary path currently set.");

QString bibsFileName(const AppState& state);
// The secondary name, or the "NO Secondary path currently set." text when there is none.
QString secondaryBibsFileName(const AppState& state);

// Loads the bibs file into `list`; returns the place after the last one loaded, or
// nothing when the file could not be read.
std::optional<int> loadBibs(FileSystem& files, const QString& path, FinishOrderList& list);

} // namespace lm
