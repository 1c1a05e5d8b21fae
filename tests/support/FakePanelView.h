#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/Panel.h"

namespace testing_support {

// The window as plain fields, for driving engine::Panel without widgets.
class FakePanelView final : public engine::PanelView {
 public:
  std::map<int, bool> checked;  // switch index -> check state
  std::map<int, std::string> deviceEntries;
  std::map<int, bool> deviceChecks, channelChecks;
  std::vector<std::string> lines = {"", "", ""};
  std::map<int, std::string> labels;  // box -> text; "Label<box>" when absent
  bool enabled = false;
  std::vector<std::string> messages;
  engine::Panel* panel = nullptr;  // when set, the bar reports back like the widget

  void setSwitchChecked(std::int16_t index, bool on) override { checked[index] = on; }
  void setDeviceEntry(int menuIndex, const std::string& caption) override {
    deviceEntries[menuIndex] = caption;
  }
  void setDeviceChecked(int menuIndex, bool on) override { deviceChecks[menuIndex] = on; }
  void setChannelChecked(int menuIndex, bool on) override { channelChecks[menuIndex] = on; }
  void setVelocityBar(int value) override {
    if (panel) panel->vol_Change(value);
  }
  void showStatusLines(const input::StatusDisplay& display) override {
    lines = {display.line(1), display.line(2), display.line(3)};
  }
  std::string labelText(int box) const override {
    return labels.contains(box) ? labels.at(box) : "Label" + std::to_string(box);
  }
  bool labelsEnabled() const override { return enabled; }
  void setLabelsEnabled(bool on) override { enabled = on; }
  void showMessage(const std::string& text, const std::string&) override { messages.push_back(text); }
};

}  // namespace testing_support
