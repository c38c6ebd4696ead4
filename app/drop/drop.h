// The drop-target component: makes one widget a target for drags from other programs (a file
// manager, a web browser) and hands the dropped formats and their data over as lists of
// strings.
//
// The sequence is enter, move..., then leave or drop, as the platform delivers it. Drags that
// start inside this program are left to the widget's own drag handling.
//
// Format names, in the order the source lists its MIME types, one entry per name (its first
// occurrence):
//   "CF_HDROP"               text/uri-list naming local files: a file list block (a 20-byte
//                            header whose first 32-bit field is the offset of the names, 20; then
//                            each file as a Windows path in UTF-8 ended by a NUL; then a NUL).
//                            Files outside every drive of the prefix are left out.
//   "UniformResourceLocator" a web link: text/uri-list without local files, text/x-moz-url,
//                            _NETSCAPE_URL; the URL ended by a NUL.
//   "CF_TEXT"                plain text (text/plain in any character set, UTF8_STRING, STRING,
//                            TEXT) as UTF-8 ended by a NUL.
//   anything else            its MIME name; the bytes as the source gave them, ended by a NUL.
// User-interface thread only.
#pragma once

#include "platform/stringlist.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;
class QMimeData;
class QDropEvent;

namespace dravik {

// The effect a target offers; the numbers are the platform's drop-effect values.
enum TDropEffect { deNone = 0, deCopy = 1, deMove = 2, deLink = 4 };

// Keys and buttons held during a drag.
enum TShiftStateFlag : unsigned { ssShift = 1, ssCtrl = 2, ssLeft = 4, ssRight = 8, ssMiddle = 16 };
using TShiftState = unsigned;

class TDropControl;

// `pt` is the pointer position in screen coordinates (map it with the control's mapFromGlobal).
using TDropInfoEvent =
    std::function<void(TDropControl* sender, QPoint pt, TShiftState shift, TDropEffect& effect)>;
using TDropNotifyEvent = std::function<void(TDropControl* sender)>;

struct TDroppedData {
  std::string Format;      // the format's name (above)
  std::string Description; // the MIME type it came from
  std::vector<uint8_t> Data;
};

// Receives the platform's drag events for one component's control and keeps the last drop's
// data. Owned by its TDropControl.
class TDropTarget : public QObject {
public:
  explicit TDropTarget(TDropControl* owner);

  // The formats of `mime` under their names, in the source's order, with their data.
  static std::vector<TDroppedData> ConvertFormats(const QMimeData& mime, QPoint dropPoint);

  bool eventFilter(QObject* watched, QEvent* event) override;

  std::vector<TDroppedData> Dropped;
  TStringList Formats; // accepted format names of the last drop, in the source's order

private:
  bool Accepts(const std::string& format) const;
  void TakeDrop(QDropEvent* event, QWidget* receiver);
  TDropControl* FOwner;
  TDropEffect FEffect = deNone;
  bool FInDrag = false; // a drag from outside the program is over the control
};

// The component. A child QObject of its owner (or owned by the caller); its control is not
// owned and may be destroyed first.
class TDropControl : public QObject {
public:
  explicit TDropControl(QObject* owner = nullptr);
  ~TDropControl() override;

  // The widget that receives drops (for a scroll area, its viewport too). Setting it
  // unregisters the previous one; null leaves none registered.
  QWidget* Control() const { return FControl; }
  void SetControl(QWidget* control);
  // Registers or unregisters the control without changing Control.
  void SetDropActive(bool active);
  bool DropActive() const { return FRegistered; }

  bool AcceptAll = false;
  TStringList AcceptTypes; // format names, compared ignoring letter case
  TDropEffect DefaultEffect = deCopy;

  TDropInfoEvent OnDragEnter;
  TDropInfoEvent OnDragOver;
  TDropInfoEvent BeforeDrop;
  TDropNotifyEvent OnDragLeave;
  TDropNotifyEvent OnDrop;

  // The accepted format names of the last drop, in the order the source offered them.
  const TStringList& DroppedFormats() const { return FTarget->Formats; }
  const std::vector<TDroppedData>& DroppedData() const { return FTarget->Dropped; }
  // Appends the strings of the last drop's data entry `index` (the NUL-separated texts; for
  // "CF_HDROP" those after the header). An index without data adds nothing.
  void GetDroppedStrings(TStringList& list, int index) const;

private:
  void Register();
  void Unregister();
  std::unique_ptr<TDropTarget> FTarget;
  QPointer<QWidget> FControl;
  QPointer<QWidget> FViewport;
  bool FRegistered = false;
  bool FHadAcceptDrops = false;
  bool FViewportHadAcceptDrops = false;
};

// Reads the strings of a data block as GetDroppedStrings does.
void DroppedStrings(const TDroppedData& data, TStringList& list);

} // namespace dravik
