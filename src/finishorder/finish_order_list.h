#pragma once
// The finish-order list: a header line and one 20-character line per place (place column
// of 10, bib column of 10).  The lines are the data; the bib entry window shows this model
// directly, so there is no second copy.

#include <QAbstractListModel>
#include <QStringList>

namespace lm {

inline const QString kListHeader = QStringLiteral("PLACE     BIB       ");
inline constexpr double kPlaceholderBib = 99999;

QString MakePlaceLine(const QString& placeText, const QString& bibText = QString());
QString blankPlaceLine(int place);

class FinishOrderList : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit FinishOrderList(int maxEntries, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int maxEntries() const { return maxEntries_; }
    int count() const { return static_cast<int>(lines_.size()); }
    // The line at `index`; the empty text past the end.
    QString line(int index) const;
    void setLine(int index, const QString& text);
    // Header and blank places 1 to maxEntries.
    void build();
    // Adds blank places until every place up to maxEntries has its line again.
    void restoreMissingPlaces();

    // Numeric value of the bib column (last 10 characters) and of the place column.
    double bibValue(int index) const;
    double placeValue(int index) const;
    void setBib(int place, const QString& bibText);
    void blankPlace(int place) { setLine(place, blankPlaceLine(place)); }

    // First place at or after `place` whose bib value is not above 0 (99999 is taken),
    // never past maxEntries.
    int nextFreePlace(int place) const;
    // Places (in increasing order) that hold `bib` when it is a real bib number: above 0
    // and not the 99999 placeholder.
    QList<int> placesHolding(double bib) const;
    // Highest place whose bib value is not 0; 0 when there is none.
    int lastUsedPlace() const;
    // Blanks 0 and 99999 places from the end down to the last real bib; returns that place.
    int clearTrailingPlaceholders();
    // Places 1 to `last` whose bib value is 0 or 99999.
    int missingCount(int last) const;

    // Fills the list from the fields of a bibs file; returns the place after the last one
    // loaded.
    int loadFields(const QStringList& fields);
    // Bibs file content for places 1 to `last`.
    QByteArray fileContent(int last) const;

    // Opens a blank place at `place`, moving the places below down by one.
    void insertPlace(int place);
    // Removes `place`, moving the places below up by one; placeholders from `place` down
    // become blank places.
    void deletePlace(int place);

  private:
    void changed(int first, int last);

    int maxEntries_;
    QStringList lines_;
};

} // namespace lm
