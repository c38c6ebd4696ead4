// The GOB editor's member list (DirList) as rows: row i is member i of the document's selected
// directory, with its name (editable in place) and its length in plain digits. The rows are
// supplied on demand; the window sets their count. Rows can be dragged (onto the directory
// tree, which moves them). User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <functional>

namespace dravik {

class TGOBDocument;
struct TGOBThing;

// The MIME type that marks a drag of member rows (the drop moves the list's selection).
extern const char* const kMembersMime; // "application/x-dravik-gob-members"

class TMemberModel : public QAbstractTableModel {
public:
  // `document` (not owned) outlives the model.
  TMemberModel(const TGOBDocument& document, QObject* parent);

  // The number of rows shown; rows beyond the selected directory's members show nothing.
  void SetRows(int rows);

  // A committed edit of a row's name.
  std::function<void(int row, const QString& name)> OnNameEdited;

  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override;

private:
  const TGOBThing* Member(int row) const;

  const TGOBDocument& FDocument;
  int FRows = 0;
};

} // namespace dravik
