#include "drop.h"

#include "platform/codepage.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <cstring>
#include <set>

namespace dravik {

namespace {

constexpr uint32_t kFileListHeader = 20; // offset of the names in a file list block

void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(v >> (8 * i)));
}

uint32_t GetLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

std::vector<uint8_t> TextBlock(const std::string& text) {
  std::vector<uint8_t> out(text.begin(), text.end());
  out.push_back(0);
  return out;
}

// The layout of the platform's file list: header (offset of the names, drop point, non-client
// flag, wide-character flag), the names each ended by a NUL, and a closing NUL.
std::vector<uint8_t> FileListBlock(const std::vector<std::string>& files, QPoint pt) {
  std::vector<uint8_t> out;
  PutLE32(out, kFileListHeader);
  PutLE32(out, static_cast<uint32_t>(pt.x()));
  PutLE32(out, static_cast<uint32_t>(pt.y()));
  PutLE32(out, 0);
  PutLE32(out, 0);
  for (const std::string& f : files) {
    out.insert(out.end(), f.begin(), f.end());
    out.push_back(0);
  }
  out.push_back(0);
  return out;
}

// The host path of a file URL on this machine ("file:///p", "file://localhost/p", "file:/p");
// empty for anything else.
std::string LocalFilePath(std::string_view url) {
  if (url.size() < 5 || !SameText(url.substr(0, 5), "file:")) return std::string();
  std::string_view rest = url.substr(5);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::string();
    std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !SameText(host, "localhost")) return std::string();
    rest.remove_prefix(slash);
  }
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.empty() || rest[0] != '/') return std::string();
  std::string path = PercentDecode(rest);
  if (path.find('\0') != std::string::npos) return std::string();
  return path;
}

// The lines of a text/uri-list, comments and blank lines left out.
std::vector<std::string> UriListLines(const QByteArray& raw) {
  std::vector<std::string> lines;
  for (const QByteArray& line : raw.split('\n')) {
    QByteArray l = line.trimmed();
    if (l.isEmpty() || l.startsWith('#')) continue;
    lines.push_back(l.toStdString());
  }
  return lines;
}

// Text of a drag format as UTF-8: UTF-16 where the format says so or the bytes look like it,
// UTF-8 when valid, Latin-1 otherwise. A NUL ends the text.
std::string DecodeText(const QByteArray& raw, bool utf16) {
  QString text;
  if (utf16 && raw.size() % 2 == 0) {
    text = QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData()), raw.size() / 2);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  } else if (IsValidUtf8(std::string_view(raw.constData(), size_t(raw.size())))) {
    text = QString::fromUtf8(raw);
  } else {
    text = QString::fromLatin1(raw);
  }
  std::string s = text.toStdString();
  return s.substr(0, s.find('\0'));
}

bool LooksUtf16(const QByteArray& raw) {
  return raw.size() >= 2 && raw.size() % 2 == 0 && (raw[1] == '\0' || raw[0] == '\0');
}

std::string FirstLine(const std::string& s) {
  std::string line = s.substr(0, s.find_first_of("\r\n"));
  return Trim(line);
}

bool IsPlainText(const QString& format) {
  return format.startsWith("text/plain", Qt::CaseInsensitive) || format == "UTF8_STRING" ||
         format == "STRING" || format == "TEXT";
}

