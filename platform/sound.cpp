#include "sound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>
#include <cstdlib>
#include <map>

namespace dravik {

namespace {

TSoundHook gHook;

struct TSoundState {
  bool Checked = false;
  bool HaveOutput = false;
  // Owned by the application object, so they go before it does.
  std::map<std::string, QPointer<QSoundEffect>> Effects;
  QPointer<QSoundEffect> Playing;
};

TSoundState& State() {
  static TSoundState state;
  return state;
}

bool HaveOutput() {
  TSoundState& s = State();
  if (!s.Checked) {
    s.Checked = true;
    s.HaveOutput = !std::getenv("DRAVIK_NO_SOUND") && QCoreApplication::instance() &&
                   !QMediaDevices::audioOutputs().isEmpty();
  }
  return s.HaveOutput;
}

} // namespace

TSoundHook SetSoundHook(TSoundHook hook) {
  TSoundHook previous = std::move(gHook);
  gHook = std::move(hook);
  return previous;
}

void PlaySoundResource(const std::string& name) {
  if (gHook) {
    gHook(name);
    return;
  }
  try {
    if (!HaveOutput()) return;
    TSoundState& s = State();
    QPointer<QSoundEffect>& effect = s.Effects[name];
    if (!effect) {
      effect = new QSoundEffect(QCoreApplication::instance());
      effect->setSource(QUrl("qrc:/sounds/" + QString::fromStdString(name) + ".wav"));
    }
    if (s.Playing && s.Playing != effect) s.Playing->stop();
    effect->stop();
    effect->play(); // starts once loaded when the data is still being read
    s.Playing = effect;
  } catch (...) {
    // A sound is never worth failing a command for.
  }
}

void FinishSounds(int maxMs) {
  if (gHook) return;
  TSoundState& s = State();
  if (!s.Playing) return;
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < maxMs && s.Playing &&
         (s.Playing->isPlaying() || s.Playing->status() == QSoundEffect::Loading)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

} // namespace dravik
