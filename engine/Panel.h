#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "input/StatusDisplay.h"
#include "midi/MidiOut.h"

namespace engine {

// Everything the panel remembers between two user actions.
struct PanelState {
  std::int32_t deviceCount = 0;
  std::int32_t deviceId = 0;
  midi::PortHandle portHandle = 0;
  std::int32_t lastResult = 0;
  std::int32_t lastMessage = 0;
  std::int16_t channel = 0;
  std::int16_t velocity = 0;
  std::int16_t baseNote = 0;
  std::string statusText;
  std::string headerWord;
};

// What the panel needs of its window. The window implements it with widgets,
// tests with plain fields. Menu indices are those of the device and channel menus.
class PanelView {
 public:
  virtual ~PanelView() = default;
  virtual void setSwitchChecked(std::int16_t index, bool checked) = 0;
  // Gives device menu entry `menuIndex` its caption and makes it visible and
  // enabled; entries past the last one the window has are added.
  virtual void setDeviceEntry(int menuIndex, const std::string& caption) = 0;
  // Hides the device menu's entries from `menuIndex` on: ports no longer listed.
  virtual void hideDeviceEntriesFrom(int /*menuIndex*/) {}
  virtual void setDeviceChecked(int menuIndex, bool checked) = 0;
  virtual void setChannelChecked(int menuIndex, bool checked) = 0;
  // Puts the velocity bar (127 at its top, 0 at its bottom) at `value`. The
  // window reports the change back through vol_Change.
  virtual void setVelocityBar(int value) = 0;
  virtual void showStatusLines(const input::StatusDisplay& display) = 0;
  // Current text of label box Text<box>, box 1..36.
  virtual std::string labelText(int box) const = 0;
  virtual bool labelsEnabled() const = 0;
  virtual void setLabelsEnabled(bool enabled) = 0;
  // An application-modal box with an OK button and no icon; returns when closed.
  virtual void showMessage(const std::string& text, const std::string& details) = 0;
};

// The panel's behaviour without its widgets: start-up and shutdown, the switch
// engine, device, channel and velocity, the keyboard map and the status display.
// Handlers keep the names the window's events have.
class Panel {
 public:
  static constexpr std::int16_t kNoSwitch = -1;
  static constexpr int kMaxIndex = 62;

  Panel(midi::MidiOut& midi, PanelView& view) : midi_(midi), view_(view) { onChannel_.fill(-1); }

  void Form_Load();
  void Form_Unload();

  void SwitchOn(std::int16_t index);
  void SwitchOff(std::int16_t index);
  void key_MouseDown(std::int16_t index, int button, int shift, float x, float y);
  void key_MouseUp(std::int16_t index, int button, int shift, float x, float y);

  void device_Click(std::int16_t menuIndex);
  // Lists the ports anew, as the device menu opens: those present now after
  // "MIDI Mapper", the check mark on the port chosen last, found by its name.
  void listDevices();
  // About once a second: what the MIDI service noticed (a server or receiver
  // that went away or came back, a port reopened) goes to the status display
  // and, once, to the terminal.
  void poll();
  void chan_Click(std::int16_t menuIndex);
  void vol_Change(int value);

  // Key handlers. An auto-repeated release (X11 sends release-and-press pairs
  // while a key is held) is not a release: the switch stays on.
  void Form_KeyDown(std::int16_t keyCode, int shift);
  void Form_KeyUp(std::int16_t keyCode, int shift, bool autoRepeat = false);
  std::int16_t SwitchForKey(std::int16_t keyCode);
  // The keys have left the window (it lost the keyboard, a menu or dialog
  // opened): switches on now would never see their key-up, so release them.
  void releaseAll();

  void ShowStatus(const std::string& text);
  // Enters or leaves the label editing mode.
  void base_Click();

  // Whether key events reach the key handlers before the focused control.
  bool keyPreview() const { return keyPreview_; }
  bool isOn(std::int16_t index) const;
  const PanelState& state() const { return state_; }
  const input::StatusDisplay& status() const { return status_; }

 private:
  void sendNoteOff(std::int16_t index, std::int16_t channel);
  // Note Offs for every switch that is on, to the port open now; the switches stay on.
  void silenceOpenPort();

  midi::MidiOut& midi_;
  PanelView& view_;
  PanelState state_;
  std::string deviceName_;  // the port chosen last; empty for "MIDI Mapper"
  input::StatusDisplay status_;
  bool keyPreview_ = true;
  // Channel of each sounding switch's Note On, by switch index; -1 while off.
  std::array<std::int8_t, kMaxIndex + 1> onChannel_;
};

// The 36 switch indices, in ascending order.
const std::array<std::int16_t, 36>& SwitchIndices();

// Packed short messages.
constexpr std::int32_t NoteOnMessage(std::int16_t note, std::int16_t channel, std::int16_t velocity) {
  return note * 256 + 0x90 + velocity * 65536 + channel;
}
constexpr std::int32_t NoteOffMessage(std::int16_t note, std::int16_t channel) {
  return note * 256 + 0x80 + channel;
}

}  // namespace engine