TShiftState ShiftOf(const QDropEvent* e) {
  TShiftState s = 0;
  if (e->modifiers() & Qt::ShiftModifier) s |= ssShift;
  if (e->modifiers() & Qt::ControlModifier) s |= ssCtrl;
  if (e->buttons() & Qt::LeftButton) s |= ssLeft;
  if (e->buttons() & Qt::RightButton) s |= ssRight;
  if (e->buttons() & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

Qt::DropAction ActionOf(TDropEffect effect) {
  switch (effect) {
  case deCopy:
    return Qt::CopyAction;
  case deMove:
    return Qt::MoveAction;
  case deLink:
    return Qt::LinkAction;
  default:
    return Qt::IgnoreAction;
  }
}

void Answer(QDropEvent* e, TDropEffect effect) {
  if (effect == deNone) {
    e->setDropAction(Qt::IgnoreAction);
    e->ignore();
  } else {
    e->setDropAction(ActionOf(effect));
    e->accept();
  }
}

} // namespace

void DroppedStrings(const TDroppedData& data, TStringList& list) {
  const uint8_t* p = data.Data.data();
  size_t size = data.Data.size();
  size_t pos = 0;
  if (data.Format == "CF_HDROP") {
    if (size < 4) return;
    uint32_t offset = GetLE32(p);
    if (offset > size) return;
    pos = offset;
  }
  while (pos < size) {
    const size_t remaining = size - pos;
    size_t len = strnlen(reinterpret_cast<const char*>(p + pos), remaining);
    if (len > remaining - 1) len = remaining - 1; // the last byte stands for the ending NUL
    if (len > 0) list.Add(std::string(reinterpret_cast<const char*>(p + pos), len));
    pos += len + 1;
  }
}

TDropTarget::TDropTarget(TDropControl* owner) : FOwner(owner) {}

std::vector<TDroppedData> TDropTarget::ConvertFormats(const QMimeData& mime, QPoint dropPoint) {
  std::vector<TDroppedData> out;
  std::set<std::string> seen;
  for (const QString& format : mime.formats()) {
    TDroppedData d;
    d.Description = format.toStdString();
    const QByteArray raw = mime.data(format);
    if (format == "text/uri-list") {
      std::vector<std::string> files;
      std::string firstUrl;
      for (const std::string& line : UriListLines(raw)) {
        std::string path = LocalFilePath(line);
        if (!path.empty()) {
          if (std::optional<std::string> win = winfs::ToWindowsPath(path)) files.push_back(*win);
        } else if (firstUrl.empty() && !SameText(line.substr(0, 5), "file:")) {
          firstUrl = line;
        }
      }
      if (!files.empty()) {
        d.Format = "CF_HDROP";
        d.Data = FileListBlock(files, dropPoint);
      } else if (!firstUrl.empty()) {
        d.Format = "UniformResourceLocator";
        d.Data = TextBlock(firstUrl);
      } else {
        continue;
      }
    } else if (format == "text/x-moz-url" || format == "_NETSCAPE_URL") {
      std::string url = FirstLine(DecodeText(raw, LooksUtf16(raw)));
      if (url.empty()) continue;
      d.Format = "UniformResourceLocator";
      d.Data = TextBlock(url);
    } else if (IsPlainText(format)) {
      const bool utf16 = format.contains("utf-16", Qt::CaseInsensitive);
      d.Format = "CF_TEXT";
      d.Data = TextBlock(DecodeText(raw, utf16));
    } else {
      d.Format = d.Description;
      d.Data.assign(raw.begin(), raw.end());
      d.Data.push_back(0);
    }
    if (seen.insert(d.Format).second) out.push_back(std::move(d));
  }
  return out;
}

bool TDropTarget::Accepts(const std::string& format) const {
  return FOwner->AcceptAll || FOwner->AcceptTypes.IndexOf(format) >= 0;
}

void TDropTarget::TakeDrop(QDropEvent* event, QWidget* receiver) {
  Dropped.clear();
  Formats.Clear();
  QPoint local = event->position().toPoint();
  if (QWidget* control = FOwner->Control(); control && receiver != control)
    local = control->mapFromGlobal(receiver->mapToGlobal(local));
  if (const QMimeData* mime = event->mimeData())
    for (TDroppedData& d : ConvertFormats(*mime, local)) {
      if (!Accepts(d.Format)) continue;
      Formats.Add(d.Format);
      Dropped.push_back(std::move(d));
    }
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto* e = static_cast<QDragMoveEvent*>(event);
    if (e->source()) return false; // a drag inside the program: the widget's own business
    if (event->type() == QEvent::DragMove && !FInDrag) return false;
    const QPoint pt = widget->mapToGlobal(e->position().toPoint());
    if (event->type() == QEvent::DragEnter) {
      FInDrag = true;
      FEffect = FOwner->DefaultEffect;
      if (FOwner->OnDragEnter) FOwner->OnDragEnter(FOwner, pt, ShiftOf(e), FEffect);
    } else if (FOwner->OnDragOver) {
      FOwner->OnDragOver(FOwner, pt, ShiftOf(e), FEffect);
    }
    Answer(e, FEffect);
    return true;
  }
  case QEvent::DragLeave:
    if (!FInDrag) return false;
    FInDrag = false;
    if (FOwner->OnDragLeave) FOwner->OnDragLeave(FOwner);
    return true;
  case QEvent::Drop: {
    auto* e = static_cast<QDropEvent*>(event);
    if (e->source()) return false;
    FInDrag = false;
    const QPoint pt = widget->mapToGlobal(e->position().toPoint());
    if (FOwner->BeforeDrop) FOwner->BeforeDrop(FOwner, pt, ShiftOf(e), FEffect);
    Answer(e, FEffect);
    TakeDrop(e, widget);
    if (FOwner->OnDrop) FOwner->OnDrop(FOwner);
    return true;
  }
  default:
    return false;
  }
}

TDropControl::TDropControl(QObject* owner)
    : QObject(owner), FTarget(std::make_unique<TDropTarget>(this)) {}

TDropControl::~TDropControl() {
  Unregister();
}

void TDropControl::SetControl(QWidget* control) {
  Unregister();
  FControl = control;
  if (control) Register();
}

void TDropControl::SetDropActive(bool active) {
  if (active && !FRegistered)
    Register();
  else if (!active && FRegistered)
    Unregister();
}

void TDropControl::Register() {
  if (!FControl || FRegistered) return;
  FHadAcceptDrops = FControl->acceptDrops();
  FControl->setAcceptDrops(true);
  FControl->installEventFilter(FTarget.get());
  // A scroll area receives drags on its viewport.
  if (auto* area = qobject_cast<QAbstractScrollArea*>(FControl.data())) {
    FViewport = area->viewport();
    FViewportHadAcceptDrops = FViewport->acceptDrops();
    FViewport->setAcceptDrops(true);
    FViewport->installEventFilter(FTarget.get());
  }
  FRegistered = true;
}

void TDropControl::Unregister() {
  if (!FRegistered) return;
  if (FControl) {
    FControl->removeEventFilter(FTarget.get());
    FControl->setAcceptDrops(FHadAcceptDrops);
  }
  if (FViewport) {
    FViewport->removeEventFilter(FTarget.get());
    FViewport->setAcceptDrops(FViewportHadAcceptDrops);
  }
  FViewport = nullptr;
  FRegistered = false;
}

void TDropControl::GetDroppedStrings(TStringList& list, int index) const {
  if (index < 0 || index >= static_cast<int>(FTarget->Dropped.size())) return;
  DroppedStrings(FTarget->Dropped[static_cast<size_t>(index)], list);
}

} // namespace dravik
