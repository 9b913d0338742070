// Dialogs and user areas, driven by a small module-side stand-in.
#include "core/gui.h"
#include "core/host_state.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

// What the stand-in's callback saw, and how it answers.
struct Seen {
  KhDialog* dialog;
  KhUserArea* area;
  int32_t code;
};
std::vector<Seen> g_seen;
const KhHostTable* g_table = nullptr;

int32_t KH_CALL callback(KhDialog* dialog, KhUserArea* area, const KhContainerValue* message) {
  const int32_t code = g_table->container->get_id(message);
  g_seen.push_back({dialog, area, code});
  if (code == kMsgInit && !area) {
    // Lays out one user area and attaches the module's area object.
    g_table->dialog->group_begin(dialog, 1001, 56, 1, 1, nullptr, 0);
    KhGadget* g = g_table->dialog->add_user_area(dialog, 1002, 56, 130, 16);
    g_table->dialog->group_end(dialog);
    static int areaObject = 0;
    return g_table->dialog->attach_user_area(dialog, -1, &areaObject, 0, g) != nullptr;
  }
  if (code == kMsgMinSize) {
    KhContainerValue result;
    g_table->container->init(&result, 7);
    g_table->dialog->set_message_result(dialog, &result);
    g_table->container->free(&result);
    return 1;
  }
  if (code == kMsgDraw && area) {
    const KhVector blue{0, 0, 1};
    g_table->user_area->off_screen_on(area);
    g_table->user_area->draw_set_pen(area, &blue);
    g_table->user_area->draw_rectangle(area, 10, 0, 200, 15);
    return 1;
  }
  if (code == kMsgInput && area) {
    KhContainerValue msg;
    g_table->container->init(&msg, kMsgAction);
    g_table->container->set_long(&msg, KH_FOURCC('m', 'e', 'i', 'd'), g_table->user_area->get_id(area));
    const int32_t answer = g_table->user_area->send_parent_message(area, &msg);
    g_table->container->free(&msg);
    return answer;
  }
  return code == kMsgAction ? 1 : 0;
}

class DialogTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    g_seen.clear();
    g_table = &table();
    handle = table().dialog->create(callback, &owner, nullptr);
    dialog = dialogFrom(handle);
  }
  void TearDown() override {
    for (UserArea* a : std::vector<UserArea*>(dialog->areas)) table().user_area->free(a->handle());
    table().dialog->destroy(handle);
    SessionTest::TearDown();
  }
  int owner = 0;
  KhDialog* handle = nullptr;
  Dialog* dialog = nullptr;
};

TEST_F(DialogTest, MessagesReachTheCallbackWithDialogOrArea) {
  EXPECT_EQ(table().dialog->get_user_object(handle), &owner);
  ASSERT_EQ(dialog->send(kMsgInit), 1);
  ASSERT_EQ(dialog->areas.size(), 1u);
  UserArea* area = dialog->areas[0];
  EXPECT_EQ(area->id, 1002);
  EXPECT_EQ(dialog->gadgets.size(), 3u);
  EXPECT_EQ(dialog->send(kMsgMinSize, area), 1);
  ASSERT_NE(dialog->result, nullptr) << "the answer set during the message";
  EXPECT_EQ(dialog->result->id, 7);
  EXPECT_EQ(dialog->send(12345), 0);
  EXPECT_EQ(dialog->result, nullptr) << "answers do not carry over to the next message";
  ASSERT_EQ(g_seen.size(), 3u);
  EXPECT_EQ(g_seen[1].area, area->handle());
  EXPECT_EQ(g_seen[0].area, nullptr);
}

TEST_F(DialogTest, DrawingLandsOnTheCanvasAndIsRecorded) {
  dialog->send(kMsgInit);
  UserArea* area = dialog->areas[0];
  area->resize(150, 16);
  EXPECT_EQ(table().user_area->get_width(area->handle()), 150);
  table().dialog->redraw_later(handle, 1002);
  EXPECT_TRUE(area->calls.empty()) << "a later redraw waits";
  dialog->flushRedraws();
  ASSERT_EQ(area->calls.size(), 3u);
  EXPECT_EQ(area->calls[0].kind, DrawCall::Kind::OffScreen);
  EXPECT_EQ(area->calls[2].v[2], 200);
  uint8_t px[4];
  area->canvas.get(149, 15, px);
  EXPECT_EQ(px[2], 255);
  area->canvas.get(9, 0, px);
  EXPECT_EQ(px[2], 0) << "left of the rectangle";
}

TEST_F(DialogTest, InputPollsTimersAndParentMessages) {
  dialog->send(kMsgInit);
  UserArea* area = dialog->areas[0];
  area->originX = 100;
  area->originY = 50;
  session().state().input.mouseX = 160;
  session().state().input.mouseY = 58;
  KhContainerValue state;
  table().container->init(&state, -1);
  EXPECT_EQ(table().user_area->get_input_state(area->handle(), kDeviceMouse, 1, &state), 1);
  int32_t x = table().container->get_long(&state, kFieldX);
  int32_t y = table().container->get_long(&state, kFieldY);
  table().user_area->global_to_local(area->handle(), &x, &y);
  EXPECT_EQ(x, 60);
  EXPECT_EQ(y, 8);
  EXPECT_EQ(table().user_area->get_input_state(area->handle(), KH_FOURCC('k', 'b', 'r', 'd'), 1, &state), 0);
  session().state().input.available = false;
  EXPECT_EQ(table().user_area->get_input_state(area->handle(), kDeviceMouse, 1, &state), 0);
  table().container->free(&state);

  EXPECT_FALSE(area->tick());
  table().user_area->set_timer(area->handle(), 100);
  EXPECT_TRUE(area->tick());
  table().user_area->set_timer(area->handle(), 0);
  EXPECT_FALSE(area->tick());

  g_seen.clear();
  EXPECT_EQ(area->mouseEvent(160, 58, 1), 1);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[1].code, kMsgAction);
  EXPECT_EQ(g_seen[1].area, nullptr) << "the parent message goes to the dialog itself";
}

TEST_F(DialogTest, AreasOutliveTheirDialogSafely) {
  dialog->send(kMsgInit);
  KhUserArea* area = dialog->areas[0]->handle();
  table().dialog->destroy(handle);
  EXPECT_EQ(table().user_area->send_parent_message(area, nullptr), 0);
  table().user_area->free(area);
  // Recreate for TearDown.
  handle = table().dialog->create(callback, &owner, nullptr);
  dialog = dialogFrom(handle);
}

TEST_F(DialogTest, AttachingNeedsAUserAreaGadgetOfThisDialog) {
  EXPECT_EQ(table().dialog->attach_user_area(handle, 1002, nullptr, 0, nullptr), nullptr);
  table().dialog->group_begin(handle, 5, 0, 1, 1, nullptr, 0);
  EXPECT_EQ(table().dialog->attach_user_area(handle, 5, nullptr, 0, nullptr), nullptr) << "a group";
  EXPECT_EQ(table().dialog->group_begin(nullptr, 5, 0, 1, 1, nullptr, 0), 0);
  EXPECT_EQ(table().dialog->create(nullptr, nullptr, nullptr), nullptr);
}

}  // namespace
}  // namespace kurvo::host::test
