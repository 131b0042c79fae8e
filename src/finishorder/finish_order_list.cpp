#include "finish_order_list.h"

#include "core/app_state.h"
#include "core/data_file.h"

#include <algorithm>

namespace lm {

QString MakePlaceLine(const QString& placeText, const QString& bibText) {
    const QString pad(10, QLatin1Char(' '));
    return (placeText + pad).left(10) + (bibText + pad).left(10);
}

QString blankPlaceLine(int place) {
    return MakePlaceLine(QString::number(place));
}

FinishOrderList::FinishOrderList(int maxEntries, QObject* parent)
    : QAbstractListModel(parent), maxEntries_(maxEntries) {}

int FinishOrderList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant FinishOrderList::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count())
        return {};
    return lines_[index.row()];
}

QString FinishOrderList::line(int index) const {
    return index >= 0 && index < count() ? lines_[index] : QString();
}

void FinishOrderList::changed(int first, int last) {
    if (first <= last)
        emit dataChanged(this->index(first), this->index(last), {Qt::DisplayRole});
}

void FinishOrderList::setLine(int index, const QString& text) {
    if (index < 0 || index >= count())
        return;
    lines_[index] = text;
    changed(index, index);
}

void FinishOrderList::build() {
    beginResetModel();
    lines_.clear();
    lines_.reserve(maxEntries_ + 2);
    lines_.append(kListHeader);
    for (int place = 1; place <= maxEntries_; ++place)
        lines_.append(blankPlaceLine(place));
    endResetModel();
}

void FinishOrderList::restoreMissingPlaces() {
    if (count() > maxEntries_)
        return;
    beginInsertRows({}, count(), maxEntries_);
    while (count() <= maxEntries_)
        lines_.append(blankPlaceLine(count()));
    endInsertRows();
}

double FinishOrderList::bibValue(int index) const {
    return numericValue(line(index).right(10));
}

double FinishOrderList::placeValue(int index) const {
    return numericValue(line(index).left(10));
}

void FinishOrderList::setBib(int place, const QString& bibText) {
    setLine(place, MakePlaceLine(line(place).left(10), bibText));
}

int FinishOrderList::nextFreePlace(int place) const {
    int x = std::max(place, 1);
    while (x <= maxEntries_ && bibValue(x) > 0)
        ++x;
    return std::min(x, maxEntries_);
}

QList<int> FinishOrderList::placesHolding(double bib) const {
    QList<int> places;
    if (!(bib > 0) || bib == kPlaceholderBib)
        return places;
    for (int i = 1; i <= maxEntries_; ++i) {
        if (bibValue(i) == bib)
            places.append(i);
    }
    return places;
}

int FinishOrderList::lastUsedPlace() const {
    int place = maxEntries_;
    while (place > 0 && bibValue(place) == 0)
        --place;
    return place;
}

int FinishOrderList::clearTrailingPlaceholders() {
    int place = maxEntries_;
    while (place > 0 && (bibValue(place) == 0 || bibValue(place) == kPlaceholderBib)) {
        if (place < count())
            blankPlace(place);
        --place;
    }
    return place;
}

int FinishOrderList::missingCount(int last) const {
    int missing = 0;
    for (int place = 1; place <= last; ++place) {
        const double v = bibValue(place);
        if (v == 0 || v == kPlaceholderBib)
            ++missing;
    }
    return missing;
}

int FinishOrderList::loadFields(const QStringList& fields) {
    int place = 1;
    for (const QString& field : fields) {
        if (place > maxEntries_ || place >= count())
            break;
        if (numericValue(field) > 0) {
            lines_[place] = MakePlaceLine(lines_[place].left(10), trimSpaces(field).left(10));
            ++place;
        }
    }
    changed(1, std::min(place, count() - 1));
    return place;
}

QByteArray FinishOrderList::fileContent(int last) const {
    QByteArray out;
    out.reserve(last * 7);
    for (int place = 1; place <= last; ++place) {
        out += bibValue(place) > 0 ? toFileText(trimSpaces(line(place).right(10)))
                                   : QByteArray("99999");
        out += "\r\n";
    }
    return out;
}

void FinishOrderList::insertPlace(int place) {
    if (place < 1 || place > count())
        return;
    beginInsertRows({}, place, place);
    lines_.insert(place, blankPlaceLine(place));
    endInsertRows();
    const int last = std::min(maxEntries_, count() - 1);
    for (int i = place + 1; i <= last; ++i)
        lines_[i] = MakePlaceLine(QString::number(i), lines_[i].right(10));
    changed(place + 1, last);
}

void FinishOrderList::deletePlace(int place) {
    if (place < 1 || place >= count())
        return;
    beginRemoveRows({}, place, place);
    lines_.removeAt(place);
    endRemoveRows();
    const int last = std::min(maxEntries_ - 1, count() - 1);
    for (int i = place; i <= last; ++i) {
        lines_[i] = MakePlaceLine(QString::number(i), lines_[i].right(10));
        if (numericValue(lines_[i].right(10)) == kPlaceholderBib)
            lines_[i] = blankPlaceLine(i);
    }
    changed(place, last);
}

} // namespace lm
