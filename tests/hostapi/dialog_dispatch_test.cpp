#include <gtest/gtest.h>

#include <vector>

#include "fake_host.h"
#include "kurvo_api.h"

namespace {

struct Area : GeUserArea {
  std::vector<std::string> calls;
  std::vector<int32> draw_region;
  Bool Init() override {
    calls.push_back("Init");
    return true;
  }
  Bool GetMinSize(int32& w, int32& h) override {
    w = 130;
    h = 16;
    return true;
  }
  void Sized(int32 w, int32 h) override { calls.push_back("Sized " + std::to_string(w) + "x" + std::to_string(h)); }
  void DrawMsg(int32 x1, int32 y1, int32 x2, int32 y2, const BaseContainer&) override {
    draw_region = {x1, y1, x2, y2};
  }
  Bool InputEvent(const BaseContainer&) override { return false; }
};

struct Dialog : GeDialog {
  int layouts = 0, init_values = 0, commands = 0;
  bool answer_with_result = false;
  Bool CreateLayout() override {
    ++layouts;
    return true;
  }
  Bool InitValues() override {
    ++init_values;
    return true;
  }
  Bool Command(int32, const BaseContainer&) override {
    ++commands;
    return true;
  }
  int32 Message(const BaseContainer& msg, BaseContainer& result) override {
    if (answer_with_result) result.SetId(77);
    return GeDialog::Message(msg, result);
  }
};

KhDialog* HostDialog(const GeDialog& dlg) { return dlg.Get(); }

TEST(DialogDispatch, LayoutIsBuiltOnceAndValuesOnlyAfterIt) {
  fake::Install();
  Dialog dlg;
  ASSERT_NE(HostDialog(dlg), nullptr);
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bVIN")), 1);
  EXPECT_EQ(dlg.init_values, 0);
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bINI")), 1);
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bINI")), 1);
  EXPECT_EQ(dlg.layouts, 1);
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bVIN")), 1);
  EXPECT_EQ(dlg.init_values, 1);

  // Taking the window down lets a later "bINI" build the layout again.
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("dsty")), 0);
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bINI")), 1);
  EXPECT_EQ(dlg.layouts, 2);

  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("zzzz")), 0);
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bACT"), {{FourCC("meid"), 1002}}), 1);
  EXPECT_EQ(dlg.commands, 1);
}

TEST(DialogDispatch, ResultGoesToTheHostOnlyWhenItsIdChanged) {
  fake::Install();
  Dialog dlg;
  fake::Send(HostDialog(dlg), nullptr, FourCC("bINI"));
  EXPECT_EQ(fake::state().message_results, 0);
  dlg.answer_with_result = true;
  fake::Send(HostDialog(dlg), nullptr, FourCC("bINI"));
  EXPECT_EQ(fake::state().message_results, 1);
  EXPECT_EQ(fake::state().last_result_id, 77);
}

TEST(DialogDispatch, UserAreaMessagesFollowTheTable) {
  fake::Install();
  Dialog dlg;
  Area area;
  ASSERT_TRUE(dlg.AttachUserArea(area, dlg.AddUserArea(1002, 56, 0, 25)));
  EXPECT_EQ(area.GetId(), 1002);
  KhUserArea* ua = area.Get();
  auto& host_area = *reinterpret_cast<fake::UserArea*>(ua);
  host_area.width = 300;
  host_area.height = 16;

  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, FourCC("bINI")), 1);
  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, FourCC("bCAS")), 1);
  EXPECT_EQ(host_area.min_w, 130);
  EXPECT_EQ(host_area.min_h, 16);
  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, FourCC("bISI")), 1);
  EXPECT_EQ(area.calls, (std::vector<std::string>{"Init", "Sized 300x16"}));

  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, FourCC("bDRA"), {{1, 5}, {3, 9}}), 1);
  EXPECT_EQ(area.draw_region, (std::vector<int32>{5, 0, 9, 0}));
  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, FourCC("bIPN")), 0);
  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, FourCC("nope")), 0);
  EXPECT_EQ(fake::Send(HostDialog(dlg), ua, 10020), 1);
}

TEST(DialogDispatch, UnknownHandlesAnswerFalse) {
  fake::Install();
  Dialog dlg;
  auto* dialog = reinterpret_cast<fake::Dialog*>(HostDialog(dlg));
  void* saved = dialog->user_object;
  dialog->user_object = nullptr;
  EXPECT_EQ(fake::Send(HostDialog(dlg), nullptr, FourCC("bINI")), 0);
  EXPECT_EQ(dlg.layouts, 0);
  dialog->user_object = saved;
  EXPECT_EQ(CDialogCallBack(HostDialog(dlg), nullptr, nullptr), 0);
}

TEST(DialogDispatch, AttachingAgainReleasesTheOldHandleAndDestructionReleasesTheLast) {
  fake::Install();
  {
    Dialog dlg;
    Area area;
    EXPECT_TRUE(dlg.AttachUserArea(area, 1002));
    EXPECT_TRUE(dlg.AttachUserArea(area, 1002));
    EXPECT_EQ(fake::state().freed_areas, 1);
  }
  EXPECT_EQ(fake::state().freed_areas, 2);
  EXPECT_EQ(fake::state().destroyed_dialogs, 1);
}

struct Element : iCustomGui {
  Element(const BaseContainer& settings, const CUSTOMGUIPLUGIN* plugin) : iCustomGui(settings, plugin) {}
  int closes = 0, destroyed = 0;
  Bool AskClose() override {
    ++closes;
    return true;
  }
  void DestroyWindow() override { ++destroyed; }
};

TEST(CustomGuiDispatch, SettingsAndCloseRequests) {
  fake::Install();
  BaseContainer settings;
  settings.SetLong(FourCC("laym"), 3);
  settings.SetLong(FourCC("defh"), 25);
  const auto* plugin = reinterpret_cast<const CUSTOMGUIPLUGIN*>(0x10);
  Element gui(settings, plugin);
  EXPECT_EQ(gui.GetLayoutMode(), 0);
  EXPECT_EQ(gui.CustomGuiHeight(), 25);
  EXPECT_EQ(gui.GetPlugin(), plugin);
  EXPECT_EQ(reinterpret_cast<fake::Dialog*>(gui.Get())->plugin, plugin);

  EXPECT_EQ(fake::Send(gui.Get(), nullptr, FourCC("askc")), 1);  // close requested at creation
  EXPECT_EQ(fake::Send(gui.Get(), nullptr, FourCC("chkc")), 1);  // host confirms: flag cleared
  EXPECT_EQ(fake::Send(gui.Get(), nullptr, FourCC("askc")), 0);
  EXPECT_EQ(gui.closes, 1);
  EXPECT_EQ(fake::Send(gui.Get(), nullptr, FourCC("dsty")), 1);
  EXPECT_EQ(gui.destroyed, 1);

  BaseContainer mode2;
  mode2.SetLong(FourCC("laym"), 2);
  Element other(mode2, nullptr);
  EXPECT_EQ(other.GetLayoutMode(), 2);
}

}  // namespace
